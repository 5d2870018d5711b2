#pragma once
// Servo columns built by the real compiler, and recorded-looking traces.

#include "core/compiler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace kestrova::testing {

// Frames 1 to `frames` of the servo's column (frames 0: its program's own
// length), its last position held after the program's end.
inline std::vector<int32_t> BuiltColumn(const ServoRecord& servo, const std::string& program, int32_t frames = 0) {
    Project project;
    project.Servos[0] = servo;
    project.Programs[0] = program;
    ServoCompiler compiler(project);
    EXPECT_TRUE(compiler.CompileServo(0)) << compiler.LastError().message << "\n" << program;
    const int32_t own = project.ServoFrameCount[0];
    std::vector<int32_t> column(static_cast<size_t>(frames ? frames : own) + 1);
    for (int32_t f = 1; f < int32_t(column.size()); ++f) column[f] = project.Frames[std::min(f, own)][0];
    return column;
}

// A hand on a stick: two sines around `middle` and a noise of `noise`
// positions either way, kept within [low, high].
inline std::vector<int32_t> Performance(size_t n, std::mt19937& rng, double middle = 127, int32_t noise = 1,
                                        int32_t low = INT32_MIN, int32_t high = INT32_MAX) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double a = 20 + 80 * unit(rng), f = 0.02 + 0.08 * unit(rng), phase = 6 * unit(rng);
    std::vector<int32_t> trace(n);
    for (size_t i = 0; i < n; ++i) {
        const double s = middle + a * std::sin(f * i + phase) + 0.3 * a * std::sin(2.7 * f * i);
        const int32_t wobble = static_cast<int32_t>(rng() % (2 * noise + 1)) - noise;
        trace[i] = std::clamp(static_cast<int32_t>(std::lround(s)) + wobble, low, high);
    }
    return trace;
}

}  // namespace kestrova::testing
