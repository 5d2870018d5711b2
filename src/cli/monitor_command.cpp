#include "monitor_command.h"

#include "cli.h"
#include "cli_support.h"
#include "core/numeric_text.h"
#include "link/controller_protocol.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <memory>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace kestrova::cli {

namespace {

volatile std::sig_atomic_t stopRequested = 0;
// The flags of standard output before the monitor began; -1 when unknown.
volatile std::sig_atomic_t outputFlags = -1;
void OnStop(int) {
    stopRequested = 1;
    // A write to an output nobody reads (a full pipe, a stopped terminal)
    // would wait for ever, and the stream library retries one that a
    // signal interrupts: from now on such a write fails instead.
    if (outputFlags >= 0) ::fcntl(STDOUT_FILENO, F_SETFL, outputFlags | O_NONBLOCK);
}

constexpr int kMostRows = kHighestChannel + 1;
constexpr int kBarWidth = 32;
constexpr size_t kLostShown = 16;  // bytes of a lost run printed in hex
constexpr uint64_t kLostRun = 4096;  // a longer run is printed in parts of this many bytes
constexpr auto kLiveRedraw = std::chrono::milliseconds(40);

std::optional<speed_t> TerminalSpeed(int32_t baud) {
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return std::nullopt;
    }
}

// Prints commands as lines, or the servos (Mini-SSC) or channels as bars
// redrawn in place.
class Printer : public ProtocolDecoder::Listener {
public:
    Printer(std::ostream& out, bool live, int32_t protocol)
        : out_(out), live_(live), pulses_(protocol != int32_t(Protocol::MiniSsc)),
          rows_(pulses_ ? ChannelCount(protocol) : kServoCount) {
        value_.fill(-1);
    }

    void SetTime(double ms) { ms_ = ms; }

    void Event(const ControllerEvent& e) override {
        FlushLost();
        ++commands_;
        const bool target = e.kind == ControllerEvent::Kind::Position || e.kind == ControllerEvent::Kind::Pulse;
        if (target && e.channel < rows_) value_[static_cast<size_t>(e.channel)] = e.value;
        if (live_) return;
        char line[160];
        int n = 0;
        switch (e.kind) {
        case ControllerEvent::Kind::Position:
            n = std::snprintf(line, sizeof line, "%10.1f ms  servo %2d  position %3d", ms_, e.channel + 1, e.value);
            break;
        case ControllerEvent::Kind::Pulse:
            if (e.value == 0) n = std::snprintf(line, sizeof line, "%10.1f ms  channel %2d  pulses off", ms_, e.channel);
            else n = std::snprintf(line, sizeof line, "%10.1f ms  channel %2d  pulse %7.2f us", ms_, e.channel, e.value / 4.0);
            break;
        case ControllerEvent::Kind::Speed:
            n = std::snprintf(line, sizeof line, "%10.1f ms  channel %2d  speed limit %d (x 0.25 us per 10 ms)", ms_,
                              e.channel, e.value);
            break;
        case ControllerEvent::Kind::Acceleration:
            n = std::snprintf(line, sizeof line, "%10.1f ms  channel %2d  acceleration limit %d (x 0.25 us per 10 ms per 80 ms)",
                              ms_, e.channel, e.value);
            break;
        }
        out_ << std::string(line, static_cast<size_t>(std::clamp(n, 0, int(sizeof line) - 1)));
        if (e.device >= 0) out_ << "  device " << e.device;
        if (e.travelMs >= 0) out_ << "  over " << e.travelMs << " ms";
        out_ << '\n';
    }
    // Only the first bytes of a run are kept; a run that goes on (a line
    // full of noise) is printed in parts as it arrives.
    void NotUnderstood(const uint8_t* bytes, size_t count, uint64_t) override {
        for (size_t i = 0; i < count; ++i) {
            if (lostRun_ == 0) lostMs_ = ms_;
            if (lost_.size() < kLostShown) lost_.push_back(bytes[i]);
            ++lostRun_;
            ++lostTotal_;
            if (lostRun_ >= kLostRun) FlushLost();
        }
    }

    // A run of bytes not understood is printed once it has ended.
    void FlushLost() {
        if (lostRun_ == 0) return;
        if (!live_) {
            char head[64];
            std::snprintf(head, sizeof head, "%10.1f ms  %llu byte%s not understood:", lostMs_,
                          static_cast<unsigned long long>(lostRun_), lostRun_ == 1 ? "" : "s");
            out_ << head;
            for (const uint8_t byte : lost_) {
                char hex[4];
                std::snprintf(hex, sizeof hex, " %02x", byte);
                out_ << hex;
            }
            out_ << (lostRun_ > kLostShown ? " ...\n" : "\n");
        }
        lost_.clear();
        lostRun_ = 0;
    }

    void DrawLive() {
        if (drawn_) out_ << "\x1b[" << (rows_ + 1) << 'A';
        for (int r = 0; r < rows_; ++r) {
            const int32_t v = value_[static_cast<size_t>(r)];
            // A pulse's bar spans the widest range a servo may have.
            const double fraction = v < 0 ? 0
                                    : pulses_ ? std::clamp((v / 4.0 - kLowestPulse) / (kHighestPulse - kLowestPulse), 0.0, 1.0)
                                              : v / 255.0;
            const auto filled = v < 0 ? size_t{0} : static_cast<size_t>(std::lround(fraction * kBarWidth));
            const std::string bar = std::string(filled, '#') + std::string(kBarWidth - filled, '.');
            char line[96];
            if (!pulses_ && v >= 0) std::snprintf(line, sizeof line, "Servo %2d [%s] %3d", r + 1, bar.c_str(), v);
            else if (!pulses_) std::snprintf(line, sizeof line, "Servo %2d [%s]   -", r + 1, bar.c_str());
            else if (v > 0) std::snprintf(line, sizeof line, "Channel %2d [%s] %7.2f us", r, bar.c_str(), v / 4.0);
            else std::snprintf(line, sizeof line, "Channel %2d [%s] %s", r, bar.c_str(), v == 0 ? "off" : "-");
            out_ << line << "\x1b[K\n";
        }
        out_ << commands_ << " commands, " << lostTotal_ << " bytes not understood\x1b[K\n" << std::flush;
        drawn_ = true;
    }

    uint64_t Commands() const { return commands_; }
    uint64_t LostTotal() const { return lostTotal_; }

private:
    std::ostream& out_;
    bool live_;
    bool pulses_;
    int rows_;
    double ms_ = 0;
    std::array<int32_t, kMostRows> value_{};
    std::vector<uint8_t> lost_;  // the first bytes of the run
    uint64_t lostRun_ = 0;
    double lostMs_ = 0;
    uint64_t commands_ = 0;
    uint64_t lostTotal_ = 0;
    bool drawn_ = false;
};

// Raw input at the given speed; a device that is no terminal (a pipe, a
// file) is read as it is.
bool ConfigureLine(int fd, speed_t speed, std::string& reason) {
    termios tio;
    if (::tcgetattr(fd, &tio) != 0) {
        if (errno == ENOTTY || errno == EINVAL) return true;
        reason = std::strerror(errno);
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

class StopGuard {
public:
    StopGuard() {
        stopRequested = 0;
        outputFlags = ::fcntl(STDOUT_FILENO, F_GETFL);
        struct sigaction action {};
        action.sa_handler = &OnStop;  // no SA_RESTART: poll returns at once
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &previousInt_);
        ::sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~StopGuard() {
        ::sigaction(SIGINT, &previousInt_, nullptr);
        ::sigaction(SIGTERM, &previousTerm_, nullptr);
        RestoreOutput();
    }
    // Standard output as it was (blocking), for what is printed last.
    void RestoreOutput() {
        const int flags = outputFlags;
        outputFlags = -1;
        if (flags >= 0) ::fcntl(STDOUT_FILENO, F_SETFL, flags);
    }

private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

}  // namespace

int Monitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string device;
    int32_t baud = 9600;
    int32_t synch = 255;
    int32_t protocol = 0;
    bool live = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--device" && hasValue) {
            device = args[++i];
        } else if (args[i] == "--baud" && hasValue) {
            const std::optional<int32_t> value = ToInt32(args[++i]);
            if (!value || !TerminalSpeed(*value)) return Usage(err, "--baud takes 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200");
            baud = *value;
        } else if (args[i] == "--synch" && hasValue) {
            const std::optional<int32_t> value = ToInt32(args[++i]);
            if (!value || *value < 0 || *value > 255) return Usage(err, "--synch takes 0 to 255");
            synch = *value;
        } else if (args[i] == "--protocol" && hasValue) {
            const std::optional<int32_t> value = ProtocolOfWord(args[++i]);
            if (!value) return Usage(err, "--protocol takes mini-ssc, pololu, pololu-chain or ssc32");
            protocol = *value;
        } else if (args[i] == "--live") {
            live = true;
        } else {
            return Usage(err, "unexpected argument '" + args[i] + "'");
        }
    }
    if (device.empty()) return Usage(err, "monitor needs --device PATH");

    const int fd = ::open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    std::string reason;
    struct stat status {};
    if (fd < 0) reason = std::strerror(errno);
    else if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) reason = std::strerror(EISDIR);
    else ConfigureLine(fd, *TerminalSpeed(baud), reason);
    if (!reason.empty()) {
        if (fd >= 0) ::close(fd);
        err << "Error: " << Printable(device) << " - " << reason << '\n';
        return kExitFailure;
    }

    StopGuard guard;
    const std::unique_ptr<ProtocolDecoder> decoder = MakeDecoder(protocol, static_cast<uint8_t>(synch));
    Printer printer(out, live, protocol);
    err << "Listening on " << Printable(device) << " at " << baud << " baud for "
        << (protocol == int32_t(Protocol::MiniSsc) ? "synch byte " + std::to_string(synch) : ProtocolName(protocol))
        << "; Ctrl+C stops." << std::endl;
    if (live) printer.DrawLive();

    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> first;
    Clock::time_point lastDraw = Clock::now();
    bool hungUp = false;
    std::string readError;
    uint8_t buffer[4096];
    while (!stopRequested && !hungUp) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 200);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                const auto now = Clock::now();
                if (!first) first = now;
                printer.SetTime(std::chrono::duration<double, std::milli>(now - *first).count());
                decoder->Feed(buffer, static_cast<size_t>(n), printer);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                // The end of the data, a hang-up or a read error: nothing
                // more will come.
                if (n < 0 && errno != EIO) readError = std::strerror(errno);
                hungUp = true;
            }
        }
        // A run of lost bytes that has stopped growing is shown now.
        if (ready == 0) printer.FlushLost();
        if (live && Clock::now() - lastDraw >= kLiveRedraw) {
            printer.DrawLive();
            lastDraw = Clock::now();
        }
        if (!live) out << std::flush;
    }
    ::close(fd);
    printer.FlushLost();
    if (live) printer.DrawLive();
    out << std::flush;
    guard.RestoreOutput();
    if (!readError.empty()) err << "Error: " << Printable(device) << " - " << readError << '\n';
    const auto count = [](uint64_t n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    err << (hungUp ? "The line was closed. " : "Stopped. ") << count(printer.Commands(), "command") << ", "
        << count(printer.LostTotal(), "byte") << " not understood.\n";
    return kExitOk;
}

}  // namespace kestrova::cli
