#pragma once
// A pseudo-terminal: the link opens the slave like a serial port, the test
// reads what arrived from the master.

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace kestrova::testing {

class Pty {
public:
    Pty() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) std::abort();
        path_ = name;
    }
    ~Pty() { HangUp(); }

    const std::string& Path() const { return path_; }
    int SlaveFd() const { return slave_; }
    int MasterFd() const { return master_; }

    // What arrives within the time given, up to count bytes; Stray() is what
    // arrives within a short while when nothing should.
    std::vector<uint8_t> Stray() { return Read(SIZE_MAX, 100); }
    std::vector<uint8_t> Read(size_t count, int withinMs = 2000) {
        std::vector<uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(withinMs);
        uint8_t buffer[512];
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            const ssize_t n = ::poll(&p, 1, 10) > 0 ? ::read(master_, buffer, sizeof buffer) : 0;
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    // Closes both ends: the line is hung up and refuses further writes.
    void HangUp() {
        for (int* fd : {&slave_, &master_}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
    }

private:
    int master_ = -1, slave_ = -1;
    std::string path_;
};

}  // namespace kestrova::testing
