// The limiter's cost per servo per frame (goal: under 1 us): 16 servos
// following targets that jump every few frames, with both caps tight enough
// that most frames accelerate or brake.
#include "core/limiter.h"

#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

namespace {

void BM_LimiterFrameOf16Servos(benchmark::State& state) {
    std::mt19937 random(1);
    std::vector<int32_t> targets(4096);
    for (int32_t& target : targets) target = static_cast<int32_t>(random() % 255);
    std::array<kestrova::Limiter, 16> limiters;
    for (kestrova::Limiter& limiter : limiters) {
        limiter.SetCaps(kestrova::Caps{120, 400}, 30);
        limiter.Place(127);
    }
    size_t frame = 0;
    for (auto _ : state) {
        const size_t at = (frame++ / 8) % (targets.size() - 16);
        for (size_t s = 0; s < limiters.size(); ++s) benchmark::DoNotOptimize(limiters[s].Next(targets[at + s]));
    }
    state.SetItemsProcessed(state.iterations() * 16);  // servo-frames
}
BENCHMARK(BM_LimiterFrameOf16Servos);

}  // namespace

BENCHMARK_MAIN();
