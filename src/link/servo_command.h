#pragma once
// The servo command: three bytes, synch byte, servo number, position, with
// no header, length, checksum or terminator. Both controller modes
// ("Mini-SSC" and "OOPIC-R") take exactly the same bytes.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrova {

using ServoCommand = std::array<uint8_t, 3>;

// The command for one servo position, or nothing when a part does not fit:
// a synch byte or position outside 0 to 255, a servo outside 0 to 15. A
// value that does not fit a byte is never sent wrapped or truncated.
std::optional<ServoCommand> EncodeServoCommand(int32_t synchByte, int servo, int32_t position);
// Why EncodeServoCommand refused these values, as a write failure's reason.
std::string UnencodableReason(int32_t synchByte, int servo, int32_t position);

}  // namespace kestrova
