#pragma once
// Where the 16 servos are as far as this program knows, and the limiter each
// of them moves through. One ServoMotion belongs to a link to a controller:
// playback, the live sliders and their buttons all step the same limiters,
// so whichever sends next starts from where the last one left the servo.

#include "limiter.h"
#include "project.h"

#include <array>
#include <cstdint>

namespace kestrova {

class ServoMotion {
public:
    // Takes each servo's caps at a frame rate (1 to 30); where the servos are
    // stays known.
    void SetCaps(const std::array<ServoRecord, kServoCount>& servos, int framesPerSecond);
    void SetCaps(int servo, const Caps& caps, int framesPerSecond);
    int FramesPerSecond() const { return fps_; }

    // The position to send this frame for the one wanted. The first
    // position of a servo whose position is unknown goes out as it is.
    int32_t Next(int servo, int32_t target) { return limiters_[servo].Next(target); }
    // What Next would return, leaving the servo where it is: a servo whose
    // command the line cannot carry this frame takes its step later.
    int32_t Peek(int servo, int32_t target) const {
        Limiter limiter = limiters_[servo];
        return limiter.Next(target);
    }

    bool Known(int servo) const { return limiters_[servo].Known(); }
    int32_t Position(int servo) const { return limiters_[servo].Position(); }
    bool RestsAt(int servo, int32_t target) const { return limiters_[servo].RestsAt(target); }
    const Limiter& At(int servo) const { return limiters_[servo]; }
    // Playback owns the servos while it plays; the live output stands back.
    void SetPlaying(bool playing) { playing_ = playing; }
    bool Playing() const { return playing_; }

    // A stop asked for from anywhere: playback ends at its next frame, before
    // sending it. Cleared when the next playback starts.
    void RequestStop() { stopRequested_ = true; }
    bool StopRequested() const { return stopRequested_; }
    void ClearStop() { stopRequested_ = false; }

    // Every servo stopped where it was last sent (its controller holds it there),
    // unless the motion is kept.
    void HaltAll();
    void Halt(int servo) { limiters_[servo].Halt(); }
    // While kept, a playback that ends leaves every servo moving as it was,
    // and the next one picks them up mid-move within their caps: one
    // playback handing over to another without a jolt (the show runner).
    void KeepMoving(bool keep) { keepMoving_ = keep; }
    bool KeepsMoving() const { return keepMoving_; }
    // Nothing is known of any servo any more (another port, pulses off).
    void ForgetAll();

    // Frames the slowest of the servos in `which` needs to come to rest at
    // its position of `targets`: the lead-in before a show starts there.
    int32_t LeadInFrames(const std::array<int32_t, kServoCount>& targets,
                         const std::array<bool, kServoCount>& which) const;

private:
    std::array<Limiter, kServoCount> limiters_{};
    void SetRate(int framesPerSecond);

    int fps_ = 30;
    bool playing_ = false;
    bool stopRequested_ = false;
    bool keepMoving_ = false;
};

}  // namespace kestrova
