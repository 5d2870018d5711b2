// The link's side of the controller choice: which protocol its writes
// speak, what goes out when a port opens, and pulses off.

#include "controller_protocol.h"
#include "live_output.h"
#include "serial_link.h"
#include "servo_command.h"

namespace kestrova {

namespace {

// The frame period a single command (a live slider) glides over on an SSC-32.
constexpr double kSingleMoveMs = 20;

}  // namespace

void SerialLink::AdoptSettings(const ProjectSettings& settings) {
    setup_.protocol = settings.Protocol;
    setup_.deviceNumber = settings.DeviceNumber;
    setup_.synchByte = settings.SynchByte;
    Controller().SetSetup(setup_);
}

void SerialLink::SetControllerSetup(const ControllerSetup& setup) {
    const bool changed = !(setup == setup_);
    setup_ = setup;
    Controller().SetSetup(setup_);
    if (changed && IsOpen()) {
        std::string ignored;
        SendOpening(ignored);
    }
}

bool SerialLink::SendOpening(std::string& reason) {
    if (!KnownProtocol(setup_.protocol)) return true;
    std::vector<uint8_t> bytes;
    MakeEncoder(setup_, kSingleMoveMs)->Opening(bytes);
    if (bytes.empty() || Write(bytes.data(), bytes.size(), reason)) return true;
    // A board that did not get its limits is not driven at all.
    Close();
    return false;
}

bool SerialLink::WriteServo(int32_t synchByte, int servo, int32_t position, std::string& reason) {
    const bool known = servo >= 0 && servo < kServoCount;
    if (setup_.protocol == int32_t(Protocol::MiniSsc) || !known) {
        const auto command = EncodeServoCommand(synchByte, known ? setup_.channel[servo] : servo, position);
        if (!command) {
            reason = UnencodableReason(synchByte, servo, position);
            return false;
        }
        return Write(command->data(), command->size(), reason);
    }
    std::array<bool, kServoCount> only{};
    only[servo] = true;
    reason = SetupProblem(setup_, only);
    if (!reason.empty()) return false;
    if (position < 0 || position > 255) {
        reason = UnencodableReason(synchByte, servo, position);
        return false;
    }
    std::vector<uint8_t> bytes;
    const auto encoder = MakeEncoder(setup_, kSingleMoveMs);
    const ServoTarget target{servo, position};
    if (!encoder->Frame(std::span(&target, 1), bytes, reason)) return false;
    return Write(bytes.data(), bytes.size(), reason);
}

namespace {

std::vector<uint8_t> PulsesOffBytes(const ControllerSetup& setup) {
    std::vector<uint8_t> bytes;
    if (!KnownProtocol(setup.protocol)) return bytes;
    std::vector<int> servos;
    for (int s = 0; s < kServoCount; ++s) {
        if (setup.channel[s] >= 0 && setup.channel[s] < ChannelCount(setup.protocol)) servos.push_back(s);
    }
    MakeEncoder(setup, kSingleMoveMs)->PulsesOff(servos, bytes);
    return bytes;
}

}  // namespace

bool SerialLink::PulsesOff(std::string& reason) {
    const std::vector<uint8_t> bytes = PulsesOffBytes(setup_);
    if (bytes.empty()) return true;
    if (!Write(bytes.data(), bytes.size(), reason)) return false;
    Live().Motion().ForgetAll();  // a limp servo may be moved by hand
    return true;
}

bool SerialLink::HasPulsesOff() const { return !PulsesOffBytes(setup_).empty(); }

void ApplyProjectToLink(SerialLink& link, const Project& project) {
    link.ApplyCommSettings(project.Settings);
    link.SetControllerSetup(SetupOf(project));
}

}  // namespace kestrova
