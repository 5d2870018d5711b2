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

}  // namespace kestrova
