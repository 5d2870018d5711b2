#include "controller_setup.h"

#include <algorithm>

namespace kestrova {

namespace {

struct ProtocolInfo {
    const char* name;
    const char* word;
    int32_t channels;
};

constexpr ProtocolInfo kProtocols[kProtocolCount] = {
    {"Mini-SSC", "mini-ssc", 16},
    {"Pololu compact", "pololu", 24},
    {"Pololu with device number", "pololu-chain", 24},
    {"SSC-32", "ssc32", 32},
};

// num / den rounded to the nearest whole number, halves to the even one;
// den > 0.
int64_t RoundHalfEven(int64_t num, int64_t den) {
    int64_t q = num / den;
    int64_t r = num % den;
    if (r < 0) {
        r += den;
        --q;
    }
    if (2 * r > den || (2 * r == den && (q & 1) != 0)) ++q;
    return q;
}

}  // namespace

bool KnownProtocol(int32_t protocol) { return protocol >= 0 && protocol < kProtocolCount; }

std::string ProtocolName(int32_t protocol) {
    return KnownProtocol(protocol) ? kProtocols[protocol].name : "unknown";
}

std::string ProtocolWord(int32_t protocol) { return KnownProtocol(protocol) ? kProtocols[protocol].word : ""; }

std::optional<int32_t> ProtocolOfWord(std::string_view word) {
    for (int32_t p = 0; p < kProtocolCount; ++p)
        if (word == kProtocols[p].word) return p;
    return std::nullopt;
}

int32_t ChannelCount(int32_t protocol) { return KnownProtocol(protocol) ? kProtocols[protocol].channels : 0; }

int32_t ChannelOf(const ServoRecord& servo, int index) { return servo.Channel < 0 ? index : servo.Channel; }

int32_t PulseQuarterMicros(int32_t position, int32_t pulseMin, int32_t pulseMax) {
    const int64_t p = std::clamp<int64_t>(position, 0, kPulseRangePositions);
    const int64_t span = int64_t(pulseMax) - pulseMin;
    return static_cast<int32_t>(RoundHalfEven(4 * (int64_t(pulseMin) * kPulseRangePositions + span * p), kPulseRangePositions));
}

int32_t PulseMicros(int32_t position, int32_t pulseMin, int32_t pulseMax) {
    const int64_t p = std::clamp<int64_t>(position, 0, kPulseRangePositions);
    const int64_t span = int64_t(pulseMax) - pulseMin;
    return static_cast<int32_t>(RoundHalfEven(int64_t(pulseMin) * kPulseRangePositions + span * p, kPulseRangePositions));
}

int32_t PositionOfPulse(int32_t quarterMicros, int32_t pulseMin, int32_t pulseMax) {
    const int64_t span = 4 * (int64_t(pulseMax) - pulseMin);
    if (span <= 0) return 0;
    const int64_t p = RoundHalfEven((int64_t(quarterMicros) - 4 * int64_t(pulseMin)) * kPulseRangePositions, span);
    return static_cast<int32_t>(std::clamp<int64_t>(p, 0, kPulseRangePositions));
}

bool ValidPulse(int32_t micros) { return micros >= kLowestPulse && micros <= kHighestPulse; }

bool ValidPulseRange(int32_t pulseMin, int32_t pulseMax) {
    return ValidPulse(pulseMin) && ValidPulse(pulseMax) && pulseMin < pulseMax;
}

ControllerSetup::ControllerSetup() {
    for (int s = 0; s < kServoCount; ++s) channel[s] = s;
    pulseMin.fill(kDefaultPulseMin);
    pulseMax.fill(kDefaultPulseMax);
}

ControllerSetup SetupOf(const Project& project) {
    ControllerSetup setup;
    setup.protocol = project.Settings.Protocol;
    setup.deviceNumber = project.Settings.DeviceNumber;
    setup.synchByte = project.Settings.SynchByte;
    for (int s = 0; s < kServoCount; ++s) {
        const ServoRecord& servo = project.Servos[s];
        setup.channel[s] = ChannelOf(servo, s);
        setup.pulseMin[s] = servo.PulseMin;
        setup.pulseMax[s] = servo.PulseMax;
        // The board enforces the servo's caps itself too (Pololu).
        setup.maxSpeed[s] = servo.MaxSpeed;
        setup.maxAccel[s] = servo.MaxAccel;
    }
    return setup;
}

std::string SetupProblem(const ControllerSetup& setup, const std::array<bool, kServoCount>& sends) {
    if (!KnownProtocol(setup.protocol)) {
        return "The controller protocol setting (Protocol) is " + std::to_string(setup.protocol) +
               ", which is no protocol this program knows. Choose a controller in the settings; nothing was sent.";
    }
    const std::string name = ProtocolName(setup.protocol);
    if (static_cast<Protocol>(setup.protocol) == Protocol::PololuChain &&
        (setup.deviceNumber < 0 || setup.deviceNumber > kHighestDeviceNumber)) {
        return "The Pololu device number is " + std::to_string(setup.deviceNumber) + "; it must be 0 to " +
               std::to_string(kHighestDeviceNumber) + ". Nothing was sent.";
    }
    std::array<int, kHighestChannel + 1> owner;
    owner.fill(-1);
    for (int s = 0; s < kServoCount; ++s) {
        if (!sends[s]) continue;
        const std::string servo = "Servo " + std::to_string(s + 1);
        const int32_t channel = setup.channel[s];
        if (channel < 0 || channel >= ChannelCount(setup.protocol)) {
            return servo + " is on channel " + std::to_string(channel) + ", but the " + name + " has channels 0 to " +
                   std::to_string(ChannelCount(setup.protocol) - 1) + ". Nothing was sent.";
        }
        if (!ValidPulseRange(setup.pulseMin[s], setup.pulseMax[s])) {
            return servo + " has the pulse range " + std::to_string(setup.pulseMin[s]) + " to " +
                   std::to_string(setup.pulseMax[s]) + " \u00b5s; a range must lie within " +
                   std::to_string(kLowestPulse) + " to " + std::to_string(kHighestPulse) +
                   " \u00b5s and its minimum be below its maximum. Nothing was sent.";
        }
        if (owner[channel] >= 0) {
            return "Servo " + std::to_string(owner[channel] + 1) + " and " + servo + " are both on channel " +
                   std::to_string(channel) + ", so the controller could not tell them apart. Give each its own "
                   "channel in the servo settings; nothing was sent.";
        }
        owner[channel] = s;
    }
    return {};
}

}  // namespace kestrova
