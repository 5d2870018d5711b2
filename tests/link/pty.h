#pragma once
// A pseudo-terminal for the serial link tests: the link opens the slave
// device like a serial port, the test reads what arrived from the master.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace kestrova::testing {

class Pty {
public:
    Pty() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty failed";
            return;
        }
        path_ = name;
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() {
        CloseMaster();
        CloseSlave();
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& Path() const { return path_; }
    int SlaveFd() const { return slave_; }

    // Everything that arrives at the master within the time given, ending
    // early once count bytes are there.
    std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds within =
                                                std::chrono::milliseconds(1000)) {
        std::vector<uint8_t> got;
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            uint8_t buffer[512];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    // Whatever arrives within a short while when nothing is expected.
    std::vector<uint8_t> Stray() { return Read(SIZE_MAX, std::chrono::milliseconds(100)); }

    // Closing the master hangs the line up: the slave then refuses writes.
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    void CloseSlave() {
        if (slave_ >= 0) ::close(slave_);
        slave_ = -1;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

}  // namespace kestrova::testing
