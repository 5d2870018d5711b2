#include "live_output.h"

#include "serial_link.h"

namespace kestrova {

LiveOutput::LiveOutput(SerialLink& link) : link_(link) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1000 / kLiveFps);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

bool LiveOutput::Want(int32_t synchByte, int servo, int32_t position, const Caps& caps) {
    if (servo < 0 || servo >= kServoCount || !link_.IsOpen()) return false;
    synch_ = synchByte;
    motion_.SetCaps(servo, caps, kLiveFps);
    if (!motion_.At(servo).Capped() || !motion_.Known(servo)) {
        // Sent once, as it is: the servo's position is known from then on.
        targets_[servo].reset();
        std::string reason;
        return link_.WriteServo(synchByte, servo, motion_.Next(servo, position), reason);
    }
    targets_[servo] = position;
    if (!moving_) {
        Tick();  // the first step goes out now, the next ones a frame apart
        if (targets_[servo]) SetMoving(true);
    }
    return true;
}

void LiveOutput::Tick() {
    if (motion_.Playing() || !link_.IsOpen()) {
        Stop();
        return;
    }
    bool moving = false;
    for (int s = 0; s < kServoCount; ++s) {
        if (!targets_[s]) continue;
        const int32_t before = motion_.Position(s);
        const int32_t next = motion_.Next(s, *targets_[s]);
        std::string reason;
        if (next != before && !link_.WriteServo(synch_, s, next, reason)) {
            Stop();
            return;
        }
        if (motion_.RestsAt(s, *targets_[s])) {
            targets_[s].reset();
            motion_.Halt(s);  // the next move starts from rest, however much later it comes
        } else {
            moving = true;
        }
    }
    SetMoving(moving);
}

void LiveOutput::Stop() {
    for (auto& target : targets_) target.reset();
    motion_.HaltAll();
    SetMoving(false);
}

bool LiveOutput::PulsesOff() {
    if (!pulsesOff_ || !pulsesOff_()) return false;
    motion_.ForgetAll();  // a servo without pulses may be moved by hand
    return true;
}

void LiveOutput::SetMoving(bool moving) {
    if (moving == moving_) return;
    moving_ = moving;
    if (moving) {
        timer_.start();
    } else {
        timer_.stop();
    }
    if (movingChanged_) movingChanged_(moving);
}

}  // namespace kestrova
