// Peaks and mouth moves on sounds the tests write: tone bursts at known
// times with silence between.
#include "audio/mouth_moves.h"
#include "audio/peaks.h"
#include "core/compiler.h"
#include "core/project.h"

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

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
    o.lead = 0, o.smooth = 3, o.open = 90, o.thresholdPercent = 0;
    EXPECT_EQ(MouthPositions({0, 0, 3, 0, 0}, o), (std::vector<int32_t>{0, 30, 30, 30, 0}));
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
