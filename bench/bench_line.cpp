// A line slower than the show: 16 servos moving every frame at 30 frames per
// second for 10 s on a pseudo-terminal read at 9600 baud (960 bytes a second,
// two thirds of the 1440 the frames would need). The reader emulates the
// line: it takes bytes no faster than the rate and notes when each arrived.
//
// Figures: last_late_periods, how long after its frame was due the last
// command arrived; lag_p99_frames, how many frames behind the frame due at
// arrival the 99th percentile command's position was; final_ok, 1 when the
// controller ends on the last frame's positions. The reference is the same
// engine told the line is fast: every servo every frame, as before.
#include "burst_clock.h"
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

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFps = 30;
constexpr int kFrames = 300;
constexpr int kBaud = 9600;

int32_t PositionOf(int32_t frame, int servo) { return (frame * 7 + servo * 13) % 251; }

struct Arrival {
    double ms;
    uint8_t byte;
};

// Reads the master side at the line's rate.
class SlowLine {
public:
    SlowLine() {
        path_ = bench::OpenRawPty(master_, slave_);
        start_ = Clock::now();
        reader_ = std::thread([this] { Read(); });
    }
    ~SlowLine() {
        done_ = true;
        reader_.join();
        close(master_);
        close(slave_);
    }
    const std::string& Path() const { return path_; }
    Clock::time_point Start() const { return start_; }
    std::vector<Arrival> Finish() {
        done_ = true;
        reader_.join();
        reader_ = std::thread([] {});
        return arrivals_;
    }

private:
    void Read() {
        double credit = 0;
        auto last = Clock::now();
        int idle = 0;
        while (!done_ || idle < 300) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            const auto now = Clock::now();
            credit = std::min(credit + std::chrono::duration<double>(now - last).count() * kBaud / 10.0, 16.0);  // a UART FIFO
            last = now;
            const int want = int(credit);
            if (want == 0) continue;
            uint8_t buffer[16];
            pollfd p{master_, POLLIN, 0};
            const ssize_t n = poll(&p, 1, 0) > 0 ? read(master_, buffer, size_t(want)) : 0;
            if (n <= 0) {
                ++idle;
                credit = 0;
                continue;
            }
            idle = 0;
            credit -= double(n);
            const double ms = std::chrono::duration<double, std::milli>(now - start_).count();
            for (ssize_t i = 0; i < n; ++i) arrivals_.push_back({ms, buffer[i]});
        }
    }

    int master_ = -1, slave_ = -1;
    std::string path_;
    Clock::time_point start_;
    std::atomic<bool> done_{false};
    std::vector<Arrival> arrivals_;
    std::thread reader_;
};

struct Silence : SoundOutput {
    void Play(const std::string&, double) override {}
    void Stop(double) override {}
};

struct FirstFrame {
    double ms = -1;
    static void Hook(void* self, int32_t frame) {
        auto* me = static_cast<FirstFrame*>(self);
        if (frame == 1) me->ms = std::chrono::duration<double, std::milli>(Clock::now() - me->origin).count();
    }
    Clock::time_point origin;
};

// state.range(0): the rate the engine assumes (9600: the line model; a
// large one: every servo every frame, the reference).
void BM_SlowLine(benchmark::State& state) {
    Project project;
    StartNewProject(project);
    project.Frames.Grow(kFrames);
    for (int32_t f = 1; f <= kFrames; ++f)
        for (int s = 0; s < kServoCount; ++s) project.Frames[f][s] = PositionOf(f, s);
    for (ServoRecord& servo : project.Servos) servo.Used = servo.Enabled = true;
    project.Built = true;
    const double period = 1000.0 / kFps;
    for (auto _ : state) {
        SlowLine line;
        SerialLink link;
        link.ApplyCommSettings(project.Settings);
        link.SetDeviceOverride(line.Path());
        SerialLinkOutput output(link);
        QuietPlaybackView view(kFps);
        Silence sound;
        PlaybackEngine engine(project, output, sound, view);
        engine.SetPrioritySetter([](int32_t) {});
        engine.SetLineBaud(int32_t(state.range(0)));
        FirstFrame first{-1, line.Start()};
        engine.SetFrameSentHook(&FirstFrame::Hook, &first);
        engine.PlayAnimation(1, kFrames);
        const std::vector<Arrival> bytes = line.Finish();

        std::vector<double> lags;
        std::array<int32_t, kServoCount> final{};
        double lastMs = 0;
        for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
            const int servo = bytes[i + 1].byte;
            const int32_t position = bytes[i + 2].byte;
            if (servo >= kServoCount) continue;
            final[servo] = position;
            lastMs = bytes[i + 2].ms;
            const int32_t due = std::clamp(1 + int32_t((bytes[i + 2].ms - first.ms) / period), 1, kFrames);
            // The newest frame at or before the one due that had this position.
            int32_t frame = due;
            while (frame > 1 && PositionOf(frame, servo) != position) --frame;
            lags.push_back(double(due - frame));
        }
        std::sort(lags.begin(), lags.end());
        bool finalOk = true;
        for (int s = 0; s < kServoCount; ++s) finalOk = finalOk && final[s] == PositionOf(kFrames, s);
        const double lastDue = first.ms + (kFrames - 1) * period;
        state.counters["last_late_periods"] = (lastMs - lastDue) / period;
        state.counters["lag_p99_frames"] = lags.empty() ? -1 : lags[size_t(0.99 * double(lags.size() - 1))];
        state.counters["final_ok"] = finalOk ? 1 : 0;
        state.counters["commands"] = double(lags.size());
    }
}
BENCHMARK(BM_SlowLine)->Arg(kBaud)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
