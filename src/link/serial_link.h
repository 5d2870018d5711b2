#pragma once
// The one serial port of the program and what the link needs of it: the
// port number and line settings, open with the operating system's reason
// for a failure, close, and writes that reach the operating system before
// they return. Output only: nothing is ever read from the controller.
// Port n maps to a device as port_table.h says.

#include "core/controller_setup.h"
#include "core/project.h"
#include "port_table.h"
#include "virtual_controller.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

class LiveOutput;

// Line settings strings for BaudRate 0 and 1.
inline constexpr const char* kLineSettings2400 = "2400,N,8,1";
inline constexpr const char* kLineSettings9600 = "9600,N,8,1";

// The device name that stands for no hardware: the port opens at once and
// its bytes go only to the link's controller model.
inline constexpr const char* kVirtualControllerDevice = "Virtual controller";

// The line settings of a BaudRate index; nothing for any index but 0 and 1.
std::optional<std::string> LineSettingsForBaudRate(int32_t baudRate);

class SerialLink {
public:
    // entries: the user's port table; none, the platform's devices only.
    explicit SerialLink(PortEntries entries = {});
    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // Applies COMPort and BaudRate: closes an open port, sets the port
    // number, sets "2400,N,8,1" for BaudRate 0 or "9600,N,8,1" for 1 (any
    // other index leaves the line settings), and opens the port again when
    // it was open. A step that fails is skipped silently. A COMPort that is
    // no port (outside 1 to 255), a SynchByte that does not fit a byte or a
    // BaudRate that is neither 0 nor 1 is remembered: until settings without
    // it are applied, Open fails with a reason that names the setting and
    // its value, and no other port is opened in its place. The controller
    // model listens for SynchByte from then on.
    void ApplyCommSettings(const ProjectSettings& settings);

    // The text of a message about a failed open or write: the port and its
    // device before the reason ("COM1 (/dev/ttyUSB0) - No such file or
    // directory"), or the reason alone when a setting is to blame.
    std::string FailureMessage(const std::string& reason) const;

    int32_t PortNumber() const;
    // Refused (false) while the port is open and for a number outside 1 to
    // 255; the number then stays as it was.
    bool SetPortNumber(int32_t n);
    // "COM" + the port number.
    std::string PortName() const;

    // Speed, parity (N, E, O, M, S), data bits (5 to 8) and stop bits (1,
    // 1.5, 2), as "9600,N,8,1". A malformed string is refused (false) and
    // the settings stay as they were; an open port takes new settings at
    // once. Starts as "9600,N,8,1" on port 1.
    std::string LineSettings() const;
    bool SetLineSettings(const std::string& settings);

    // The device the port opens: while open the one it opened, otherwise
    // the override when one is set, else the current mapping of the port
    // number.
    std::string DevicePath() const;
    // Opens device for this object from the next open on, whatever the port
    // number maps to (the port keeps its number and name); an empty device
    // returns to the mapping.
    void SetDeviceOverride(const std::string& device);

    bool IsOpen() const;
    // Opens the port (an open port stays open and succeeds). On failure
    // returns false with the operating system's reason ("No such file or
    // directory", "Permission denied", ...); shows nothing.
    bool Open(std::string& reason);
    void Close();

    // The modem status lines of the open port, as its adapter reports them
    // (true: asserted). Safe from any thread, as the one port is shared: a
    // contact trigger reads them while playback writes, and a second open
    // of the device would meet the port's exclusive lock. False with the
    // reason when the port is closed (or virtual) or the device has no such
    // lines (a pseudo-terminal).
    struct ModemLines {
        bool cts = false, dsr = false, dcd = false, ri = false;
    };
    bool ReadModemLines(ModemLines& lines, std::string& reason) const;

    // Hands the bytes to the operating system before returning, without
    // waiting for them to leave the line. On failure (port closed, device
    // gone) returns false with the reason.
    bool Write(const uint8_t* data, size_t size, std::string& reason);
    // The controller at the far end as the bytes written reach it, at the
    // line's rate: the only receiver on the virtual device, a copy of what
    // a real port carries otherwise.
    VirtualController& Controller();
    // True while the virtual device is open.
    bool IsVirtual() const;

    // Writes one servo command in the controller's protocol; a part that
    // does not fit the protocol (a Mini-SSC byte, a channel, a pulse range)
    // is refused and nothing is written.
    bool WriteServo(int32_t synchByte, int servo, int32_t position, std::string& reason);

    // The sliders' output through the servos' limiters, and where the
    // servos are as far as this link knows; playback shares it.
    LiveOutput& Live();
    // The controller the link speaks to: protocol, device number, channels,
    // pulse ranges and hardware limits. ApplyCommSettings takes the
    // protocol, device number and synch byte from the settings; this takes
    // everything. Opening a port sends the board's limits (Pololu); a
    // change while the port is open sends them at once.
    void SetControllerSetup(const ControllerSetup& setup);
    const ControllerSetup& ControllerSetupInForce() const { return setup_; }
    // Stops the pulses of every servo on a channel the protocol has, so
    // they go limp (nothing for the Mini-SSC, which has no such command).
    // Live().PulsesOff() (the stop's "pulses off") goes through it.
    bool PulsesOff(std::string& reason);
    // Whether the protocol has such a command.
    bool HasPulsesOff() const;

private:
    bool WriteToPort(const uint8_t* data, size_t size, std::string& reason);
    void AdoptSettings(const ProjectSettings& settings);
    bool SendOpening(std::string& reason);

    ControllerSetup setup_;

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// ApplyCommSettings with the project's settings, then the controller setup
// of its servos: what a window calls whenever either changed.
void ApplyProjectToLink(SerialLink& link, const Project& project);

}  // namespace kestrova
