#include "servo_motion.h"

#include "servo_caps.h"

#include <algorithm>

namespace kestrova {

void ServoMotion::SetCaps(const std::array<ServoRecord, kServoCount>& servos, int framesPerSecond) {
    fps_ = framesPerSecond;
    for (int s = 0; s < kServoCount; ++s) limiters_[s].SetCaps(ServoCaps(servos[s]), framesPerSecond);
}

void ServoMotion::HaltAll() {
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
