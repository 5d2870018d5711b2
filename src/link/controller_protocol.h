#pragma once
// What goes over the line for each controller the program drives, and how
// a controller reads it back. An encoder turns a frame's positions into the
// protocol's commands, through each servo's channel and pulse range; a
// decoder reads a byte stream as the board would, for the controller model
// and the monitor.
//
// Mini-SSC:  FF <channel> <position>, positions as they are.
// Pololu:    84 <channel> <target low 7 bits> <target high 7 bits>, the
//            target in quarter microseconds; with a device number
//            AA <device> 04 <channel> <low> <high>. Speed (87) and
//            acceleration (89) limits go out once when the port opens.
// SSC-32:    one text line per frame, "#<channel> P<microseconds> ...
//            T<frame period in ms>" and CR, holding only the servos that
//            changed; the board glides to the new pulses over the period.

#include "core/controller_setup.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kestrova {

struct ServoTarget {
    int servo = 0;          // 0 to 15
    int32_t position = 0;   // 0 to 255
};

class ProtocolEncoder {
public:
    explicit ProtocolEncoder(const ControllerSetup& setup) : setup_(setup) {}
    virtual ~ProtocolEncoder() = default;

    // What goes out once, right after the port opened: the hardware speed
    // and acceleration limits where the board has them.
    virtual void Opening(std::vector<uint8_t>& out) const { (void)out; }
    // Appends the commands of one frame. False with the reason when a value
    // does not fit the protocol; nothing is appended then.
    virtual bool Frame(std::span<const ServoTarget> targets, std::vector<uint8_t>& out, std::string& reason) = 0;
    // Appends what makes the board stop sending pulses to these servos, so
    // they go limp rather than hold.
    virtual void PulsesOff(std::span<const int> servos, std::vector<uint8_t>& out) = 0;
    // The line's cost: the most bytes one servo's command takes, and the
    // bytes a frame adds however many servos it holds.
    virtual int CommandBytes(int servo) const = 0;
    virtual int FrameBytes() const { return 0; }
    // Forgets what was sent, so the next frame sends every servo again.
    virtual void Restart() {}

    const ControllerSetup& Setup() const { return setup_; }

protected:
    ControllerSetup setup_;
};

// The encoder of setup.protocol, which must be a known one; periodMs is the
// frame period (the SSC-32's travel time).
std::unique_ptr<ProtocolEncoder> MakeEncoder(const ControllerSetup& setup, double periodMs);

// What a controller made of the bytes.
struct ControllerEvent {
    enum class Kind { Position, Pulse, Speed, Acceleration };
    Kind kind = Kind::Position;
    int channel = 0;
    // Position: 0 to 255 (Mini-SSC). Pulse: quarter microseconds, 0 for
    // pulses off. Speed and Acceleration: the board's own units.
    int32_t value = 0;
    int32_t device = -1;     // the Pololu device number addressed; -1 none
    int32_t travelMs = -1;   // the SSC-32's group move time; -1 none
    uint64_t lastByte = 0;   // index of the command's last byte in the stream
};

class ProtocolDecoder {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void Event(const ControllerEvent& event) = 0;
        // count bytes, the last at stream index lastByte, were no part of a
        // command the board takes.
        virtual void NotUnderstood(const uint8_t* bytes, size_t count, uint64_t lastByte) = 0;
    };
    virtual ~ProtocolDecoder() = default;

    virtual void Feed(uint8_t byte, Listener& listener) = 0;
    void Feed(const uint8_t* data, size_t size, Listener& listener) {
        for (size_t i = 0; i < size; ++i) Feed(data[i], listener);
    }
    uint64_t BytesRead() const { return read_; }

protected:
    uint64_t read_ = 0;
};

// The decoder of a protocol (a known one); synch is the Mini-SSC's.
std::unique_ptr<ProtocolDecoder> MakeDecoder(int32_t protocol, uint8_t synch);

}  // namespace kestrova
