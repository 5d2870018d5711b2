// The sound player: conversion to the output's format and real playback to a
// null sink of the test's own. Broken files are played by the command line's
// tests, through the whole program.
#include "audio/sound_player.h"

#include "audio/sound_file.h"
#include "audio/sound_stream.h"

#include "support/null_sink.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>

using namespace kestrova::audio;

namespace {

float SampleAt(const PcmSound& sound, size_t index, bool floats) {
    if (floats) {
        float v;
        std::memcpy(&v, &sound.bytes[index * 4], 4);
        return v;
    }
    int16_t v;
    std::memcpy(&v, &sound.bytes[index * 2], 2);
    return float(v) / 32767.0f;
}

TEST(ConvertSound, ResamplesAndMapsChannels) {
    struct Case {
        const char* name;
        std::vector<float> in;
        int fromChannels, fromRate, rate, channels;
        bool floats;
        std::vector<float> out;
    };
    const Case cases[] = {
        {"mono to stereo, doubled rate", {0.0f, 1.0f}, 1, 8000, 16000, 2, true,
         {0.0f, 0.0f, 0.5f, 0.5f, 1.0f, 1.0f, 1.0f, 1.0f}},
        {"stereo to mono mixes", {1.0f, 0.0f, 0.5f, 0.5f}, 2, 8000, 8000, 1, true, {0.5f, 0.5f}},
        {"halved rate, 16-bit, clipped", {2.0f, 0.0f, -2.0f, 0.0f}, 1, 16000, 8000, 1, false, {1.0f, -1.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PcmSound sound = ConvertSound(c.in, c.fromChannels, c.fromRate, c.rate, c.channels, c.floats);
        ASSERT_EQ(sound.frames * c.channels, int64_t(c.out.size()));
        ASSERT_EQ(sound.bytes.size(), c.out.size() * (c.floats ? 4 : 2));
        for (size_t i = 0; i < c.out.size(); ++i) EXPECT_NEAR(SampleAt(sound, i, c.floats), c.out[i], 1e-3) << i;
    }
}

// Reads what follows a sound's first part, through two plays at once.
std::vector<char> Whole(const PcmSound& sound, size_t* largest = nullptr) {
    std::vector<char> out[2] = {sound.bytes, sound.bytes};
    if (!sound.rest) return sound.bytes;
    SoundStream::Cursor cursors[2] = {sound.rest->Start(), sound.rest->Start()};
    for (bool more[2] = {true, true}; more[0] || more[1];) {
        for (int i = 0; i < 2; ++i) {
            const size_t before = out[i].size();
            if (more[i]) more[i] = cursors[i].ReadMore(out[i]);
            if (largest) *largest = std::max(*largest, out[i].size() - before);
        }
    }
    EXPECT_EQ(out[0], out[1]);
    return out[0];
}

TEST(LoadSound, StreamsLongSoundsAsTheyWouldConvertWhole) {
    kestrova::testing::TempDir dir;
    struct Case {
        const char* name;
        int frames, fromRate, fromChannels, rate, channels;
        bool floats, streamed;
        size_t cutBytes;  // taken off the end, the header unchanged
    };
    const Case cases[] = {
        {"short: held whole", 22050, 22050, 1, 48000, 2, true, false, 0},
        {"long, resampled", 22050 * 5 + 7, 22050, 1, 48000, 2, true, true, 0},
        {"long, eight channels mixed", 44100 * 3, 44100, 8, 8000, 1, false, true, 0},
        {"long, data ends before the header says", 44100 * 3, 44100, 2, 44100, 2, true, true, 40000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<int16_t> samples = kestrova::testing::Square(size_t(c.frames) * c.fromChannels, 9000, 37);
        const std::string bytes = kestrova::testing::WavBytes(samples, uint32_t(c.fromRate), uint16_t(c.fromChannels));
        const std::string path = dir.Write("s.wav", bytes.substr(0, bytes.size() - c.cutBytes));
        std::string error;
        const auto sound = LoadSound(path, c.rate, c.channels, c.floats, error);
        ASSERT_TRUE(sound) << error;
        EXPECT_EQ(sound->rest != nullptr, c.streamed);
        DecodedSound decoded;
        ASSERT_TRUE(DecodeSound(path, decoded, error));
        const PcmSound whole = ConvertSound(decoded.samples, c.fromChannels, c.fromRate, c.rate, c.channels, c.floats);
        EXPECT_EQ(Whole(*sound), whole.bytes);
        EXPECT_EQ(sound->frames, whole.frames);
    }
}

TEST(LoadSound, HoldsOnlyTheStartOfALongManyChannelSound) {
    kestrova::testing::TempDir dir;
    // Four minutes of 16 channels: more samples than five minutes of stereo.
    const int64_t frames = int64_t(8000) * 240;
    const std::string path = dir.Write("long.wav", kestrova::testing::WavBytes({}, 8000, 16, frames * 32));
    std::filesystem::resize_file(path, 44 + uint64_t(frames) * 32);  // sparse: silence
    std::string error;
    const auto sound = LoadSound(path, 8000, 1, false, error);
    ASSERT_TRUE(sound) << error;
    EXPECT_LE(sound->bytes.size(), 8000u * 2 * 2);  // two seconds
    size_t largest = 0;
    EXPECT_EQ(int64_t(Whole(*sound, &largest).size()), frames * 2);
    EXPECT_LE(largest, 8192u);
}

// A mono tone at 22050 Hz of `frames` frames.
std::string Tone(int frames) {
    std::vector<int16_t> data(static_cast<size_t>(frames));
    for (size_t i = 0; i < data.size(); ++i) data[i] = int16_t(16383 * std::sin(float(i) * 0.0627f));
    return kestrova::testing::WavBytes(data, 22050, 1);
}

class SoundPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sink_ = new kestrova::testing::NullSink; }
    static void TearDownTestSuite() { delete sink_; }
    // Sleeps (the caller's event loop never runs) until `done` or a generous limit.
    template <typename Done>
    static bool WaitFor(Done done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return done();
    }

    static kestrova::testing::NullSink* sink_;
    kestrova::testing::TempDir dir_;
};
kestrova::testing::NullSink* SoundPlayerTest::sink_ = nullptr;

TEST_F(SoundPlayerTest, PlaysEverySampleOnItsOwnThreadAndStopsAtOnce) {
    ASSERT_TRUE(sink_->Ready()) << "pulseaudio did not start";
    SoundPlayer player;
    ASSERT_TRUE(player.HasDevice());
    std::string error;
    auto short_ = player.Load(dir_.Write("short.wav", Tone(4410)), error);  // 0.2 s, held whole
    auto streamed = player.Load(dir_.Write("streamed.wav", Tone(22050 * 7 / 2)), error);  // read from its file
    auto long_ = player.Load(dir_.Write("long.wav", Tone(22050 * 20)), error);
    ASSERT_TRUE(short_ && streamed && streamed->rest && long_) << error;

    // Nothing here runs the caller's event loop: the thread feeds the sink.
    for (const auto& sound : {short_, streamed}) {
        const int64_t before = player.FramesPlayed();
        player.Play(sound);
        ASSERT_TRUE(WaitFor([&] { return !player.Busy(); }));
        EXPECT_EQ(player.FramesPlayed() - before, sound->frames);
    }

    // A delayed stop waits; StopAll drops it and the long sound at once.
    player.Play(long_);
    player.Stop(60'000);
    const int64_t before = player.FramesPlayed();
    ASSERT_TRUE(WaitFor([&] { return player.FramesPlayed() > before; }));
    player.StopAll();
    EXPECT_FALSE(player.Busy());
    EXPECT_LT(player.FramesPlayed(), before + long_->frames);
    // The player then goes with its output's idle timer running: the timer
    // must be stopped on the thread it lives on (a warning fails the test).
}

}  // namespace
