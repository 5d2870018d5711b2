#include "audio/sound_file.h"

#include "support/test_files.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>

using namespace kestrova::audio;
using kestrova::testing::Square;
using kestrova::testing::WavBytes;

namespace {

// Writes `frames` frames of a 440 Hz tone in the given format.
void WriteTone(const std::string& path, int format, int channels, int rate, int frames) {
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

TEST(SoundFile, DecodesEachFormatWholeOrUpToItsBound) {
    struct Case { const char* name; int format; int channels; };
    const Case cases[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2},
        {"tone.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2},
        {"tone.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1},
        {"tone.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1},
    };
    kestrova::testing::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteTone(dir.Path(c.name), c.format, c.channels, 22050, 22050);
        DecodedSound sound;
        std::string error;
        ASSERT_TRUE(DecodeSound(dir.Path(c.name), sound, error)) << error;
        EXPECT_EQ(sound.channels, c.channels);
        EXPECT_EQ(sound.sampleRate, 22050);
        EXPECT_EQ(sound.Frames(), 22050);
        float peak = 0;
        for (float s : sound.samples) peak = std::max(peak, std::fabs(s));
        EXPECT_NEAR(peak, 0.5f, 0.02f);
    }
    DecodedSound sound;
    std::string error;
    bool truncated = false;
    ASSERT_TRUE(DecodeSound(dir.Path("float.wav"), sound, error, 15000, &truncated));
    EXPECT_EQ(sound.Frames(), 15000);
    EXPECT_TRUE(truncated);
}

TEST(SoundFile, BrokenFilesAreErrorsOrShortNeverHangs) {
    kestrova::testing::TempDir dir;
    struct Case { std::string path; bool ok; int64_t frames; };
    const Case cases[] = {
        // Cut short: the data that is there decodes, no more.
        {dir.Write("cut.wav", WavBytes(Square(1000, 8000), 8000, 1, 16000)), true, 1000},
        {dir.Write("header.wav", WavBytes({}, 8000, 1, 16000)), true, 0},
        {dir.Write("huge.wav", WavBytes(Square(100, 8000), 8000, 1, 0x7ffffff0u)), true, 100},
        {dir.Write("garbage.wav", std::string(300, '\x5a')), false, 0},
        {dir.Path("missing.wav"), false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        DecodedSound sound;
        std::string error;
        EXPECT_EQ(DecodeSound(c.path, sound, error), c.ok);
        EXPECT_EQ(sound.Frames(), c.frames);
        EXPECT_EQ(error.empty(), c.ok) << error;
    }
}

}  // namespace
