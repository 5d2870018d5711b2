// Frame pacing: 300 frames at 30 frames per second with 16 servos, sent to a
// pseudo-terminal whose reader timestamps each frame's burst. The reference
// is a scheduler that sleeps for the period after each frame.
#include "core/compiler.h"
#include "link/serial_link.h"
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"

#include "burst_clock.h"

#include <benchmark/benchmark.h>

#include <thread>
#include <vector>

using namespace kestrova;
using namespace kestrova::bench;

namespace {

constexpr int kFrames = 300;
constexpr int kFps = 30;

// A window whose pump takes `workMs` of display work each frame.
struct QuietView : QuietPlaybackView {
    QuietView() : QuietPlaybackView(kFps) {}
    double workMs = 0;
    void Pump() override {
        const auto until = Clock::now() + std::chrono::duration<double, std::milli>(workMs);
        while (Clock::now() < until) {
        }
    }
};

struct Silence : SoundOutput {
    void Play(const std::string&, double) override {}
    void Stop(double) override {}
};

// state.range(0): microseconds of display work per frame.
void BM_EnginePacing(benchmark::State& state) {
    Project project;
    StartNewProject(project);
    for (int s = 0; s < kServoCount; ++s) project.Programs[s] = "Wait " + std::to_string(kFrames - 1);
    BuildAnimation(project);
    std::vector<double> stamps;
    for (auto _ : state) {
        BurstClock line;
        SerialLink link;
        link.ApplyCommSettings(project.Settings);
        link.SetDeviceOverride(line.Path());
        SerialLinkOutput output(link);
        QuietView view;
        view.workMs = double(state.range(0)) / 1000.0;
        Silence sound;
        PlaybackEngine engine(project, output, sound, view);
        engine.SetPrioritySetter([](int32_t) {});
        engine.PlayAnimation(1, kFrames);
        stamps = line.Stamps();
    }
    Report(state, stamps, kFrames, kFps);
}
BENCHMARK(BM_EnginePacing)->Arg(0)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

// The reference: write a frame, then sleep for the period.
void BM_SleepingScheduler(benchmark::State& state) {
    std::vector<double> stamps;
    const auto period = std::chrono::microseconds(1'000'000 / kFps);
    for (auto _ : state) {
        BurstClock line;
        uint8_t burst[kBurst];
        for (size_t i = 0; i < kBurst; ++i) burst[i] = uint8_t(i);
        for (int f = 0; f < kFrames; ++f) {
            if (write(line.SlaveFd(), burst, kBurst) != ssize_t(kBurst)) break;
            std::this_thread::sleep_for(period);
        }
        stamps = line.Stamps();
    }
    Report(state, stamps, kFrames, kFps);
}
BENCHMARK(BM_SleepingScheduler)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
