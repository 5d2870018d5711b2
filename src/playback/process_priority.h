#pragma once
// The priority of the playing process: 0 normal, 1 high, 2 very high.

#include <cstdint>

namespace kestrova {

// 0: normal scheduling at nice 0. 1: nice -10. 2: real-time (FIFO) at a low
// real-time priority where permitted, else the strongest nice permitted.
// Failures are silent: playback goes on at whatever priority it has.
void SetProcessPriority(int32_t level);

// While on, the calling thread asks the scheduler for short time slices: a
// thread that sleeps nearly all the time and must wake on the dot then
// preempts CPU-bound work as soon as it wakes, without any privilege.
// Where the system has no such request this does nothing.
void SetPromptWakeups(bool on);

}  // namespace kestrova
