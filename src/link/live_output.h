#pragma once
// The live output of the servo sliders and their Home, Min and Max buttons:
// each position wanted goes through the servo's limiter. An uncapped servo,
// or one whose position is not known yet, gets its command at once, as it
// always did; a capped one is stepped toward the newest position wanted, one
// command a frame at kLiveFps, until it rests there.

#include "core/limiter.h"
#include "core/servo_motion.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <functional>
#include <optional>

namespace kestrova {

class SerialLink;

inline constexpr int kLiveFps = 30;

class LiveOutput : public QObject {
public:
    explicit LiveOutput(SerialLink& link);

    // Where the servos are; playback steps the same limiters.
    ServoMotion& Motion() { return motion_; }

    // Moves `servo` toward `position` within `caps`. False when nothing could
    // be sent (the port is closed, a write failed).
    bool Want(int32_t synchByte, int servo, int32_t position, const Caps& caps);

    // Whether a capped servo is still on its way.
    bool Moving() const { return moving_; }
    // Nothing more goes out; every servo stays where it was last sent.
    void Stop();
    // Called whenever Moving() changes (the window's Stop button).
    void SetMovingChanged(std::function<void(bool)> changed) { movingChanged_ = std::move(changed); }

    // Switches the servos' pulses off, where the controller's protocol can
    // (its encoder sets this); true when it did. Without one, nothing is sent.
    void SetPulsesOff(std::function<bool()> pulsesOff) { pulsesOff_ = std::move(pulsesOff); }
    bool PulsesOff();

    // One frame of the stepping (the timer's; tests call it directly).
    void Tick();

private:
    void SetMoving(bool moving);

    SerialLink& link_;
    ServoMotion motion_;
    QTimer timer_;
    int32_t synch_ = 0;
    bool moving_ = false;
    std::array<std::optional<int32_t>, kServoCount> targets_{};
    std::function<void(bool)> movingChanged_;
    std::function<bool()> pulsesOff_;
};

}  // namespace kestrova
