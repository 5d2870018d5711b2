#include "osc_source.h"

#include <lo/lo.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace kestrova {

namespace {
constexpr const char* kPrefix = "/kestrova/servo/";
constexpr size_t kMaxDatagram = 65536;

// N of "/kestrova/servo/N", 1 to 16; 0 for any other address.
int ServoOfPath(const char* path) {
    const size_t prefix = std::strlen(kPrefix);
    if (std::strncmp(path, kPrefix, prefix) != 0) return 0;
    const char* digits = path + prefix;
    const size_t length = std::strlen(digits);
    if (length == 0 || length > 2) return 0;
    int n = 0;
    for (size_t i = 0; i < length; ++i) {
        if (digits[i] < '0' || digits[i] > '9') return 0;
        n = n * 10 + (digits[i] - '0');
    }
    return n >= 1 && n <= 16 && digits[0] != '0' ? n : 0;
}

uint32_t BigEndian32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
}  // namespace

OscSource::OscSource(int port, std::string address) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(uint16_t(port));
    if (port < 0 || port > 65535 || inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        problem_ = "OSC: \"" + address + "\" port " + std::to_string(port) + " is not an address to listen on.";
        return;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
        problem_ = "OSC: cannot listen on " + address + " port " + std::to_string(port) + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return;
    }
    socklen_t length = sizeof where;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&where), &length);
    port_ = ntohs(where.sin_port);
    socket_ = fd;
    wake_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { Run(); });
}

OscSource::~OscSource() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        (void)!::write(wake_, &one, sizeof one);
        thread_.join();
    }
    if (socket_ >= 0) ::close(socket_);
    if (wake_ >= 0) ::close(wake_);
}

std::vector<std::string> OscSource::Devices() const {
    if (socket_ < 0) return {};
    return {"OSC port " + std::to_string(port_)};
}

void OscSource::Run() {
    std::vector<uint8_t> buffer(kMaxDatagram);
    for (;;) {
        pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        const ssize_t size = ::recv(socket_, buffer.data(), buffer.size(), 0);
        if (size > 0) Dispatch(buffer.data(), size_t(size));
    }
}

void OscSource::Dispatch(const uint8_t* data, size_t size, int depth) {
    if (size >= 16 && std::memcmp(data, "#bundle", 8) == 0) {
        // Elements: a 32-bit size, then the element; nested bundles to a few levels.
        if (depth >= 4) {
            ++rejected_;
            return;
        }
        size_t at = 16;
        while (at + 4 <= size) {
            const uint32_t length = BigEndian32(data + at);
            at += 4;
            if (length > size - at) {
                ++rejected_;
                return;
            }
            Dispatch(data + at, length, depth + 1);
            at += length;
        }
        return;
    }
    // liblo reads the message; it wants a buffer it may keep pointers into.
    std::vector<uint8_t> copy(data, data + size);
    int result = 0;
    lo_message message = size >= 4 ? lo_message_deserialise(copy.data(), copy.size(), &result) : nullptr;
    if (!message) {
        ++rejected_;
        return;
    }
    const char* path = lo_get_path(copy.data(), ssize_t(copy.size()));
    const int servo = path ? ServoOfPath(path) : 0;
    const char* types = lo_message_get_types(message);
    lo_arg** argv = lo_message_get_argv(message);
    double value = std::nan("");
    if (servo > 0 && lo_message_get_argc(message) == 1 && types) {
        switch (types[0]) {
        case LO_FLOAT: value = argv[0]->f; break;
        case LO_DOUBLE: value = argv[0]->d; break;
        case LO_INT32: value = argv[0]->i; break;
        default: break;
        }
    }
    lo_message_free(message);
    if (servo == 0 || !std::isfinite(value)) {
        ++rejected_;
        return;
    }
    table_.Set(ControlId{SourceKind::Osc, {}, servo}, value);
}

}  // namespace kestrova
