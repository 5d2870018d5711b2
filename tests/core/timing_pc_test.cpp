#include "core/messages.h"
#include "core/timing_pc.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kestrova;

namespace {

int64_t fakeNow = 0;
bool NoFrequency(int64_t&) { return false; }
bool Microseconds(int64_t& f) {
    f = 1'000'000;
    return true;
}
int64_t FakeCounter() { return fakeNow; }

}  // namespace

TEST(CTimingPC, ElapsedFromAFakeCounter) {
    CTimingPC timer(PerformanceCounter{&Microseconds, &FakeCounter});
    fakeNow = 1000;
    timer.Reset();
    fakeNow = 3500;
    EXPECT_DOUBLE_EQ(timer.Elapsed(), 2.5);
    EXPECT_EQ(timer.ElapsedText(), "2.500 msec");
    fakeNow = 1000 + 1'234'567'891;
    EXPECT_EQ(timer.ElapsedText(), "1,234,567.891 msec");
    EXPECT_EQ(FormatMilliseconds(999.9996), "1,000.000 msec") << "rounding carries into the thousands";
}

TEST(CTimingPC, UnavailableCounterReadsZeroAndNeverWaits) {
    CTimingPC timer(PerformanceCounter{&NoFrequency, &FakeCounter});
    EXPECT_FALSE(timer.Available());
    fakeNow += 10'000'000;
    EXPECT_EQ(timer.Elapsed(), 0.0);
    timer.WaitFor(1e9);  // returns at once
}

TEST(CTimingPC, RealClockWaitsAtLeastTheTimeAsked) {
    CTimingPC timer;
    ASSERT_TRUE(timer.Available());
    timer.WaitFor(2.0);
    EXPECT_GE(timer.Elapsed(), 2.0);
}
