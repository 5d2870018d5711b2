// Frame pacing: 300 frames at 30 frames per second with 16 servos, sent to a
// pseudo-terminal whose reader timestamps each frame's burst. The reference
// is a scheduler that sleeps for the period after each frame. The second
// argument is the number of CPU-bound processes running beside it; cpu_pct
// is the playing thread's CPU time against the wall time; reader_rt says
// whether the reader could poll at a real-time priority.
#include "core/compiler.h"
#include "link/serial_link.h"
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"

#include "burst_clock.h"
#include "busy_processes.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include <sys/wait.h>

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

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

// state.range(0): microseconds of display work per frame; range(1): busy
// processes; range(2): 1 for every servo swinging under speed and
// acceleration caps, each position through its limiter.
void BM_EnginePacing(benchmark::State& state) {
    Project project;
    StartNewProject(project);
    for (int s = 0; s < kServoCount; ++s) {
        project.Programs[s] = "Wait " + std::to_string(kFrames - 1);
        if (state.range(2) == 0) continue;
        project.Programs[s].clear();
        for (int k = 0; k < 5; ++k) project.Programs[s] += "Mov 200, 25\r\nMov 50, 25\r\n";
        project.Programs[s] += "Wait " + std::to_string(kFrames - 1 - 250);  // at rest well before the end
        project.Servos[s].MaxSpeed = 400;
        project.Servos[s].MaxAccel = 2000;
    }
    BuildAnimation(project);
    std::vector<double> stamps;
    std::vector<double> sent;
    for (auto _ : state) {
        BurstClock line;
        SerialLink link;
        link.ApplyCommSettings(project.Settings);
        link.SetDeviceOverride(line.Path());
        SerialLinkOutput output(link);
        QuietView view;
        view.workMs = double(state.range(0)) / 1000.0;
        Silence sound;
        // KESTROVA_SPIN_MS: the stretch spun before each frame (tuning).
        SteadyPlaybackClock clock(std::getenv("KESTROVA_SPIN_MS") ? std::atof(std::getenv("KESTROVA_SPIN_MS")) : 0.1);
        PlaybackEngine engine(project, output, sound, view, &clock);
        engine.SetPrioritySetter([](int32_t) {});
        engine.SetLineBaud(1'000'000);  // a pseudo-terminal takes any rate
        // When each frame's commands were written, to tell the player's own
        // timing from the pseudo-terminal's and the reader's.
        sent.clear();
        engine.SetFrameSentHook([](void* self, int32_t) { static_cast<std::vector<double>*>(self)->push_back(
                                    std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count()); },
                                &sent);
        BusyProcesses busy(state.range(1));
        const double cpu0 = ThreadCpuMs();
        const auto wall0 = Clock::now();
        engine.PlayAnimation(1, kFrames);
        const double wall = std::chrono::duration<double, std::milli>(Clock::now() - wall0).count();
        state.counters["cpu_pct"] = 100.0 * (ThreadCpuMs() - cpu0) / wall;
        stamps = line.Stamps();
        state.counters["reader_rt"] = line.RealTime();
    }
    Report(state, stamps, kFrames, kFps);
    if (sent.size() == size_t(kFrames)) {
        std::vector<double> errors;
        for (size_t i = 1; i < sent.size(); ++i) errors.push_back(std::fabs(sent[i] - sent[i - 1] - 1000.0 / kFps));
        std::sort(errors.begin(), errors.end());
        state.counters["sent_p99_err_ms"] = errors[size_t(std::ceil(0.99 * double(errors.size()))) - 1];
    }
}
BENCHMARK(BM_EnginePacing)
    ->Args({0, 0, 0})
    ->Args({1000, 0, 0})
    ->Args({0, 2, 0})
    ->Args({0, 0, 1})
    ->Args({0, 2, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The reference: write a frame, then sleep for the period.
void BM_SleepingScheduler(benchmark::State& state) {
    std::vector<double> stamps;
    const auto period = std::chrono::microseconds(1'000'000 / kFps);
    for (auto _ : state) {
        BurstClock line;
        BusyProcesses busy(state.range(0));
        uint8_t burst[kBurst];
        for (size_t i = 0; i < kBurst; ++i) burst[i] = uint8_t(i);
        for (int f = 0; f < kFrames; ++f) {
            if (write(line.SlaveFd(), burst, kBurst) != ssize_t(kBurst)) break;
            std::this_thread::sleep_for(period);
        }
        stamps = line.Stamps();
        state.counters["reader_rt"] = line.RealTime();
    }
    Report(state, stamps, kFrames, kFps);
}
BENCHMARK(BM_SleepingScheduler)->Arg(0)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
