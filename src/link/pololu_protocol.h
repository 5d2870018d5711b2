#pragma once
// The Pololu Maestro's serial commands, compact (command byte first) and
// with a device number (AA, device, command with its top bit cleared). A
// command byte has its top bit set, every data byte has it clear; 14-bit
// values go low 7 bits first.

#include "controller_protocol.h"

#include <array>

namespace kestrova {

inline constexpr uint8_t kPololuSetTarget = 0x84;
inline constexpr uint8_t kPololuSetSpeed = 0x87;
inline constexpr uint8_t kPololuSetAcceleration = 0x89;
inline constexpr uint8_t kPololuDeviceStart = 0xAA;

// A speed cap (positions per second over the servo's pulse range) in the
// board's units of 0.25 us per 10 ms, and an acceleration cap (positions per
// second squared) in 0.25 us per 10 ms per 80 ms. Rounded down, so the board
// never allows more than the cap, but never 0, which the board reads as no
// limit at all; 0 when there is no cap.
int32_t PololuSpeedUnits(double positionsPerSecond, int32_t pulseMin, int32_t pulseMax);
int32_t PololuAccelerationUnits(double positionsPerSecond2, int32_t pulseMin, int32_t pulseMax);

class PololuEncoder : public ProtocolEncoder {
public:
    PololuEncoder(const ControllerSetup& setup, bool withDevice) : ProtocolEncoder(setup), withDevice_(withDevice) {}

    void Opening(std::vector<uint8_t>& out) const override;
    bool Frame(std::span<const ServoTarget> targets, std::vector<uint8_t>& out, std::string& reason) override;
    void PulsesOff(std::span<const int> servos, std::vector<uint8_t>& out) override;
    int CommandBytes(int) const override { return withDevice_ ? 6 : 4; }

private:
    void Command(uint8_t command, int servo, int32_t value, std::vector<uint8_t>& out) const;
    bool withDevice_;
};

// Reads both forms, as a Maestro does; the device number addressed comes
// with each event (the listener decides whether it was meant).
class PololuDecoder : public ProtocolDecoder {
public:
    void Feed(uint8_t byte, Listener& listener) override;

private:
    void Lose(Listener& listener);
    std::array<uint8_t, 6> bytes_{};
    size_t count_ = 0;
};

}  // namespace kestrova
