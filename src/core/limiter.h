#pragma once
// Keeps a servo's output within its speed and acceleration caps: one
// Limiter per servo per output, fed the position wanted each frame. The
// arithmetic is limit_step.h's, which the board's player shares.

#include "limit_step.h"

#include <cstdint>

namespace kestrova {

// A servo's caps in positions per second and positions per second squared;
// 0 means no cap.
struct Caps {
    double maxSpeed = 0, maxAccel = 0;
    bool Any() const { return maxSpeed > 0 || maxAccel > 0; }
};

// The caps as whole steps per frame at a frame rate, in the limiter's fixed
// point: rounded, never below the smallest step when set. The export writes
// these numbers for the board, so both sides limit with the same ones.
kva::LimitCaps FrameCaps(const Caps& caps, int framesPerSecond);

class Limiter {
public:
    Limiter() = default;
    Limiter(const Caps& caps, int framesPerSecond) : perSecond_(caps), caps_(FrameCaps(caps, framesPerSecond)) {}
    explicit Limiter(const kva::LimitCaps& caps) : caps_(caps) {}

    // New caps take effect from rest where the servo was last sent: a speed
    // reached under other caps (or none) may be more than the new ones can
    // brake for before the target, and the servo would pass it.
    void SetCaps(const Caps& caps, int framesPerSecond) {
        if (caps.maxSpeed != perSecond_.maxSpeed || caps.maxAccel != perSecond_.maxAccel) Halt();
        perSecond_ = caps;
        caps_ = FrameCaps(caps, framesPerSecond);
    }
    const kva::LimitCaps& FrameCapsInUse() const { return caps_; }
    bool Capped() const { return caps_.speed != 0 || caps_.accel != 0; }

    // Whether the servo's position is known: once a position went out or was
    // placed. Until then the first target goes out as it is, once.
    bool Known() const { return known_; }
    // The servo is known to stand still at `position`.
    void Place(int32_t position);
    // The servo was made to stop where it is (a playback ended or stopped):
    // the next move starts from rest there.
    void Halt() {
        if (known_) Place(output_);
    }
    // The frame rate changed from `from` to `to` frames per second: the
    // step the servo is taking becomes the same speed at the new rate.
    void Rescale(int from, int to) {
        if (from > 0 && to > 0) motion_.velocity = static_cast<int32_t>(int64_t(motion_.velocity) * from / to);
    }
    // Nothing is known of the servo any more (a port closed, pulses off).
    void Forget() { known_ = false; }

    // The position to put out this frame for the `target` wanted.
    int32_t Next(int32_t target);

    // The last position put out, and whether the servo still moves.
    int32_t Position() const { return output_; }
    bool AtRest() const { return motion_.velocity == 0; }
    // Whether the servo is at `target` and stays there: it is there and
    // slow enough to stop within a frame.
    bool RestsAt(int32_t target) const { return known_ && Settled(motion_, target); }

    // Frames until the servo, heading for `target` from where it is, rests
    // there (0 when it does or nothing is known); at most `limit`.
    int32_t FramesToReach(int32_t target, int32_t limit = 1 << 20) const;

private:
    bool Settled(const kva::LimitMotion& motion, int32_t target) const;

    Caps perSecond_;
    kva::LimitCaps caps_{0, 0};
    kva::LimitMotion motion_{0, 0};
    int32_t output_ = 0;
    bool known_ = false;
};

}  // namespace kestrova
