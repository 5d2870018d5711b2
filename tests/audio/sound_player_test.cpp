// The sound player: conversion to the output's format and real playback to a
// null sink of the test's own. Broken files are played by the command line's
// tests, through the whole program.
#include "audio/sound_player.h"

#include "support/null_sink.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
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
    auto short_ = player.Load(dir_.Write("short.wav", Tone(4410)), error);  // 0.2 s
    auto long_ = player.Load(dir_.Write("long.wav", Tone(22050 * 20)), error);
    ASSERT_TRUE(short_ && long_) << error;

    // Nothing here runs the caller's event loop: the thread feeds the sink.
    player.Play(short_);
    ASSERT_TRUE(WaitFor([&] { return !player.Busy(); }));
    EXPECT_EQ(player.FramesPlayed(), short_->frames);

    // A delayed stop waits; StopAll drops it and the long sound at once.
    player.Play(long_);
    player.Stop(60'000);
    ASSERT_TRUE(WaitFor([&] { return player.FramesPlayed() > short_->frames; }));
    player.StopAll();
    EXPECT_FALSE(player.Busy());
    EXPECT_LT(player.FramesPlayed(), short_->frames + long_->frames);
    // The player then goes with its output's idle timer running: the timer
    // must be stopped on the thread it lives on (a warning fails the test).
}

}  // namespace
