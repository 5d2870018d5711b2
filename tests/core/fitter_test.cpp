#include "core/fitter.h"

#include "core/compiler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

using namespace kestrova;

namespace {

using V = std::vector<int32_t>;

// What the compiler builds from the lines after a servo standing at `start`:
// frames 2 to the end of its program.
V Build(const std::vector<std::string>& lines, int32_t start, int32_t min = INT32_MIN, int32_t max = INT32_MAX) {
    Project project;
    StartNewProject(project);
    project.Servos[0] = ServoRecord{"S", start, min, max, true, false};
    for (const std::string& line : lines) project.Programs[0] += line + kLineBreak;
    project.Programs[1] = "Wait 1";  // so that an empty program still builds
    const BuildResult result = BuildAnimation(project);
    EXPECT_EQ(result.outcome, BuildOutcome::Success) << result.error.message;
    V built;
    for (int32_t f = 2; f <= project.ServoFrameCount[0]; ++f) built.push_back(project.Frames[f][0]);
    return built;
}

enum class Shape { Smooth, Noisy, Steps, Held, Huge };

V Trace(Shape shape, size_t n, std::mt19937& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double a = 20 + 80 * unit(rng), f = 0.02 + 0.08 * unit(rng), phase = 6 * unit(rng);
    V trace(n);
    int32_t held = 127;
    for (size_t i = 0; i < n; ++i) {
        const double s = 127 + a * std::sin(f * i + phase) + 0.3 * a * std::sin(2.7 * f * i);
        switch (shape) {
        case Shape::Smooth: trace[i] = int32_t(std::lround(s)) + int32_t(rng() % 3) - 1; break;
        case Shape::Noisy: trace[i] = int32_t(std::lround(s)) + int32_t(rng() % 21) - 10; break;
        case Shape::Steps:
            if (rng() % 15 == 0) held = int32_t(rng() % 255);
            trace[i] = held;
            break;
        case Shape::Held: trace[i] = i < n / 2 ? 127 : 90; break;
        case Shape::Huge: trace[i] = 2'000'000'000 + int32_t(std::lround(s * 1000)); break;
        }
    }
    return trace;
}

TEST(Fitter, CompiledLinesStayWithinToleranceOfAnyTrace) {
    std::mt19937 rng(22);
    for (Shape shape : {Shape::Smooth, Shape::Noisy, Shape::Steps, Shape::Held, Shape::Huge}) {
        for (int32_t tolerance : {0, 1, 2, 5, 10}) {
            for (bool easing : {true, false}) {
                const V trace = Trace(shape, 50 + rng() % 400, rng);
                const int32_t start = trace[0] + int32_t(rng() % 9) - 4;
                const std::vector<std::string> lines = FitLines(trace, start, FitOptions{tolerance, easing});
                const V built = Build(lines, start);
                SCOPED_TRACE(::testing::Message() << "shape " << int(shape) << " tolerance " << tolerance);
                ASSERT_EQ(built.size(), trace.size());
                for (size_t i = 0; i < trace.size(); ++i)
                    ASSERT_LE(std::abs(int64_t(built[i]) - trace[i]), tolerance) << "frame " << i + 2;
                if ((shape == Shape::Smooth || shape == Shape::Steps) && tolerance >= 2) {
                    EXPECT_LT(lines.size() * 4, trace.size());
                }
                // Beyond 2^24 a float no longer holds every position: there
                // an eased single frame is the one exact move.
                if (!easing && shape != Shape::Huge) {
                    for (const std::string& line : lines) EXPECT_EQ(line.find("Ease"), std::string::npos) << line;
                }
            }
        }
    }
}

TEST(Fitter, WritesWhatAPersonWould) {
    struct Case {
        V trace;
        int32_t start;
        int32_t tolerance;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {V(30, 127), 127, 2, {"Wait 30"}},
        {{137, 147, 158, 168, 179, 189, 200}, 127, 0, {"Mov 200, 7"}},
        {{130, 133, 136, 139, 142, 142, 142, 142}, 127, 0, {"Mov 142, 5", "Wait 3"}},
        {{127, 127, 127, 133, 139}, 127, 0, {"Wait 3", "Mov 139, 2"}},
        {{}, 127, 2, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(FitLines(c.trace, c.start, FitOptions{c.tolerance, true}), c.lines);
}

TEST(Fitter, EndsOnTheAskedPositionOrSaysItCannot) {
    std::mt19937 rng(5);
    for (int round = 0; round < 40; ++round) {
        const V trace = Trace(round % 2 ? Shape::Smooth : Shape::Steps, 20 + rng() % 100, rng);
        V low(trace), high(trace);
        for (size_t i = 0; i < trace.size(); ++i) low[i] -= 2, high[i] += 2;
        const int32_t endAt = trace.back() + int32_t(rng() % 5) - 2;
        const auto lines = FitBetween(low, high, 127, endAt, 0, 300, true);
        ASSERT_TRUE(lines) << "round " << round;
        std::vector<std::string> closed = *lines;
        closed.push_back("Wait 1");
        const V built = Build(closed, 127);
        ASSERT_EQ(built.size(), trace.size() + 1);
        for (size_t i = 0; i < trace.size(); ++i) ASSERT_LE(std::abs(built[i] - trace[i]), 2);
        EXPECT_EQ(built.back(), endAt);
    }
    // An end that the last frame's bounds rule out cannot be met by one line.
    const V low{100}, high{100};
    EXPECT_FALSE(FitBetween(low, high, 100, 110, 0, 300, true));
}

}  // namespace
