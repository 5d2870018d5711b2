#pragma once
// Load the benchmarks start themselves: `count` processes that each keep a
// core busy until the object is destroyed.

#include <csignal>
#include <cstdint>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

class BusyProcesses {
public:
    explicit BusyProcesses(int64_t count) {
        for (int64_t i = 0; i < count; ++i) {
            const pid_t child = fork();
            if (child == 0) {
                volatile uint64_t n = 0;
                for (;;) n = n + 1;
            }
            children_.push_back(child);
        }
    }
    ~BusyProcesses() {
        for (pid_t child : children_) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
    }
    BusyProcesses(const BusyProcesses&) = delete;
    BusyProcesses& operator=(const BusyProcesses&) = delete;

private:
    std::vector<pid_t> children_;
};
