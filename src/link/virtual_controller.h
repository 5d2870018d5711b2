#pragma once
// The servo controller at the far end of the line, as the program can know
// it: every byte written to the port travels at the line's rate (start bit,
// data bits, parity, stop bits) and is read by a Mini-SSC decoder when it
// has arrived, as the project's controller reads it (Mini-SSC, Pololu or
// SSC-32, through each servo's channel and pulse range). With the "Virtual controller" device the bytes go nowhere
// else; with a real port it shows what the real controller receives.
//
// Safe to use from several threads: writers and the controller view may
// run on different ones.

#include "controller_protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace kestrova {

inline constexpr int kControllerServos = 16;

// What the controller has received, at one moment.
struct ControllerState {
    // The last position received per servo; -1 until one arrived.
    std::array<int, kControllerServos> position{};
    // The pulse the servo gets, in quarter microseconds: 0 when its pulses
    // were switched off, -1 until a command arrived.
    std::array<int32_t, kControllerServos> pulse{};
    uint64_t commands = 0;       // commands received
    uint64_t notUnderstood = 0;  // bytes that were no part of a command
    // Changes whenever something arrived; a view repaints only then.
    uint64_t generation = 0;
    uint8_t synchByte = 255;
    int32_t protocol = 0;

    ControllerState() {
        position.fill(-1);
        pulse.fill(-1);
    }
};

class VirtualController {
public:
    // Seconds on a steady clock; tests pass their own.
    using Clock = std::function<double()>;
    // What the operating system would keep for a serial port before a
    // write has to wait.
    static constexpr size_t kLineBufferBytes = 4096;

    VirtualController();
    explicit VirtualController(Clock clock);

    void SetClock(Clock clock);
    // The line: bits per second and bits per byte on the wire (10 for
    // "9600,N,8,1").
    void SetLine(int32_t bitsPerSecond, int bitsPerByte);
    // The synch byte the controller listens for; a command under way is
    // dropped.
    void SetSynchByte(uint8_t synch);
    // The protocol, device number, channels and pulse ranges it reads the
    // bytes with (an unknown protocol reads as Mini-SSC); a command under
    // way is dropped.
    void SetSetup(const ControllerSetup& setup);

    // Bytes leave the sender now and arrive one after the other at the
    // line's rate, after those still on their way.
    void Write(const uint8_t* data, size_t size);
    // How long (seconds) a writer must wait before size more bytes fit the
    // line buffer; 0 when they fit now.
    double WaitBeforeWrite(size_t size);
    // Seconds until the last byte written has arrived.
    double Backlog();

    // What has arrived by now.
    ControllerState State();
    // Lets every byte still on its way arrive at once (tests).
    ControllerState Settle();

private:
    struct Pending {
        double arrival;
        uint8_t byte;
    };
    class Receiver;
    void ArriveUntil(double now);

    mutable std::mutex mutex_;
    Clock clock_;
    double byteSeconds_ = 10.0 / 9600.0;
    double lineFreeAt_ = 0.0;
    std::deque<Pending> pending_;
    void NewDecoder();

    ControllerSetup setup_;
    std::array<int, kHighestChannel + 1> servoOfChannel_{};
    std::unique_ptr<ProtocolDecoder> decoder_;
    ControllerState state_;
};

}  // namespace kestrova
