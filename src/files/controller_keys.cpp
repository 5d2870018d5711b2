#include "controller_keys.h"

#include "core/controller_setup.h"
#include "core/numeric_text.h"

namespace kestrova {

namespace {

Message Repair(int32_t servoNumber, std::string_view key, int32_t value) {
    return Message{"Servo #" + std::to_string(servoNumber) + " had an invalid \"" + std::string(key) +
                       "\" value.  It will be set to " + std::to_string(value) + ".",
                   "Invalid " + std::string(key) + " Value", MessageIcon::Information, MessageButtons::Ok};
}

// A whole number (no decimal point) within low to high.
std::optional<int32_t> WholeWithin(std::string_view text, int32_t low, int32_t high) {
    if (text.find('.') != std::string_view::npos) return std::nullopt;
    const std::optional<int32_t> value = ToInt32(text);
    if (!value || *value < low || *value > high) return std::nullopt;
    return value;
}

void Line(std::string& out, std::string_view key, int32_t value) {
    out += key;
    out += std::to_string(value);
    out += "\r\n";
}

}  // namespace

bool ReadControllerServoKey(std::string_view key, std::string_view value, int32_t servoNumber, ServoRecord& servo,
                            std::optional<Message>& repair) {
    const bool isMin = key == "PulseMin";
    if (isMin || key == "PulseMax") {
        const int32_t fallback = isMin ? kDefaultPulseMin : kDefaultPulseMax;
        const std::optional<int32_t> pulse = WholeWithin(value, kLowestPulse, kHighestPulse);
        if (!pulse) repair = Repair(servoNumber, key, fallback);
        (isMin ? servo.PulseMin : servo.PulseMax) = pulse.value_or(fallback);
        return true;
    }
    if (key == "Channel") {
        const int32_t own = servoNumber - 1;
        const std::optional<int32_t> channel = WholeWithin(value, 0, kHighestChannel);
        if (!channel) repair = Repair(servoNumber, key, own);
        servo.Channel = channel && *channel != own ? *channel : -1;
        return true;
    }
    return false;
}

std::vector<Message> CheckControllerValues(ProjectSettings& settings, std::array<ServoRecord, kServoCount>& servos) {
    std::vector<Message> messages;
    if (!KnownProtocol(settings.Protocol)) {
        messages.push_back(Message{"The animation asks for controller protocol " + std::to_string(settings.Protocol) +
                                       ", which this version does not know.  Nothing will be sent to the controller "
                                       "until a controller is chosen in the settings.",
                                   "Unknown Controller", MessageIcon::Exclamation, MessageButtons::Ok});
    }
    if (settings.DeviceNumber < 0 || settings.DeviceNumber > kHighestDeviceNumber) {
        messages.push_back(Message{"The animation had an invalid \"DeviceNumber\" value.  It will be set to " +
                                       std::to_string(kDefaultDeviceNumber) + ".",
                                   "Invalid DeviceNumber Value", MessageIcon::Information, MessageButtons::Ok});
        settings.DeviceNumber = kDefaultDeviceNumber;
    }
    for (int s = 0; s < kServoCount; ++s) {
        ServoRecord& servo = servos[s];
        if (servo.PulseMin < servo.PulseMax) continue;
        messages.push_back(Message{"Servo #" + std::to_string(s + 1) + " had a pulse range from " +
                                       std::to_string(servo.PulseMin) + " to " + std::to_string(servo.PulseMax) +
                                       " \u00b5s, which runs backwards.  It will be set to " +
                                       std::to_string(kDefaultPulseMin) + " to " + std::to_string(kDefaultPulseMax) +
                                       " \u00b5s.",
                                   "Invalid Pulse Range", MessageIcon::Information, MessageButtons::Ok});
        servo.PulseMin = kDefaultPulseMin;
        servo.PulseMax = kDefaultPulseMax;
    }
    return messages;
}

void AppendControllerSettings(std::string& out, const ProjectSettings& settings) {
    if (settings.DeviceNumber != kDefaultDeviceNumber) Line(out, "Settings.DeviceNumber=", settings.DeviceNumber);
    if (settings.Protocol != 0) Line(out, "Settings.Protocol=", settings.Protocol);
}

void AppendControllerServoKeys(std::string& out, int32_t servoNumber, const ServoRecord& servo) {
    const std::string prefix = "Servo" + std::to_string(servoNumber);
    if (servo.PulseMin != kDefaultPulseMin) Line(out, prefix + ".PulseMin=", servo.PulseMin);
    if (servo.PulseMax != kDefaultPulseMax) Line(out, prefix + ".PulseMax=", servo.PulseMax);
    if (servo.Channel >= 0 && servo.Channel != servoNumber - 1) Line(out, prefix + ".Channel=", servo.Channel);
}

}  // namespace kestrova
