#pragma once
// OSC over UDP: a message "/kestrova/servo/N" (N from 1 to 16) with one
// number from 0 to 1, as phone and tablet control surfaces send it, sets
// control N. The socket listens on the user's port at the loopback address
// unless the user names another (0.0.0.0 for every interface). Values
// beyond 0..1 read as the nearest end; NaN, infinities, other addresses,
// other argument types and malformed packets are counted and left out.
// Bundles are opened (their time tags are not waited for: live input is
// wanted now).

#include "capture/input_source.h"

#include <atomic>
#include <thread>

namespace kestrova {

class OscSource : public InputSource {
public:
    // Listens at once; a port in use or a bad address leaves it silent
    // with the reason in Problem(). Port 0 takes any free port.
    explicit OscSource(int port, std::string address = "127.0.0.1");
    ~OscSource() override;
    OscSource(const OscSource&) = delete;
    OscSource& operator=(const OscSource&) = delete;

    SourceKind Kind() const override { return SourceKind::Osc; }
    bool Connected(const std::string&) const override { return socket_ >= 0; }
    std::string Problem() const override { return problem_; }
    std::vector<std::string> Devices() const override;

    // The port it listens on (the one chosen for 0); 0 when it does not.
    int Port() const { return port_; }
    // Packets and messages left out.
    uint64_t Rejected() const { return rejected_; }

    // Reads one datagram's content (exposed for the tests and the fuzzer).
    void Dispatch(const uint8_t* data, size_t size, int depth = 0);

private:
    void Run();

    int socket_ = -1;
    int wake_ = -1;  // an eventfd that ends the thread
    int port_ = 0;
    std::string problem_;
    std::atomic<uint64_t> rejected_{0};
    std::thread thread_;
};

}  // namespace kestrova
