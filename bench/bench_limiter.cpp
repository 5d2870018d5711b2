// The limiter's cost per servo per frame (goal: under 1 us): 16 servos
// following targets that jump every few frames, with both caps tight enough
// that most frames accelerate or brake. And the graph's limited paths of a
// long show, traced again after every build.
#include "core/limited_path.h"
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

// 16 servos over 100,000 frames: targets that jump every 8 frames (the
// servos never rest), sweeps a little too fast for the caps (they lag on
// every turn), or a jump every 2 seconds and a hold until the next.
void BM_LimitedPathsOfALongShow(benchmark::State& state) {
    constexpr int32_t kFrames = 100'000;
    const int64_t kind = state.range(0);
    std::mt19937 random(1);
    kestrova::FrameTable table;
    table.Grow(kFrames);
    for (int s = 0; s < 16; ++s) {
        int32_t target = 127;
        for (int32_t f = 1; f <= kFrames; ++f) {
            if (f % (kind == 0 ? 8 : 60) == 1) target = static_cast<int32_t>(random() % 255);
            const int32_t sweep = (f + 13 * s) % 120;
            table[f][s] = kind == 1 ? 20 + 3 * (sweep < 60 ? sweep : 120 - sweep) : target;
        }
    }
    size_t spans = 0;
    for (auto _ : state) {
        for (int s = 0; s < 16; ++s) {
            const kestrova::LimitedPath path = kestrova::LimitPath(table, s, kestrova::Caps{120, 400}, 30);
            spans += path.Spans().size();
            benchmark::DoNotOptimize(path);
        }
    }
    state.counters["spans"] = double(spans) / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * 16 * kFrames);  // servo-frames
}
BENCHMARK(BM_LimitedPathsOfALongShow)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
