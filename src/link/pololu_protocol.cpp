#include "pololu_protocol.h"

#include <algorithm>
#include <cmath>

namespace kestrova {

namespace {

constexpr double kSpeedUnitMicrosPerSecond = 0.25 / 0.010;            // 25
constexpr double kAccelUnitMicrosPerSecond2 = 0.25 / 0.010 / 0.080;   // 312.5
constexpr int32_t kHighestSpeedUnits = 0x3FFF;
constexpr int32_t kHighestAccelUnits = 255;

// Microseconds of pulse per position across the range.
double MicrosPerPosition(int32_t pulseMin, int32_t pulseMax) {
    return double(pulseMax - pulseMin) / kPulseRangePositions;
}

int32_t Units(double cap, double microsPerPosition, double unit, int32_t highest) {
    if (!(cap > 0) || !(microsPerPosition > 0)) return 0;
    const double units = std::floor(cap * microsPerPosition / unit);
    return static_cast<int32_t>(std::clamp(units, 1.0, double(highest)));
}

bool IsCommand(uint8_t byte) { return byte == kPololuSetTarget || byte == kPololuSetSpeed || byte == kPololuSetAcceleration; }

}  // namespace

int32_t PololuSpeedUnits(double positionsPerSecond, int32_t pulseMin, int32_t pulseMax) {
    return Units(positionsPerSecond, MicrosPerPosition(pulseMin, pulseMax), kSpeedUnitMicrosPerSecond,
                 kHighestSpeedUnits);
}

int32_t PololuAccelerationUnits(double positionsPerSecond2, int32_t pulseMin, int32_t pulseMax) {
    return Units(positionsPerSecond2, MicrosPerPosition(pulseMin, pulseMax), kAccelUnitMicrosPerSecond2,
                 kHighestAccelUnits);
}

void PololuEncoder::Command(uint8_t command, int servo, int32_t value, std::vector<uint8_t>& out) const {
    if (withDevice_) {
        out.push_back(kPololuDeviceStart);
        out.push_back(static_cast<uint8_t>(setup_.deviceNumber & 0x7F));
        out.push_back(command & 0x7F);
    } else {
        out.push_back(command);
    }
    out.push_back(static_cast<uint8_t>(setup_.channel[servo] & 0x7F));
    out.push_back(static_cast<uint8_t>(value & 0x7F));
    out.push_back(static_cast<uint8_t>((value >> 7) & 0x7F));
}

void PololuEncoder::Opening(std::vector<uint8_t>& out) const {
    for (int s = 0; s < kServoCount; ++s) {
        const int32_t speed = PololuSpeedUnits(setup_.maxSpeed[s], setup_.pulseMin[s], setup_.pulseMax[s]);
        const int32_t accel = PololuAccelerationUnits(setup_.maxAccel[s], setup_.pulseMin[s], setup_.pulseMax[s]);
        if (speed > 0) Command(kPololuSetSpeed, s, speed, out);
        if (accel > 0) Command(kPololuSetAcceleration, s, accel, out);
    }
}

bool PololuEncoder::Frame(std::span<const ServoTarget> targets, std::vector<uint8_t>& out, std::string&) {
    for (const ServoTarget& t : targets) {
        Command(kPololuSetTarget, t.servo, PulseQuarterMicros(t.position, setup_.pulseMin[t.servo], setup_.pulseMax[t.servo]),
                out);
    }
    return true;
}

void PololuEncoder::PulsesOff(std::span<const int> servos, std::vector<uint8_t>& out) {
    for (int s : servos) Command(kPololuSetTarget, s, 0, out);
}

void PololuDecoder::Lose(Listener& listener) {
    if (count_ > 0) listener.NotUnderstood(bytes_.data(), count_, read_ - 2);
    count_ = 0;
}

void PololuDecoder::Feed(uint8_t byte, Listener& listener) {
    ++read_;
    if (byte & 0x80) {
        // A command byte always starts afresh; a command cut short is lost.
        Lose(listener);
        if (byte == kPololuDeviceStart || IsCommand(byte)) {
            bytes_[count_++] = byte;
        } else {
            listener.NotUnderstood(&byte, 1, read_ - 1);
        }
        return;
    }
    if (count_ == 0) {
        listener.NotUnderstood(&byte, 1, read_ - 1);
        return;
    }
    bytes_[count_++] = byte;
    const bool withDevice = bytes_[0] == kPololuDeviceStart;
    if (withDevice && count_ == 3 && !IsCommand(static_cast<uint8_t>(byte | 0x80))) {
        listener.NotUnderstood(bytes_.data(), count_, read_ - 1);
        count_ = 0;
        return;
    }
    if (count_ < (withDevice ? 6u : 4u)) return;
    const size_t at = withDevice ? 2 : 0;
    ControllerEvent event;
    switch (static_cast<uint8_t>(bytes_[at] | 0x80)) {
    case kPololuSetSpeed: event.kind = ControllerEvent::Kind::Speed; break;
    case kPololuSetAcceleration: event.kind = ControllerEvent::Kind::Acceleration; break;
    default: event.kind = ControllerEvent::Kind::Pulse; break;
    }
    event.device = withDevice ? bytes_[1] : -1;
    event.channel = bytes_[at + 1];
    event.value = bytes_[at + 2] | (int32_t(bytes_[at + 3]) << 7);
    event.lastByte = read_ - 1;
    count_ = 0;
    listener.Event(event);
}

}  // namespace kestrova
