#include "servo_command.h"

#include "core/project.h"

namespace kestrova {

namespace {
bool FitsByte(int32_t value) { return value >= 0 && value <= 255; }
}  // namespace

std::optional<ServoCommand> EncodeServoCommand(int32_t synchByte, int servo, int32_t position) {
    if (!FitsByte(synchByte) || !FitsByte(position)) return std::nullopt;
    if (servo < 0 || servo >= kServoCount) return std::nullopt;
    return ServoCommand{static_cast<uint8_t>(synchByte), static_cast<uint8_t>(servo),
                        static_cast<uint8_t>(position)};
}

std::string UnencodableReason(int32_t synchByte, int servo, int32_t position) {
    return "Servo " + std::to_string(servo + 1) + ", position " + std::to_string(position) + ", synch byte " +
           std::to_string(synchByte) + ": the servo must be 1 to 16, the position and the synch byte 0 to 255";
}

}  // namespace kestrova
