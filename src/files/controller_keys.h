#pragma once
// The project file's controller keys: "Settings.Protocol=",
// "Settings.DeviceNumber=", and per servo "PulseMin=", "PulseMax=" and
// "Channel=". Each is written only when it differs from its default, so a
// project that never chose a controller reads and writes as it always did.

#include "core/messages.h"
#include "core/project.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

// A servo line's key (between the "." and the "=") and value; true when the
// key was one of these. A value that is no whole number in range is
// replaced by the default, with a repair message.
bool ReadControllerServoKey(std::string_view key, std::string_view value, int32_t servoNumber, ServoRecord& servo,
                            std::optional<Message>& repair);

// After the whole file was read: a pulse range whose minimum is not below
// its maximum goes back to 1000 to 2000 us, a device number outside 0 to 127
// back to 12, each with a message. A protocol this program does not know is
// reported and kept: nothing is guessed, and playback refuses it.
std::vector<Message> CheckControllerValues(ProjectSettings& settings, std::array<ServoRecord, kServoCount>& servos);

// The lines the writer adds: the settings after "Settings.COMPort=", the
// servo keys after "ServoN.Enabled=".
void AppendControllerSettings(std::string& out, const ProjectSettings& settings);
void AppendControllerServoKeys(std::string& out, int32_t servoNumber, const ServoRecord& servo);

}  // namespace kestrova
