// Encoding a show for a board, against building the same show: a 3-minute
// show of 16 servos moving about once a second at 15 frames per second, and
// a show of a million frames of slower moves, which the export refuses as
// soon as its data outgrows what the player can address.
#include "core/compiler.h"
#include "export/show_encoder.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

using namespace kestrova;

namespace {

Project RandomProject(int frames, int shortest, int longest) {
    std::mt19937 random(5);
    Project project;
    StartNewProject(project);
    for (auto& program : project.Programs) {
        for (int filled = 0; filled < frames;) {
            const int move = std::uniform_int_distribution<int>(shortest, longest)(random);
            program += "Mov " + std::to_string(std::uniform_int_distribution<int>(0, 254)(random)) + ", " +
                       std::to_string(move) + "\r\nWait 3\r\n";
            filled += move + 3;
        }
    }
    return project;
}

void BM_Build(benchmark::State& state) {
    Project project = RandomProject(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
    for (auto _ : state) benchmark::DoNotOptimize(BuildAnimation(project).outcome);
}

void BM_Encode(benchmark::State& state) {
    Project project = RandomProject(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
    BuildAnimation(project);
    std::vector<uint8_t> show;
    std::string error;
    for (auto _ : state) benchmark::DoNotOptimize(EncodeShow(project, {}, show, error));
    state.counters["show_bytes"] = static_cast<double>(show.size());
}

// Frames, then the shortest and longest move.
BENCHMARK(BM_Build)->Args({2700, 6, 15})->Args({990000, 100, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode)->Args({2700, 6, 15})->Args({990000, 100, 1000})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
