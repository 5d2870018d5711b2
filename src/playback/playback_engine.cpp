#include "playback_engine.h"

#include "core/messages.h"
#include "core/timing_pc.h"
#include "process_priority.h"

#include <algorithm>

namespace kestrova {

PlaybackEngine::PlaybackEngine(Project& project, PlaybackOutput& output, SoundOutput& sound, PlaybackView& view)
    : project_(project), output_(output), sound_(sound), view_(view), setPriority_(&SetProcessPriority) {}

void PlaybackEngine::SetPlayControls(bool playing) {
    const bool autoDisable = project_.Settings.AutoDisable != 0;
    for (int s = 0; s < kServoCount; ++s) {
        view_.SetServoCheckEnabled(s, ServoTakesPart(project_.Servos[s], autoDisable) && !playing);
    }
    view_.SetCheckAllButtonsEnabled(!playing);
    view_.SetRateSliderEnabled(!playing);
    view_.SetMarkersEnabled(!playing);
}

bool PlaybackEngine::PlayAnimation(int32_t startFrame, int32_t endFrame) {
    if (playing_) return false;  // one playback at a time
    playing_ = true;
    wavStopFrame_ = 0;
    unsendableServo_ = -1;

    view_.SetGraphControlsEnabled(false);
    setPriority_(project_.Settings.SystemPriority);

    const bool portWasOpen = output_.IsOpen();
    std::string reason;
    if (!portWasOpen && !output_.Open(reason)) {
        ShowMessage(Message{output_.FailureMessage(reason), "Error",
                            MessageIcon::Critical, MessageButtons::Ok});
        EndSteps(portWasOpen);
        return false;
    }

    std::vector<std::string> cuePaths;
    for (int32_t k = 1; k <= UpperBound(project_.WavCues); ++k) cuePaths.push_back(project_.WavCues[k].Path);
    sound_.Prepare(cuePaths);

    view_.ShowPlayMarker();
    const double period = FramePeriod(std::clamp(view_.FramesPerSecond(), 1, 30));
    SetPlayControls(true);

    PassEnd end = PassEnd::Completed;
    for (;;) {
        end = PlayPass(startFrame, endFrame, period);
        if (end != PassEnd::Completed) break;
        sound_.Stop();
        if (!view_.LoopPressed()) break;
    }
    const bool writeFailed = end == PassEnd::WriteFailed;
    // The reason of a failed write is kept for the message after the end steps.
    EndSteps(portWasOpen);
    if (writeFailed) {
        ShowMessage(Message{output_.FailureMessage(writeFailure_), "Error",
                            MessageIcon::Critical, MessageButtons::Ok});
    }
    ReportUnsendable();
    return !writeFailed;
}

PlaybackEngine::PassEnd PlaybackEngine::PlayPass(int32_t startFrame, int32_t endFrame, double period) {
    if (startFrame > endFrame) {
        // A pass that plays nothing still lets loop and stop be released.
        view_.Pump();
        return bStop ? PassEnd::Stopped : PassEnd::Completed;
    }
    const FrameTable& frames = project_.Frames;
    CTimingPC& timer = timer_;
    bool scheduled = false;  // the schedule starts at the first frame played
    int64_t due = 0;         // periods since the schedule started

    // Busy wait, without pumping, until `due` periods have passed since the
    // schedule started. Without a high-resolution counter the elapsed time
    // stays 0: no wait at all.
    auto waitUntilDue = [&] {
        if (!timer.Available()) return;
        const double dueAt = static_cast<double>(due) * period;
        while (timer.Elapsed() < dueAt) {
        }
    };

    for (int64_t f64 = startFrame; f64 <= endFrame; ++f64) {
        const auto f = static_cast<int32_t>(f64);
        if (bPause) {
            while (bPause && !bStop) view_.Pump();
            scheduled = false;
        }
        if (bStop) return PassEnd::Stopped;

        view_.MovePlayMarker(f);
        view_.KeepFrameInView(f);
        view_.SetPositionCaption("  Playing Frame: " + std::to_string(f));
        view_.Pump();
        // Pump may have run a stop or pause; they take effect at the next
        // frame's checks, as the buttons' handlers only set flags.

        // The display work above comes before the wait, so the frame's
        // commands leave exactly on the schedule however long it took.
        if (!scheduled) {
            timer.Reset();
            due = 0;
            scheduled = true;
        } else {
            waitUntilDue();
        }
        // The table is read afresh each frame: the main window stays usable
        // during a pause, and a new build may have made it shorter.
        if (f >= 1 && f <= frames.UpperBound()) {
            if (!SendFrame(f, writeFailure_)) return PassEnd::WriteFailed;
            if (f == wavStopFrame_) sound_.Stop();
            const int32_t cue = frames[f][kWavCueSlot];
            if (cue >= 1 && cue <= UpperBound(project_.WavCues)) {
                sound_.Play(project_.WavCues[cue].Path);
                wavStopFrame_ = project_.WavCues[cue].End;
            }
            if (frameHook_) frameHook_(frameHookContext_, f);
        }

        if (bStep) {
            bPause = true;
            bStep = false;
            view_.ShowSteppedButtons();
            while (bPause && !bStop) view_.Pump();
            if (bStop) return PassEnd::Stopped;
            scheduled = false;  // the frame that resumes starts a new schedule
            continue;
        }
        ++due;
    }
    // The last frame holds for its period too before the pass ends.
    if (scheduled) waitUntilDue();
    return PassEnd::Completed;
}

bool PlaybackEngine::SendFrame(int32_t frame, std::string& reason) {
    const auto record = project_.Frames[frame];
    const int32_t synch = project_.Settings.SynchByte;
    for (int s = 0; s < kServoCount; ++s) {
        const ServoRecord& servo = project_.Servos[s];
        if (!servo.Used || !servo.Enabled) continue;
        const int32_t position = record[s];
        if (position < 0 || position > 255) {
            // Never sent wrapped or truncated; the first one is reported.
            if (unsendableServo_ < 0) {
                unsendableServo_ = s;
                unsendableFrame_ = frame;
                unsendablePosition_ = position;
            }
            continue;
        }
        if (!output_.WriteServo(synch, s, position, reason)) return false;
    }
    return true;
}

void PlaybackEngine::EndSteps(bool portWasOpen) {
    sound_.Stop();
    view_.HidePlayMarker();
    if (!portWasOpen) output_.Close();
    SetPlayControls(false);
    setPriority_(0);
    bPause = bStop = bStep = false;
    view_.SetGraphControlsEnabled(true);
    playing_ = false;
}

void PlaybackEngine::ReportUnsendable() {
    if (unsendableServo_ < 0) return;
    const ServoRecord& servo = project_.Servos[unsendableServo_];
    ShowMessage(Message{"Servo " + std::to_string(unsendableServo_ + 1) + " (\"" + servo.Name + "\") was to move to " +
                            std::to_string(unsendablePosition_) + " at frame " + std::to_string(unsendableFrame_) +
                            ", which the controller cannot take (0 to 255). Positions outside that range were not sent.",
                        "Position Not Sent", MessageIcon::Exclamation, MessageButtons::Ok});
    unsendableServo_ = -1;
}

}  // namespace kestrova
