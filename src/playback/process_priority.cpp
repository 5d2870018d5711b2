#include "process_priority.h"

#if defined(__linux__) || defined(__APPLE__)
#include <sched.h>
#include <sys/resource.h>
#endif
#ifdef __linux__
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#endif
#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrova {

#if defined(__linux__) || defined(__APPLE__)

namespace {

void NormalScheduling() {
#ifdef __linux__
    sched_param param{};
    param.sched_priority = 0;
    sched_setscheduler(0, SCHED_OTHER, &param);
#endif
}

// The strongest nice value from `wanted` towards 0 that the system allows.
void StrongestNice(int wanted) {
    for (int nice = wanted; nice < 0; ++nice) {
        if (setpriority(PRIO_PROCESS, 0, nice) == 0) return;
    }
    setpriority(PRIO_PROCESS, 0, 0);
}

}  // namespace

void SetProcessPriority(int32_t level) {
    switch (level) {
    case 1:
        NormalScheduling();
        StrongestNice(-10);
        return;
    case 2: {
#ifdef __linux__
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 1;
        if (sched_setscheduler(0, SCHED_FIFO, &param) == 0) return;
#endif
        StrongestNice(-20);
        return;
    }
    default:
        NormalScheduling();
        setpriority(PRIO_PROCESS, 0, 0);
        return;
    }
}

#ifdef __linux__

void SetPromptWakeups(bool on) {
    // The kernel's sched_attr; sched_runtime is the slice a normal thread
    // asks for (Linux 6.12 and later; older kernels ignore it).
    struct {
        uint32_t size;
        uint32_t policy;
        uint64_t flags;
        int32_t nice;
        uint32_t priority;
        uint64_t runtime;
        uint64_t deadline;
        uint64_t period;
    } attr{};
    if (sched_getscheduler(0) != SCHED_OTHER) return;  // real-time already
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);
    if (errno != 0) return;
    attr.size = sizeof attr;
    attr.policy = SCHED_OTHER;
    attr.nice = nice;
    attr.runtime = on ? 100'000 : 0;  // nanoseconds; 0: the default slice
    syscall(SYS_sched_setattr, 0, &attr, 0);
}

#else

void SetPromptWakeups(bool) {}

#endif

#elif defined(_WIN32)

void SetPromptWakeups(bool) {}

void SetProcessPriority(int32_t level) {
    const DWORD cls = level == 1 ? HIGH_PRIORITY_CLASS : level == 2 ? REALTIME_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS;
    SetPriorityClass(GetCurrentProcess(), cls);
}

#else

void SetProcessPriority(int32_t) {}
void SetPromptWakeups(bool) {}

#endif

}  // namespace kestrova
