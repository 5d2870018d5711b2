// The fitter on recorded performances: how many lines a smooth 20-second
// performance needs (lines per frame, the goal being at most 1 in 5 at
// tolerance 2) and how long a 10-minute capture of 16 servos takes.
#include "core/fitter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

using namespace kestrova;

namespace {

constexpr double kFps = 30.0;

// A performer's hand: three sines of falling size and rising speed around the
// middle of the servo's travel, plus a noise of one position either way.
std::vector<int32_t> Performance(double seconds, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> phase(0.0, 2 * std::numbers::pi);
    const double p1 = phase(rng), p2 = phase(rng), p3 = phase(rng);
    const auto frames = static_cast<size_t>(seconds * kFps);
    std::vector<int32_t> trace(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kFps;
        const double w = 2 * std::numbers::pi * t;
        const double smooth = 127 + 60 * std::sin(0.15 * w + p1) + 25 * std::sin(0.4 * w + p2) + 8 * std::sin(1.1 * w + p3);
        trace[i] = static_cast<int32_t>(std::lround(smooth)) + static_cast<int32_t>(rng() % 3) - 1;
    }
    return trace;
}

void BM_FitSmooth20Seconds(benchmark::State& state) {
    const FitOptions options{2, state.range(0) != 0};
    std::vector<std::vector<int32_t>> takes;
    for (unsigned seed = 1; seed <= 20; ++seed) takes.push_back(Performance(20, seed));
    size_t lines = 0, frames = 0;
    for (auto _ : state) {
        lines = frames = 0;
        for (const auto& take : takes) {
            lines += FitLines(take, take[0], options).size();
            frames += take.size();
        }
    }
    state.counters["lines_per_frame"] = static_cast<double>(lines) / static_cast<double>(frames);
    state.counters["frames_per_line"] = static_cast<double>(frames) / static_cast<double>(lines);
}
BENCHMARK(BM_FitSmooth20Seconds)->Arg(1)->Arg(0)->ArgName("easing")->Unit(benchmark::kMillisecond);

void BM_Fit16ServosOf10Minutes(benchmark::State& state) {
    std::vector<std::vector<int32_t>> servos;
    for (unsigned s = 0; s < 16; ++s) servos.push_back(Performance(600, 100 + s));
    size_t lines = 0;
    for (auto _ : state) {
        lines = 0;
        for (const auto& trace : servos) lines += FitLines(trace, trace[0], FitOptions{}).size();
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_Fit16ServosOf10Minutes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
