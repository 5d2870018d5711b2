#pragma once
// A pseudo-terminal whose reader thread notes when each frame's burst of
// servo commands arrives, and the pacing figures computed from those times.

#include "playback/process_priority.h"

#include <benchmark/benchmark.h>

#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace kestrova::bench {

using Clock = std::chrono::steady_clock;

// Bytes of one frame with all 16 servos taking part.
constexpr size_t kBurst = 16 * 3;

// Opens a pseudo-terminal in raw mode; returns the slave's path.
inline std::string OpenRawPty(int& master, int& slave) {
    char name[256] = {};
    openpty(&master, &slave, name, nullptr, nullptr);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    return name;
}

// Reads the master side and notes when the first byte of each burst arrived.
class BurstClock {
public:
    BurstClock() {
        path_ = OpenRawPty(master_, slave_);
        // The reader stands in for the controller's receiver, which is always
        // listening and never waits for a CPU. Where the system allows, it
        // runs at a real-time priority and looks every 50 us. Asleep in
        // poll(), it would be woken through the terminal's flush worker, and
        // on a virtual machine that wake-up of another CPU now and then
        // stalls both for a host time slice (about 3 ms, seen in the
        // scheduler's trace): the instrument's delay, not the player's.
        // Otherwise it sleeps in poll() with prompt wake-ups, as a normal
        // thread that looks every 50 us falls behind busy processes.
        std::promise<bool> realTime;
        auto started = realTime.get_future();
        reader_ = std::thread([this, &realTime] {
            sched_param param{};
            param.sched_priority = 1;
            const bool fifo = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
            if (!fifo) SetPromptWakeups(true);
            realTime.set_value(fifo);
            Read(fifo);
        });
        realTime_ = started.get();
    }
    ~BurstClock() {
        done_ = true;
        reader_.join();
        close(master_);
        close(slave_);
    }
    const std::string& Path() const { return path_; }
    // Whether the reader polls at a real-time priority (1) or sleeps in poll() (0).
    bool RealTime() const { return realTime_; }
    int SlaveFd() const { return slave_; }

    std::vector<double> Stamps() {
        done_ = true;
        reader_.join();
        reader_ = std::thread([] {});
        return stamps_;
    }

private:
    void Read(bool polling) {
        size_t total = 0;
        char buffer[4096];
        while (!done_ || Pending()) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, polling ? 0 : 5) <= 0) {
                if (polling) std::this_thread::sleep_for(std::chrono::microseconds(50));
                continue;
            }
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
    bool realTime_ = false;
    std::vector<double> stamps_;
    std::thread reader_;
};


// Median and 99th percentile of |interval - period| and the drift of the
// last burst against the first, in milliseconds.
inline void Report(benchmark::State& state, const std::vector<double>& stamps, int frames, int fps) {
    const double period = 1000.0 / fps;
    if (stamps.size() != size_t(frames)) {
        state.SkipWithError("not every frame arrived");
        return;
    }
    std::vector<double> errors;
    for (size_t i = 1; i < stamps.size(); ++i) errors.push_back(std::fabs(stamps[i] - stamps[i - 1] - period));
    std::sort(errors.begin(), errors.end());
    state.counters["median_err_ms"] = errors[errors.size() / 2];
    state.counters["p99_err_ms"] = errors[size_t(std::ceil(0.99 * double(errors.size()))) - 1];
    state.counters["drift_ms"] = (stamps.back() - stamps.front()) - period * (frames - 1);
}

}  // namespace kestrova::bench
