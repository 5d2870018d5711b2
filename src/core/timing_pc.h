#pragma once
// A stopwatch on a monotonic high-resolution clock. The build pauses with it
// between servos; playback resets it every frame and spins until the frame
// period has passed.

#include "messages.h"

#include <cstdint>
#include <string>

namespace kestrova {

// The two operations the stopwatch needs of a clock: its frequency in counts
// per second (false when the machine has no such counter) and its count now.
struct PerformanceCounter {
    bool (*queryFrequency)(int64_t& countsPerSecond);
    int64_t (*queryCounter)();
};

// std::chrono::steady_clock in nanoseconds.
PerformanceCounter SteadyClockCounter();

class CTimingPC {
public:
    // Reads the frequency once. Without a counter the stopwatch reads 0 and
    // never waits; its owner tells the user with UnavailableMessage.
    explicit CTimingPC(PerformanceCounter counter = SteadyClockCounter());

    void Reset();

    // Milliseconds since the last Reset. No allocation: cheap enough for a
    // tight polling loop.
    double Elapsed() const;

    // Elapsed() as "#,0.000 msec", e.g. "1,234.500 msec".
    std::string ElapsedText() const;

    // Resets, then spins until at least ms milliseconds have passed. It
    // neither sleeps nor processes window messages.
    void WaitFor(double ms);

    bool Available() const { return available_; }
    // "PerfCounter not available".
    static Message UnavailableMessage();

private:
    PerformanceCounter counter_;
    int64_t frequency_ = 0;
    int64_t start_ = 0;
    bool available_ = false;
};

// Milliseconds as "#,0.000": thousands grouped with commas, three decimals.
std::string FormatMilliseconds(double ms);

}  // namespace kestrova
