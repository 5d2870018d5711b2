#include "limiter.h"

#include <algorithm>
#include <cmath>

namespace kestrova {

namespace {

// Fixed-point steps per frame for a rate per second (squared for `power` 2):
// 0 for no cap, else at least the smallest step and at most a whole range a
// frame, which no cap can usefully exceed.
int32_t PerFrame(double perSecond, int framesPerSecond, int power) {
    if (!(perSecond > 0) || framesPerSecond <= 0) return 0;
    const double fps = static_cast<double>(framesPerSecond);
    const double steps = std::round(perSecond * kva::kLimitOne / (power == 2 ? fps * fps : fps));
    constexpr double kMost = double(1 << 14) * kva::kLimitOne / 2;
    return static_cast<int32_t>(std::clamp(steps, 1.0, kMost));
}

}  // namespace

kva::LimitCaps FrameCaps(const Caps& caps, int framesPerSecond) {
    return kva::LimitCaps{PerFrame(caps.maxSpeed, framesPerSecond, 1), PerFrame(caps.maxAccel, framesPerSecond, 2)};
}

void Limiter::Place(int32_t position) {
    motion_ = kva::LimitMotion{position * kva::kLimitOne, 0};
    output_ = position;
    known_ = true;
}

int32_t Limiter::Next(int32_t target) {
    if (target < -32768 || target > 32767) {  // no servo position: nothing to limit, nothing known after
        known_ = false;
        return target;
    }
    if (!known_) {
        Place(target);
        return target;
    }
    output_ = kva::LimitStep(motion_, target, caps_);
    return output_;
}

bool Limiter::Settled(const kva::LimitMotion& motion, int32_t target) const {
    const int32_t speed = motion.velocity < 0 ? -motion.velocity : motion.velocity;
    return motion.position == target * kva::kLimitOne && (caps_.accel == 0 || speed <= caps_.accel);
}

int32_t Limiter::FramesToReach(int32_t target, int32_t limit) const {
    if (!known_) return 0;
    kva::LimitMotion motion = motion_;
    int32_t frames = 0;
    while (frames < limit && !Settled(motion, target)) {
        kva::LimitStep(motion, target, caps_);
        ++frames;
    }
    return frames;
}

}  // namespace kestrova
