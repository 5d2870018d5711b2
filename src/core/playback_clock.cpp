#include "playback_clock.h"

#include <chrono>
#include <thread>

namespace kestrova {

namespace {
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;
}  // namespace

double SteadyPlaybackClock::NowMs() { return Ms(Clock::now().time_since_epoch()).count(); }

void SteadyPlaybackClock::WaitUntil(double deadlineMs) {
    const Clock::time_point deadline{std::chrono::duration_cast<Clock::duration>(Ms(deadlineMs))};
    const auto wake = deadline - std::chrono::duration_cast<Clock::duration>(Ms(spinMs_));
    // Sleep against the absolute deadline, so a late wake-up never adds up.
    if (Clock::now() < wake) std::this_thread::sleep_until(wake);
    while (Clock::now() < deadline) {
    }
}

}  // namespace kestrova
