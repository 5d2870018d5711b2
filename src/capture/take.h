#pragma once
// A take: the frames `first` to `last` played with their sound while the
// armed servos follow their controls. Playback starts `leadIn` frames early
// so the performer can get going, and runs `shift` frames past the range
// (the capture offset in frames): the performer's reaction comes late, so
// frame f keeps what was sampled at frame f + shift.
//
// The session is the playback engine's frame override: at each frame's time
// it polls the sources once, puts each armed servo's position into the
// frame, and records it. A device unplugged during the take stops it; the
// servos hold where they were and the samples so far are kept.

#include "capture/input_source.h"
#include "capture/mapping.h"
#include "playback/playback_engine.h"

#include <functional>
#include <vector>

namespace kestrova {

struct TakePlan {
    int32_t first = 1, last = 1;  // the range recorded
    int32_t leadIn = 0;           // frames played before it
    int32_t shift = 0;            // frames the data moves earlier
    std::array<bool, kServoCount> armed{};
    // The frames played, within the table's frames 1 to `tableEnd`.
    int32_t PlayFirst() const { return std::max(1, first - leadIn); }
    int32_t PlayLast(int32_t tableEnd) const { return std::min(int64_t(last) + shift, int64_t(tableEnd)); }
};

// The capture offset in whole frames at a rate.
int32_t ShiftFrames(int32_t offsetMs, int framesPerSecond);

// The samples of the armed servos, one per frame played within the range
// and its shift.
class TakeRecording {
public:
    explicit TakeRecording(const TakePlan& plan);
    void Record(int32_t frame, const std::array<int32_t, kServoCount>& positions);
    const TakePlan& Plan() const { return plan_; }
    // Frames of the range with a sample of their own (the count shown after a take).
    int32_t FramesCaptured() const;
    int32_t FramesInRange() const { return plan_.last - plan_.first + 1; }
    // The last frame the take fills: `last` when it ran to the end (frames
    // past the table's end holding the final sample), earlier when it was
    // stopped; first - 1 when it holds nothing.
    int32_t CoveredLast(bool complete) const;
    // Frames first..CoveredLast of a servo.
    std::vector<int32_t> Trace(int servo, bool complete) const;

private:
    TakePlan plan_;
    std::array<std::vector<int32_t>, kServoCount> samples_;  // from frame `first`
    int32_t recorded_ = 0;  // samples kept per armed servo
};

class CaptureSession : public FrameOverride {
public:
    // `slider(servo)`: the servo panel's slider position, for servos bound to it.
    // `stop`: asks the playback to end (an unplugged device).
    CaptureSession(const Project& project, const Mapping& mapping, std::vector<InputSource*> sources,
                   std::function<int32_t(int servo)> slider, const TakePlan& plan, std::function<void()> stop);

    std::array<bool, kServoCount> Driven() const override { return recording_.Plan().armed; }
    void Override(int32_t frame, std::array<int32_t, kLineServos>& positions, bool sent) override;

    const TakeRecording& Recording() const { return recording_; }
    // The device whose loss stopped the take; empty when none did.
    const std::string& Unplugged() const { return unplugged_; }
    // Frames played (sent or dropped) since the take began.
    int32_t FramesPlayed() const { return played_; }

private:
    InputSource* SourceOf(const ControlId& control) const;

    const Project& project_;
    Mapping mapping_;
    std::vector<InputSource*> sources_;
    std::function<int32_t(int)> slider_;
    std::function<void()> stop_;
    TakeRecording recording_;
    std::array<int32_t, kServoCount> held_{};
    std::array<bool, kServoCount> holding_{};
    std::string unplugged_;
    int32_t played_ = 0;
};

// The programs a take turns into: for each armed servo its program with the
// covered frames replaced by the fitted lines, or the reason it is refused.
struct TakeOutcome {
    std::array<std::optional<std::string>, kServoCount> programs;
    std::vector<std::string> refusals;
};
TakeOutcome FitTake(const Project& project, const TakeRecording& recording, bool complete, int32_t tolerance);

}  // namespace kestrova
