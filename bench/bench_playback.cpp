// Frame pacing: 300 frames at 30 frames per second with 16 servos, sent to a
// pseudo-terminal whose reader timestamps each frame's burst. The reference
// is a scheduler that sleeps for the period after each frame.
#include "core/compiler.h"
#include "link/serial_link.h"
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"

#include <benchmark/benchmark.h>

#include <pty.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

using namespace kestrova;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFrames = 300;
constexpr int kFps = 30;
constexpr size_t kBurst = 16 * 3;

// Reads the master side and notes when the first byte of each burst arrived.
class BurstClock {
public:
    BurstClock() {
        char name[256] = {};
        openpty(&master_, &slave_, name, nullptr, nullptr);
        termios raw{};
        tcgetattr(slave_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
        path_ = name;
        reader_ = std::thread([this] { Read(); });
    }
    ~BurstClock() {
        done_ = true;
        reader_.join();
        close(master_);
        close(slave_);
    }
    const std::string& Path() const { return path_; }
    int SlaveFd() const { return slave_; }

    std::vector<double> Stamps() {
        done_ = true;
        reader_.join();
        reader_ = std::thread([] {});
        return stamps_;
    }

private:
    void Read() {
        size_t total = 0;
        char buffer[4096];
        while (!done_ || Pending()) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) continue;
            const auto now = Clock::now();
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) continue;
            for (size_t b = total; b < total + size_t(n); ++b) {
                if (b % kBurst == 0) stamps_.push_back(std::chrono::duration<double, std::milli>(now.time_since_epoch()).count());
            }
            total += size_t(n);
        }
    }
    bool Pending() {
        pollfd p{master_, POLLIN, 0};
        return poll(&p, 1, 20) > 0;
    }

    int master_ = -1, slave_ = -1;
    std::string path_;
    std::atomic<bool> done_{false};
    std::vector<double> stamps_;
    std::thread reader_;
};

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
    void Play(const std::string&) override {}
    void Stop() override {}
};

void Report(benchmark::State& state, const std::vector<double>& stamps) {
    const double period = 1000.0 / kFps;
    if (stamps.size() != size_t(kFrames)) {
        state.SkipWithError("not every frame arrived");
        return;
    }
    std::vector<double> errors;
    for (size_t i = 1; i < stamps.size(); ++i) errors.push_back(std::fabs(stamps[i] - stamps[i - 1] - period));
    std::sort(errors.begin(), errors.end());
    state.counters["median_err_ms"] = errors[errors.size() / 2];
    state.counters["p99_err_ms"] = errors[size_t(std::ceil(0.99 * double(errors.size()))) - 1];
    state.counters["drift_ms"] = (stamps.back() - stamps.front()) - period * (kFrames - 1);
}

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
    Report(state, stamps);
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
    Report(state, stamps);
}
BENCHMARK(BM_SleepingScheduler)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
