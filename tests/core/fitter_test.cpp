#include "core/fitter.h"

#include "support/servo_trace.h"

#include <gtest/gtest.h>

using namespace kestrova;
using kestrova::testing::BuiltColumn;
using kestrova::testing::Performance;

namespace {

using V = std::vector<int32_t>;

enum class Shape { Smooth, Noisy, Steps, Huge };

V Trace(Shape shape, size_t n, std::mt19937& rng) {
    switch (shape) {
    case Shape::Smooth: return Performance(n, rng);
    case Shape::Noisy: return Performance(n, rng, 127, 10);
    case Shape::Huge: return Performance(n, rng, 2e9, 200);  // beyond what a float holds exactly
    case Shape::Steps: break;
    }
    V trace(n);
    for (size_t i = 0; i < n; ++i) trace[i] = i == 0 || rng() % 15 == 0 ? int32_t(rng() % 255) : trace[i - 1];
    return trace;
}

TEST(Fitter, CompiledLinesStayWithinToleranceOfAnyTrace) {
    std::mt19937 rng(22);
    for (Shape shape : {Shape::Smooth, Shape::Noisy, Shape::Steps, Shape::Huge}) {
        for (int32_t tolerance : {0, 1, 2, 5, 10}) {
            for (bool easing : {true, false}) {
                const V trace = Trace(shape, 50 + rng() % 400, rng);
                const int32_t start = trace[0] + int32_t(rng() % 9) - 4;
                const std::vector<std::string> lines = FitLines(trace, start, FitOptions{tolerance, easing});
                std::string program;
                for (const std::string& line : lines) program += line + kLineBreak;
                const V built = BuiltColumn(ServoRecord{"S", start, INT32_MIN, INT32_MAX}, program);
                SCOPED_TRACE(::testing::Message() << "shape " << int(shape) << " tolerance " << tolerance);
                ASSERT_EQ(built.size(), trace.size() + 2);
                for (size_t i = 0; i < trace.size(); ++i)
                    ASSERT_LE(std::abs(int64_t(built[i + 2]) - trace[i]), tolerance) << "frame " << i + 2;
                if ((shape == Shape::Smooth || shape == Shape::Steps) && tolerance >= 2) {
                    EXPECT_LT(lines.size() * 4, trace.size());
                }
                // Only beyond what a float holds may an eased frame stand in.
                EXPECT_TRUE(easing || shape == Shape::Huge || program.find("Ease") == std::string::npos) << program;
            }
        }
    }
}

TEST(Fitter, WritesWhatAPersonWould) {
    struct Case {
        V trace;
        int32_t tolerance;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {V(30, 127), 2, {"Wait 30"}},
        {{137, 147, 158, 168, 179, 189, 200}, 0, {"Mov 200, 7"}},
        {{130, 133, 136, 139, 142, 142, 142, 142}, 0, {"Mov 142, 5", "Wait 3"}},
        {{127, 127, 127, 133, 139}, 0, {"Wait 3", "Mov 139, 2"}},
        {{}, 2, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(FitLines(c.trace, 127, FitOptions{c.tolerance, true}), c.lines);
    // The hold, then the whole sweep eased at both ends, not the sweep's start in a hold's clothes.
    const V column = BuiltColumn(ServoRecord{"S", 60, 0, 254}, "Wait 8\r\nMov 200, 25, EaseInOut\r\nWait 4");
    EXPECT_EQ(FitLines(V(column.begin() + 2, column.end()), 60, FitOptions{0, true}),
              (std::vector<std::string>{"Wait 8", "Mov 200, 25, EaseInOut", "Wait 4"}));
}

}  // namespace
