#include "cap_warnings.h"

#include "command_map.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kestrova {

std::vector<CapWarning> CapWarnings(const Project& built, size_t limit) {
    std::vector<CapWarning> warnings;
    const int32_t last = built.Frames.UpperBound();
    const double fps = kCapCheckFps;
    for (int s = 0; s < kServoCount && warnings.size() < limit; ++s) {
        const ServoRecord& servo = built.Servos[s];
        if (!servo.Enabled || (servo.MaxSpeed <= 0 && servo.MaxAccel <= 0)) continue;
        const auto at = [&](int32_t f) { return built.Frames[std::clamp(f, 1, std::max(last, 1))].Record()[s]; };
        const ServoMap map = MapServo(servo, built.Programs[s]);
        for (const CommandSpan& command : map.commands) {
            if (command.kind != CommandKind::Mov || command.lastFrame < command.firstFrame) continue;
            if (command.lastFrame > last || warnings.size() >= limit) break;
            int32_t speed = 0, accel = 0;  // the largest step and change of step, per frame
            for (int32_t f = command.firstFrame; f <= command.lastFrame + 1; ++f) {
                const int32_t step = at(f) - at(f - 1), before = at(f - 1) - at(f - 2);
                if (f <= command.lastFrame) speed = std::max(speed, std::abs(step));
                accel = std::max(accel, std::abs(step - before));
            }
            const double perSecond = speed * fps, perSecond2 = accel * fps * fps;
            std::string message;
            if (servo.MaxSpeed > 0 && perSecond > servo.MaxSpeed) {
                message = "this move asks for " + std::to_string(std::lround(perSecond)) +
                          " positions per second; the servo's cap is " + std::to_string(servo.MaxSpeed) +
                          ", so it will move slower than written";
            } else if (servo.MaxAccel > 0 && perSecond2 > servo.MaxAccel) {
                message = "this move asks for an acceleration of " + std::to_string(std::lround(perSecond2)) +
                          " positions per second squared; the servo's cap is " + std::to_string(servo.MaxAccel) +
                          ", so it will ramp up and down slower than written";
            } else {
                continue;
            }
            warnings.push_back(CapWarning{s, command.word, message + " (at " + std::to_string(kCapCheckFps) +
                                                               " frames per second)"});
        }
    }
    return warnings;
}

}  // namespace kestrova
