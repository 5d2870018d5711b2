#include "serial_link.h"

#include "live_output.h"

#include "servo_command.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace kestrova {

namespace {

constexpr int32_t kHighestPortNumber = 255;
// How long a write may wait for the operating system to take its bytes
// (its buffer full because the line is slower than the writes).
constexpr std::chrono::milliseconds kWriteTimeout{2000};
constexpr const char* kWriteTimeoutReason = "The port did not take the bytes within 2 seconds";
constexpr const char* kNotOpenReason = "The port is not open";

std::string SystemReason(int error) { return std::generic_category().message(error); }

struct LineParameters {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    int bitsPerByte = 10;  // start, data, parity and stop bits on the wire
};

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

std::optional<LineParameters> ParseLineSettings(const std::string& text) {
    const std::vector<std::string> parts = SplitCommas(text);
    if (parts.size() != 4) return std::nullopt;
    LineParameters line;

    const std::string& speed = parts[0];
    const auto [end, ec] = std::from_chars(speed.data(), speed.data() + speed.size(), line.baudRate);
    if (ec != std::errc() || end != speed.data() + speed.size() || line.baudRate <= 0)
        return std::nullopt;

    if (parts[1].size() != 1) return std::nullopt;
    switch (parts[1][0]) {
    case 'N': case 'n': line.parity = QSerialPort::NoParity; break;
    case 'E': case 'e': line.parity = QSerialPort::EvenParity; break;
    case 'O': case 'o': line.parity = QSerialPort::OddParity; break;
    case 'M': case 'm': line.parity = QSerialPort::MarkParity; break;
    case 'S': case 's': line.parity = QSerialPort::SpaceParity; break;
    default: return std::nullopt;
    }

    if (parts[2] == "5") line.dataBits = QSerialPort::Data5;
    else if (parts[2] == "6") line.dataBits = QSerialPort::Data6;
    else if (parts[2] == "7") line.dataBits = QSerialPort::Data7;
    else if (parts[2] == "8") line.dataBits = QSerialPort::Data8;
    else return std::nullopt;

    line.bitsPerByte = 1 + std::stoi(parts[2]) + (parts[1] == "N" || parts[1] == "n" ? 0 : 1);
    if (parts[3] == "1") line.stopBits = QSerialPort::OneStop;
    else if (parts[3] == "1.5") line.stopBits = QSerialPort::OneAndHalfStop;
    else if (parts[3] == "2") line.stopBits = QSerialPort::TwoStop;
    else return std::nullopt;
    line.bitsPerByte += line.stopBits == QSerialPort::OneStop ? 1 : 2;
    return line;
}

// Hands the line settings to the port. On an open port the device may
// refuse some of them (a pseudo-terminal has no real line); that does not
// make the port unusable, so the results are not checked.
void ApplyLine(QSerialPort& port, const LineParameters& line) {
    port.setBaudRate(line.baudRate);
    port.setParity(line.parity);
    port.setDataBits(line.dataBits);
    port.setStopBits(line.stopBits);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

#ifdef Q_OS_UNIX
// Why the device cannot be opened as a serial port. Qt describes its own
// steps ("Permission error while locking the device") rather than the
// operating system's reason, so the device is opened here once more to ask
// the operating system.
std::string OpenFailureReason(const std::string& device, const QSerialPort& port) {
    const int fd = ::open(device.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return SystemReason(errno);
    termios tio;
    const int notTerminal = ::tcgetattr(fd, &tio) != 0 ? errno : 0;
    ::close(fd);
    if (notTerminal != 0) return SystemReason(notTerminal);
    // The device opens and is a terminal. A refused lock means another
    // port object or program has it open.
    if (port.error() == QSerialPort::PermissionError) return SystemReason(EBUSY);
    const QString qtReason = port.errorString();
    if (!qtReason.isEmpty() && qtReason != QLatin1String("Unknown error"))
        return qtReason.toStdString();
    return SystemReason(EIO);
}

bool WriteToDescriptor(int fd, const uint8_t* data, size_t size, std::string& reason) {
    const auto deadline = std::chrono::steady_clock::now() + kWriteTimeout;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            reason = SystemReason(errno);
            return false;
        }
        // The output buffer is full: wait until it takes more.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            reason = kWriteTimeoutReason;
            return false;
        }
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            reason = SystemReason(errno);
            return false;
        }
    }
    return true;
}
#else
std::string OpenFailureReason(const std::string&, const QSerialPort& port) {
    const QString qtReason = port.errorString();
    if (!qtReason.isEmpty() && qtReason != QLatin1String("Unknown error"))
        return qtReason.toStdString();
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError: return SystemReason(ENOENT);
    case QSerialPort::PermissionError: return SystemReason(EACCES);
    default: return SystemReason(EIO);
    }
}
#endif

}  // namespace

std::optional<std::string> LineSettingsForBaudRate(int32_t baudRate) {
    if (baudRate == 0) return kLineSettings2400;
    if (baudRate == 1) return kLineSettings9600;
    return std::nullopt;
}

struct SerialLink::Impl {
    QSerialPort port;
    // Held while the port opens or closes, and while another thread reads
    // its modem lines through `descriptor` (-1 while closed).
    mutable std::mutex portMutex;
    int descriptor = -1;
    int32_t portNumber = 1;
    std::string lineSettings = kLineSettings9600;
    LineParameters line;
    std::string openedDevice;
    std::string deviceOverride;
    PortEntries entries;
    // Settings the link cannot use (see ApplyCommSettings); empty when none.
    std::string portProblem;
    std::string synchProblem;
    std::string baudProblem;

    // What keeps the port from opening, when a setting does.
    const std::string& SettingsProblem() const {
        if (deviceOverride.empty() && !portProblem.empty()) return portProblem;
        return synchProblem.empty() ? baudProblem : synchProblem;
    }
    bool virtualOpen = false;
    VirtualController controller;
    std::unique_ptr<LiveOutput> live;
    // The device the servos' known positions belong to: another device
    // drives other servos, whose positions nobody knows yet.
    std::string servosDevice;

    void Opened(const std::string& device) {
        openedDevice = device;
        if (device != servosDevice && live) live->Motion().ForgetAll();
        servosDevice = device;
    }

    std::string DeviceToOpen() const {
        return deviceOverride.empty() ? DeviceForPort(entries, portNumber) : deviceOverride;
    }
};

SerialLink::SerialLink(PortEntries entries) : impl_(std::make_unique<Impl>()) {
    impl_->entries = std::move(entries);
}

SerialLink::~SerialLink() { Close(); }

LiveOutput& SerialLink::Live() {
    if (!impl_->live) {
        impl_->live = std::make_unique<LiveOutput>(*this);
        impl_->live->SetPulsesOff([this] {
            std::string ignored;
            return HasPulsesOff() && PulsesOff(ignored);
        });
    }
    return *impl_->live;
}

void SerialLink::ApplyCommSettings(const ProjectSettings& settings) {
    const bool wasOpen = IsOpen();
    if (wasOpen) Close();
    impl_->portProblem.clear();
    impl_->synchProblem.clear();
    impl_->baudProblem.clear();
    if (!SetPortNumber(settings.COMPort)) {
        impl_->portProblem = "The port setting (COMPort) is " + std::to_string(settings.COMPort) +
                             ", which is no port: ports are numbered 1 to " + std::to_string(kHighestPortNumber) +
                             ". Choose a port in the settings; nothing was sent.";
    }
    if (settings.SynchByte < 0 || settings.SynchByte > 255) {
        impl_->synchProblem = "The synch byte setting (SynchByte) is " + std::to_string(settings.SynchByte) +
                              ", which does not fit a byte (0 to 255). Choose a synch byte in the settings; "
                              "nothing was sent.";
    }
    if (const auto line = LineSettingsForBaudRate(settings.BaudRate)) {
        SetLineSettings(*line);
    } else {
        impl_->baudProblem = "The baud rate setting (BaudRate) is " + std::to_string(settings.BaudRate) +
                             ", which is no baud rate: it is 0 for 2400 baud or 1 for 9600 baud. Choose a baud rate "
                             "in the settings; nothing was sent.";
    }
    if (settings.SynchByte >= 0 && settings.SynchByte <= 255)
        impl_->controller.SetSynchByte(static_cast<uint8_t>(settings.SynchByte));
    AdoptSettings(settings);
    if (wasOpen) {
        std::string ignored;
        Open(ignored);
    }
}

int32_t SerialLink::PortNumber() const { return impl_->portNumber; }

bool SerialLink::SetPortNumber(int32_t n) {
    if (IsOpen() || n < 1 || n > kHighestPortNumber) return false;
    impl_->portNumber = n;
    return true;
}

std::string SerialLink::PortName() const { return "COM" + std::to_string(impl_->portNumber); }

std::string SerialLink::LineSettings() const { return impl_->lineSettings; }

bool SerialLink::SetLineSettings(const std::string& settings) {
    const auto line = ParseLineSettings(settings);
    if (!line) return false;
    impl_->lineSettings = settings;
    impl_->line = *line;
    impl_->controller.SetLine(line->baudRate, line->bitsPerByte);
    if (IsOpen()) ApplyLine(impl_->port, impl_->line);
    return true;
}

std::string SerialLink::DevicePath() const {
    return IsOpen() ? impl_->openedDevice : impl_->DeviceToOpen();
}

void SerialLink::SetDeviceOverride(const std::string& device) { impl_->deviceOverride = device; }

bool SerialLink::IsOpen() const { return impl_->virtualOpen || impl_->port.isOpen(); }

bool SerialLink::IsVirtual() const { return impl_->virtualOpen; }

VirtualController& SerialLink::Controller() { return impl_->controller; }

std::string SerialLink::FailureMessage(const std::string& reason) const {
    if (!reason.empty() && reason == impl_->SettingsProblem()) return reason;
    return PortName() + " (" + DevicePath() + ") - " + reason;
}

bool SerialLink::Open(std::string& reason) {
    if (IsOpen()) return true;
    if (!impl_->SettingsProblem().empty()) {
        reason = impl_->SettingsProblem();
        return false;
    }
    const std::string device = impl_->DeviceToOpen();
    if (device == kVirtualControllerDevice) {
        {
            const std::lock_guard lock(impl_->portMutex);
            impl_->virtualOpen = true;
        }
        impl_->Opened(device);
        return SendOpening(reason);
    }
    QSerialPort& port = impl_->port;
    port.setPortName(QString::fromStdString(device));
    ApplyLine(port, impl_->line);
    {
        const std::lock_guard lock(impl_->portMutex);
        if (!port.open(QIODevice::WriteOnly)) {
            reason = OpenFailureReason(device, port);
            return false;
        }
        impl_->descriptor = static_cast<int>(port.handle());
    }
    impl_->Opened(device);
    return SendOpening(reason);
}

void SerialLink::Close() {
    {
        const std::lock_guard lock(impl_->portMutex);
        if (impl_->port.isOpen()) impl_->port.close();
        impl_->descriptor = -1;
        impl_->virtualOpen = false;
    }
    impl_->openedDevice.clear();
}

bool SerialLink::ReadModemLines(ModemLines& lines, std::string& reason) const {
    const std::lock_guard lock(impl_->portMutex);
    if (impl_->descriptor < 0) {
        reason = impl_->virtualOpen ? "The virtual controller has no modem lines" : kNotOpenReason;
        return false;
    }
#ifdef Q_OS_UNIX
    // The descriptor itself: the port object belongs to the thread that
    // writes, and its own reading would report a failure as that thread's.
    int bits = 0;
    if (::ioctl(impl_->descriptor, TIOCMGET, &bits) != 0) {
        reason = "The port cannot report its modem lines (" + SystemReason(errno) + ")";
        return false;
    }
    lines = ModemLines{(bits & TIOCM_CTS) != 0, (bits & TIOCM_DSR) != 0, (bits & TIOCM_CD) != 0,
                       (bits & TIOCM_RI) != 0};
#else
    const QSerialPort::PinoutSignals bits = impl_->port.pinoutSignals();
    if (impl_->port.error() != QSerialPort::NoError) {
        reason = "The port cannot report its modem lines (" + impl_->port.errorString().toStdString() + ")";
        return false;
    }
    lines = ModemLines{bits.testFlag(QSerialPort::ClearToSendSignal), bits.testFlag(QSerialPort::DataSetReadySignal),
                       bits.testFlag(QSerialPort::DataCarrierDetectSignal), bits.testFlag(QSerialPort::RingIndicatorSignal)};
#endif
    return true;
}

bool SerialLink::Write(const uint8_t* data, size_t size, std::string& reason) {
    if (!IsOpen()) {
        reason = kNotOpenReason;
        return false;
    }
    if (size == 0) return true;
    VirtualController& controller = impl_->controller;
    if (impl_->virtualOpen) {
        // As a real port does, wait while the line's buffer is full.
        if (const double wait = controller.WaitBeforeWrite(size); wait > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(wait));
        controller.Write(data, size);
        return true;
    }
    const bool written = WriteToPort(data, size, reason);
    if (written) controller.Write(data, size);
    return written;
}

bool SerialLink::WriteToPort(const uint8_t* data, size_t size, std::string& reason) {
#ifdef Q_OS_UNIX
    // Straight to the descriptor: QSerialPort would keep the bytes until
    // its event loop runs, and playback does not run it.
    return WriteToDescriptor(static_cast<int>(impl_->port.handle()), data, size, reason);
#else
    QSerialPort& port = impl_->port;
    const bool handed =
        port.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) ==
        static_cast<qint64>(size);
    if (!handed || (port.bytesToWrite() > 0 &&
                    !port.waitForBytesWritten(static_cast<int>(kWriteTimeout.count())))) {
        reason = port.error() == QSerialPort::TimeoutError ? std::string(kWriteTimeoutReason)
                                                           : port.errorString().toStdString();
        port.clear(QSerialPort::Output);
        return false;
    }
    return true;
#endif
}

}  // namespace kestrova
