#include "servo_motion.h"

#include "servo_caps.h"

#include <algorithm>

namespace kestrova {

void ServoMotion::SetRate(int framesPerSecond) {
    if (framesPerSecond == fps_) return;
    for (Limiter& limiter : limiters_) limiter.Rescale(fps_, framesPerSecond);
    fps_ = framesPerSecond;
}

void ServoMotion::SetCaps(int servo, const Caps& caps, int framesPerSecond) {
    SetRate(framesPerSecond);
    limiters_[servo].SetCaps(caps, framesPerSecond);
}

void ServoMotion::SetCaps(const std::array<ServoRecord, kServoCount>& servos, int framesPerSecond) {
    SetRate(framesPerSecond);
    for (int s = 0; s < kServoCount; ++s) limiters_[s].SetCaps(ServoCaps(servos[s]), framesPerSecond);
}

void ServoMotion::HaltAll() {
    if (keepMoving_) return;
    for (Limiter& limiter : limiters_) limiter.Halt();
}

void ServoMotion::ForgetAll() {
    for (Limiter& limiter : limiters_) limiter.Forget();
}

int32_t ServoMotion::LeadInFrames(const std::array<int32_t, kServoCount>& targets,
                                  const std::array<bool, kServoCount>& which) const {
    int32_t frames = 0;
    for (int s = 0; s < kServoCount; ++s) {
        if (which[s]) frames = std::max(frames, limiters_[s].FramesToReach(targets[s]));
    }
    return frames;
}

}  // namespace kestrova
