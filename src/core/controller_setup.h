#pragma once
// Which controller the project drives and how each servo reaches it: the
// protocol, the Pololu device number, and per servo the channel and the
// pulse range that positions 0 to 254 span.

#include "project.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

enum class Protocol : int32_t { MiniSsc = 0, Pololu = 1, PololuChain = 2, Ssc32 = 3 };
inline constexpr int32_t kProtocolCount = 4;

inline constexpr int32_t kDefaultDeviceNumber = 12;
inline constexpr int32_t kHighestDeviceNumber = 127;
inline constexpr int32_t kDefaultPulseMin = 1000;  // microseconds
inline constexpr int32_t kDefaultPulseMax = 2000;
inline constexpr int32_t kLowestPulse = 400;
inline constexpr int32_t kHighestPulse = 2600;
// The highest channel any protocol takes (the SSC-32's 32 channels).
inline constexpr int32_t kHighestChannel = 31;
// The position that stands for the top of the pulse range.
inline constexpr int32_t kPulseRangePositions = 254;

// "Mini-SSC", "Pololu compact", "Pololu with device number", "SSC-32";
// "unknown" for any other value.
std::string ProtocolName(int32_t protocol);
// The command line's words: "mini-ssc", "pololu", "pololu-chain", "ssc32".
std::string ProtocolWord(int32_t protocol);
std::optional<int32_t> ProtocolOfWord(std::string_view word);
bool KnownProtocol(int32_t protocol);
// Channels the protocol's boards have: 16 (Mini-SSC), 24 (Maestro), 32 (SSC-32).
int32_t ChannelCount(int32_t protocol);

// The channel a servo (0 to 15) drives: its own setting or, by default,
// its number less one.
int32_t ChannelOf(const ServoRecord& servo, int index);

// The pulse of a position within a range, PulseMin + (PulseMax - PulseMin)
// * p / 254, in quarter microseconds or in microseconds, rounded half to
// even. Positions beyond 254 stay at PulseMax, below 0 at PulseMin: a pulse
// never leaves the servo's range.
int32_t PulseQuarterMicros(int32_t position, int32_t pulseMin, int32_t pulseMax);
int32_t PulseMicros(int32_t position, int32_t pulseMin, int32_t pulseMax);
// The position whose pulse lies nearest (quarter microseconds in), 0 to 254.
int32_t PositionOfPulse(int32_t quarterMicros, int32_t pulseMin, int32_t pulseMax);

// A pulse range a file or a dialog may hold.
bool ValidPulse(int32_t micros);
bool ValidPulseRange(int32_t pulseMin, int32_t pulseMax);

// Everything an encoder needs, copied from the project when output starts.
struct ControllerSetup {
    int32_t protocol = 0;
    int32_t deviceNumber = kDefaultDeviceNumber;
    int32_t synchByte = 0;
    std::array<int32_t, kServoCount> channel{};
    std::array<int32_t, kServoCount> pulseMin{};
    std::array<int32_t, kServoCount> pulseMax{};
    // Hardware limits the board enforces itself (Pololu): positions per
    // second and per second squared; 0 for none.
    std::array<double, kServoCount> maxSpeed{};
    std::array<double, kServoCount> maxAccel{};

    ControllerSetup();
    bool operator==(const ControllerSetup&) const = default;
};

ControllerSetup SetupOf(const Project& project);

// Why the setup cannot drive the servos marked in `sends`, as a sentence
// for the user; empty when it can. An unknown protocol, a device number or
// a channel the protocol cannot address, a pulse range outside 400 to 2600
// microseconds or upside down, or two servos on one channel.
std::string SetupProblem(const ControllerSetup& setup, const std::array<bool, kServoCount>& sends);

}  // namespace kestrova
