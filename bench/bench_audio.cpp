// Sound analysis on a ten-minute 44.1 kHz stereo file: the waveform's peak
// pyramid and mouth moves at 30 frames per second.
#include "audio/mouth_moves.h"
#include "audio/peaks.h"
#include "audio/sound_file.h"

#include "long_sound.h"

#include <benchmark/benchmark.h>

using namespace kestrova;

namespace {

void BM_PeaksOfTenMinutes(benchmark::State& state) {
    const std::string sound = bench::LongSound();
    for (auto _ : state) {
        audio::PeakPyramid peaks;
        std::string error;
        if (!audio::ComputePeaks(sound, peaks, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(peaks.Frames());
    }
}
BENCHMARK(BM_PeaksOfTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_JawOfTenMinutes(benchmark::State& state) {
    const std::string sound = bench::LongSound();
    audio::MouthOptions options;
    options.framesPerSecond = 30;
    options.closed = 40;
    options.open = 200;
    options.smooth = 3;
    for (auto _ : state) {
        std::string text, error;
        if (!audio::GenerateMouthMoves(sound, options, text, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(text.size());
    }
}
BENCHMARK(BM_JawOfTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(3);

// Reference: reading the same file through the decoder and nothing else.
void BM_ReadTenMinutes(benchmark::State& state) {
    const std::string sound = bench::LongSound();
    std::vector<float> chunk(65536 * 2);
    for (auto _ : state) {
        audio::SoundFile file;
        file.Open(sound);
        int64_t total = 0;
        for (int64_t got; (got = file.Read(chunk.data(), 65536)) > 0;) total += got;
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_ReadTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
