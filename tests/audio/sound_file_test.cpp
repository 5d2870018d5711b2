#include "audio/sound_file.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace kestrova::audio;

namespace {

// Writes `frames` frames of a 440 Hz tone in the given format.
void WriteTone(const fs::path& path, int format, int channels, int rate, int frames) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<float> data(size_t(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) data[size_t(i) * channels + c] = 0.5f * std::sin(i * 0.0627f);
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
}

class SoundFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kestrova_audio_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(SoundFileTest, DecodesEachFormatWhole) {
    struct Case { const char* name; int format; int channels; };
    const Case cases[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2},
        {"tone.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2},
        {"tone.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1},
        {"tone.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteTone(dir_ / c.name, c.format, c.channels, 22050, 22050);
        DecodedSound sound;
        std::string error;
        ASSERT_TRUE(DecodeSound((dir_ / c.name).string(), sound, error)) << error;
        EXPECT_EQ(sound.channels, c.channels);
        EXPECT_EQ(sound.sampleRate, 22050);
        EXPECT_EQ(sound.Frames(), 22050);
        float peak = 0;
        for (float s : sound.samples) peak = std::max(peak, std::fabs(s));
        EXPECT_NEAR(peak, 0.5f, 0.02f);
    }
}

TEST_F(SoundFileTest, BrokenFilesAreErrorsOrShortNeverHangs) {
    const fs::path good = dir_ / "good.wav";
    WriteTone(good, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, 8000);
    std::ifstream in(good, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});

    // Cut short: the data that is there decodes, no more.
    std::ofstream(dir_ / "cut.wav", std::ios::binary) << bytes.substr(0, 44 + 2000);
    // Header only, and a header that claims 2 GB of data.
    std::ofstream(dir_ / "header.wav", std::ios::binary) << bytes.substr(0, 44);
    std::string huge = bytes.substr(0, 44 + 200);
    const uint32_t claim = 0x7ffffff0u;
    std::memcpy(&huge[40], &claim, 4);
    std::ofstream(dir_ / "huge.wav", std::ios::binary) << huge;
    std::ofstream(dir_ / "garbage.wav", std::ios::binary) << std::string(300, '\x5a');

    struct Case { const char* name; bool ok; int64_t frames; };
    const Case cases[] = {
        {"cut.wav", true, 1000},
        {"header.wav", true, 0},
        {"huge.wav", true, 100},
        {"garbage.wav", false, 0},
        {"missing.wav", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedSound sound;
        std::string error;
        EXPECT_EQ(DecodeSound((dir_ / c.name).string(), sound, error), c.ok);
        EXPECT_EQ(sound.Frames(), c.frames);
        EXPECT_EQ(error.empty(), c.ok) << error;
    }
}

TEST_F(SoundFileTest, DecodeStopsAtItsBound) {
    WriteTone(dir_ / "long.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, 40000);
    DecodedSound sound;
    std::string error;
    bool truncated = false;
    ASSERT_TRUE(DecodeSound((dir_ / "long.wav").string(), sound, error, 30000, &truncated));
    EXPECT_EQ(sound.Frames(), 30000);
    EXPECT_TRUE(truncated);
}

}  // namespace
