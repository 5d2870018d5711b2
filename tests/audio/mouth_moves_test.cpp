// Peaks and mouth moves on sounds the tests write: tone bursts at known
// times with silence between.
#include "audio/mouth_moves.h"
#include "audio/peaks.h"
#include "core/compiler.h"
#include "core/project.h"

#include "support/test_files.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <tuple>

using namespace kestrova;
using namespace kestrova::audio;

namespace {

constexpr int kRate = 22050;

struct Burst {
    double from, to;  // seconds
};

// Stereo, 441 Hz tone bursts with silence between.
std::string BurstsWav(const std::vector<Burst>& bursts, double seconds) {
    std::vector<int16_t> data(size_t(seconds * kRate) * 2, 0);
    for (const Burst& b : bursts)
        for (size_t i = size_t(b.from * kRate); i < size_t(b.to * kRate) && i < data.size() / 2; ++i)
            data[i * 2] = data[i * 2 + 1] = int16_t(19660 * std::sin(double(i) * 2 * M_PI * 441.0 / kRate));
    return kestrova::testing::WavBytes(data, kRate, 2);
}

TEST(Peaks, RangesHoldTheSamplesTheySpan) {
    std::vector<float> ramp(10'000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = float(std::sin(double(i) * 0.001) * (i % 7 == 0 ? -1 : 1));
    PeakPyramid peaks;
    peaks.Append(ramp.data(), 3'000, 1);  // in two parts, as a stream arrives
    peaks.Append(ramp.data() + 3'000, 7'000, 1);
    peaks.Finish();
    EXPECT_GT(peaks.Levels(), 2u);
    for (auto [first, last] : {std::pair<int64_t, int64_t>{0, 10'000}, {0, 32}, {64, 96}, {17, 5'003}, {9'990, 20'000}}) {
        PeakPair got;
        ASSERT_TRUE(peaks.Range(first, last, got)) << first;
        const auto [lo, hi] = std::minmax_element(ramp.begin() + first, ramp.begin() + std::min<int64_t>(last, 10'000));
        EXPECT_LE(got.lo, *lo) << first;
        EXPECT_GE(got.hi, *hi) << first;
        if (first % 32 == 0 && last % 32 == 0 && last - first <= 64) {  // whole base blocks: exact
            EXPECT_EQ(got.lo, *lo);
            EXPECT_EQ(got.hi, *hi);
        }
    }
    PeakPair none;
    EXPECT_FALSE(peaks.Range(10'000, 10'100, none));
    std::string error;
    EXPECT_FALSE(ComputePeaks("/nonexistent/x.wav", peaks, error));
    EXPECT_FALSE(error.empty());
}

TEST(MouthMoves, TextHoldsWithWaitAndMovesOnChange) {
    MouthOptions o;
    o.from = 0, o.closed = 0, o.start = 3;
    EXPECT_EQ(MouthProgram({0, 5, 5, 0}, o, "\n"), "Wait 2\nMov 5, 1\nWait 1\nMov 0, 1\n");
    o.start = 1, o.lead = 2;  // the first three sound frames fall on or before frame 1
    EXPECT_EQ(MouthProgram({9, 9, 9, 7, 7}, o, "\n"), "Mov 7, 1\nWait 1\nMov 0, 1\n");
    // The window of an even width reaches one frame further ahead than back,
    // so the mouth opens ahead of the sound, never late: width 2 averages
    // frames k and k + 1; width 4 frames k - 1 to k + 2 (fewer at the ends).
    o.lead = 0, o.thresholdPercent = 0;
    const struct {
        int smooth, open;
        std::vector<int32_t> expected;
    } windows[] = {{3, 90, {0, 30, 30, 30, 0}}, {2, 90, {0, 45, 45, 0, 0}}, {4, 120, {40, 30, 30, 40, 0}}};
    for (const auto& w : windows) {
        o.smooth = w.smooth, o.open = w.open;
        EXPECT_EQ(MouthPositions({0, 0, 3, 0, 0}, o), w.expected) << w.smooth;
    }
}

TEST(MouthMoves, SamplesThatAreNoNumbersNeverMoveOutsideClosedToOpen) {
    kestrova::testing::TempDir dir;
    // 1,000 samples a frame at 10 frames a second: a burst in frames 2 to 4, and samples that
    // are no number; none at all, or none usable, is an error.
    const float nan = std::nanf(""), inf = INFINITY;
    const std::vector<std::vector<std::pair<size_t, float>>> bad = {{{3100, nan}}, {{3100, inf}, {7000, -inf}}, {}, {{0, nan}}};
    for (size_t c = 0; c < bad.size(); ++c) {
        std::vector<float> samples(c < 2 ? 8000 : c - 2);
        for (size_t i = 2000; i < 5000 && c < 2; ++i) samples[i] = i % 2 ? 0.5f : -0.5f;
        for (const auto& [at, value] : bad[c]) samples[at] = value;
        SF_INFO info{0, 10000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
        SNDFILE* file = sf_open(dir.Path("s.wav").c_str(), SFM_WRITE, &info);
        sf_write_float(file, samples.data(), sf_count_t(samples.size())), sf_close(file);
        MouthOptions o;
        o.framesPerSecond = 10, o.closed = 90, o.open = 160, o.from = 90;
        std::string text, error;
        EXPECT_EQ(GenerateMouthMoves(dir.Path("s.wav"), o, text, error), c < 2) << c;
        EXPECT_EQ(text + error, c < 2 ? "Wait 1\r\nMov 160, 1\r\nWait 2\r\nMov 90, 1\r\n"
                                      : "the file holds no sound (no sample is a finite number)") << c;
    }
    // Positions outside the servo range and a start past the longest animation are refused.
    for (auto [closed, open, start] : {std::tuple{-1, 90, 1}, {0, 255, 1}, {0, 254, 1'000'001}}) {
        MouthOptions o;
        o.closed = closed, o.open = open, o.start = start;
        EXPECT_FALSE(CheckMouthOptions(o).empty()) << closed << " " << open << " " << start;
    }
}

TEST(MouthMoves, BurstsBuildOpenAndSilencesClosed) {
    const std::vector<Burst> bursts = {{0.5, 1.0}, {1.71, 2.3}, {3.05, 3.4}};
    kestrova::testing::TempDir dir;
    const std::string sound = dir.Write("bursts.wav", BurstsWav(bursts, 4.0));
    struct Case {
        int fps, lead, start;
    };
    for (const Case c : {Case{15, 0, 5}, Case{30, 0, 1}, Case{24, 3, 10}}) {
        SCOPED_TRACE(c.fps);
        MouthOptions o;
        o.framesPerSecond = c.fps, o.closed = 40, o.open = 200, o.lead = c.lead, o.start = c.start;
        o.from = o.closed;
        std::string text, error;
        ASSERT_TRUE(GenerateMouthMoves(sound, o, text, error)) << error;

        Project project;
        StartNewProject(project);
        project.Servos[0].Home = o.closed;
        project.Programs[0] = text;
        const BuildResult built = BuildAnimation(project);
        ASSERT_EQ(built.outcome, BuildOutcome::Success) << built.error.message;
        auto at = [&](double frameOfSound) {  // built position on a sound frame
            const int32_t f = c.start + int32_t(frameOfSound) - c.lead;
            return f <= project.Frames.UpperBound() ? project.Frames[f][0] : project.Frames[project.Frames.UpperBound()][0];
        };
        double silenceFrom = 0;
        for (const Burst& b : bursts) {
            const double on = b.from * c.fps, off = b.to * c.fps;
            for (double k = std::ceil(silenceFrom); k + 1 <= on; ++k) EXPECT_EQ(at(k), o.closed) << k;
            for (double k = std::ceil(on); k + 1 <= off; ++k) EXPECT_GE(at(k), 190) << k;
            // The first frame that opens is the one the burst starts in or the next.
            int32_t k = int32_t(std::floor(on)) - 1;
            while (at(k) == o.closed) ++k;
            EXPECT_LE(std::abs(k - std::floor(on)), 1) << on;
            silenceFrom = off + 1;
        }
        EXPECT_EQ(at(4.0 * c.fps + 1), o.closed);
    }
}

}  // namespace
