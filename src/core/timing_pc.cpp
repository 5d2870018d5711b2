#include "timing_pc.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace kestrova {

namespace {

bool SteadyFrequency(int64_t& countsPerSecond) {
    using Period = std::chrono::steady_clock::period;
    countsPerSecond = Period::den / Period::num;
    return countsPerSecond > 0;
}

int64_t SteadyCount() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

}  // namespace

PerformanceCounter SteadyClockCounter() { return PerformanceCounter{&SteadyFrequency, &SteadyCount}; }

CTimingPC::CTimingPC(PerformanceCounter counter) : counter_(counter) {
    available_ = counter_.queryFrequency(frequency_) && frequency_ > 0;
    start_ = counter_.queryCounter();
}

Message CTimingPC::UnavailableMessage() {
    return Message{"PerfCounter not available", "", MessageIcon::Exclamation, MessageButtons::Ok};
}

void CTimingPC::Reset() { start_ = counter_.queryCounter(); }

double CTimingPC::Elapsed() const {
    const int64_t now = counter_.queryCounter();
    if (!available_) return 0.0;
    // Split into whole seconds and the rest so the product never overflows.
    const int64_t difference = now - start_;
    const int64_t seconds = difference / frequency_;
    const int64_t rest = difference % frequency_;
    return static_cast<double>(seconds) * 1000.0 + static_cast<double>(rest * 1000) / static_cast<double>(frequency_);
}

std::string CTimingPC::ElapsedText() const { return FormatMilliseconds(Elapsed()); }

void CTimingPC::WaitFor(double ms) {
    Reset();
    if (!available_) {
        (void)Elapsed();
        return;
    }
    while (Elapsed() < ms) {
    }
}

std::string FormatMilliseconds(double ms) {
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.3f", std::fabs(ms));
    std::string text(digits);
    const size_t point = text.find('.');
    std::string grouped = ms < 0 && std::fabs(ms) >= 0.0005 ? "-" : "";
    for (size_t i = 0; i < point; ++i) {
        if (i > 0 && (point - i) % 3 == 0) grouped.push_back(',');
        grouped.push_back(text[i]);
    }
    grouped += text.substr(point);
    return grouped + " msec";
}

}  // namespace kestrova
