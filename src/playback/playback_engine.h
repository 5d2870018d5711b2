#pragma once
// Plays a range of frames of the frame table: for each frame one servo
// command per servo that takes part, the frame's WAV cue, the play marker
// kept in view, and a busy wait until the frame is due. It runs on the GUI
// thread and pumps the event queue at fixed points, so that pause, stop,
// step and loop, whose handlers only set request flags, work while it plays.
//
// Frames are paced against the schedule of the pass (frame k due at the
// pass's start plus k periods): each frame's display work and event pumping
// come first, then a busy wait until the frame is due, then its commands.
// Display work therefore neither delays a frame nor adds up to drift; after
// a pause or a step the schedule starts again from the frame that resumes.

#include "core/project.h"
#include "core/timing_pc.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

// What the engine needs of the serial link.
class PlaybackOutput {
public:
    virtual ~PlaybackOutput() = default;
    virtual int32_t PortNumber() const = 0;
    virtual bool IsOpen() const = 0;
    virtual bool Open(std::string& reason) = 0;
    virtual void Close() = 0;
    // Writes one three-byte servo command; false with the operating
    // system's reason when the bytes could not be written.
    virtual bool WriteServo(int32_t synchByte, int servo, int32_t position, std::string& reason) = 0;
    // The text of a message about a failed open or write.
    virtual std::string FailureMessage(const std::string& reason) const {
        return "COM" + std::to_string(PortNumber()) + " - " + reason;
    }
};

// One sound at a time, played asynchronously.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Starts the file, replacing a sound that plays; a file that cannot be
    // played is skipped silently.
    virtual void Play(const std::string& path) = 0;
    virtual void Stop() = 0;
    // Called when playback starts with every cue's file, so that a cue
    // starts without loading delay.
    virtual void Prepare(const std::vector<std::string>& paths) { (void)paths; }
};

// The execution window as the engine sees it (the command line and the
// tests have their own).
class PlaybackView {
public:
    virtual ~PlaybackView() = default;
    // The frame rate slider's value, 1 to 30.
    virtual int FramesPerSecond() = 0;
    // The rate slider, the graph's viewport and picture, the start and stop
    // markers and the marker strip: disabled while playing.
    virtual void SetGraphControlsEnabled(bool enabled) = 0;
    // The controls that must not change playback's inputs.
    virtual void SetServoCheckEnabled(int servo, bool enabled) = 0;
    virtual void SetCheckAllButtonsEnabled(bool enabled) = 0;
    virtual void SetRateSliderEnabled(bool enabled) = 0;
    virtual void SetMarkersEnabled(bool enabled) = 0;
    // The play marker: placed at the left edge over the graph's full
    // height and shown; moved to a frame; hidden.
    virtual void ShowPlayMarker() = 0;
    virtual void MovePlayMarker(int32_t frame) = 0;
    virtual void HidePlayMarker() = 0;
    // Keeps the play marker at `frame` in view by scrolling the graph.
    virtual void KeepFrameInView(int32_t frame) = 0;
    virtual void SetPositionCaption(const std::string& caption) = 0;
    // After a step: "play" and "step" enabled, "pause" disabled.
    virtual void ShowSteppedButtons() = 0;
    virtual bool LoopPressed() = 0;
    // Lets the window process its pending input and paint events.
    virtual void Pump() = 0;
};

// A view without widgets (the command line, benchmarks): every control
// change is ignored, the rate is fixed and loop is off. Override what matters.
class QuietPlaybackView : public PlaybackView {
public:
    explicit QuietPlaybackView(int framesPerSecond = 15) : fps_(framesPerSecond) {}
    int FramesPerSecond() override { return fps_; }
    void SetGraphControlsEnabled(bool) override {}
    void SetServoCheckEnabled(int, bool) override {}
    void SetCheckAllButtonsEnabled(bool) override {}
    void SetRateSliderEnabled(bool) override {}
    void SetMarkersEnabled(bool) override {}
    void ShowPlayMarker() override {}
    void MovePlayMarker(int32_t) override {}
    void HidePlayMarker() override {}
    void KeepFrameInView(int32_t) override {}
    void SetPositionCaption(const std::string&) override {}
    void ShowSteppedButtons() override {}
    bool LoopPressed() override { return false; }
    void Pump() override {}

private:
    int fps_;
};

// The process's priority class during playback: 0 normal, 1 high, 2 very high.
using PrioritySetter = void (*)(int32_t level);

class PlaybackEngine {
public:
    PlaybackEngine(Project& project, PlaybackOutput& output, SoundOutput& sound, PlaybackView& view);

    // Plays frames start to end, repeating while loop is pressed, until the
    // range ends without loop or a stop is requested. Returns when playback
    // is over. False when it could not start (the port would not open) or a
    // write failed; the user has then been told why.
    bool PlayAnimation(int32_t startFrame, int32_t endFrame);

    // Enables or disables the controls that must not be used while playing.
    void SetPlayControls(bool playing);

    // Request flags, set by the toolbar's handlers (and the command line's
    // interrupt); all false when nothing plays.
    bool bPause = false;
    bool bStop = false;
    bool bStep = false;

    bool Playing() const { return playing_; }

    // Replaces the priority setter (tests).
    void SetPrioritySetter(PrioritySetter setter) { setPriority_ = setter; }

    // Called once per frame just after the frame's commands were written,
    // with the frame number (the benchmark and the command line's progress).
    void SetFrameSentHook(void (*hook)(void* context, int32_t frame), void* context) {
        frameHook_ = hook;
        frameHookContext_ = context;
    }

    // The frame period in milliseconds for a rate in frames per second.
    static double FramePeriod(int framesPerSecond) { return (1.0 / framesPerSecond) * 1000.0; }

private:
    enum class PassEnd { Completed, Stopped, WriteFailed };
    PassEnd PlayPass(int32_t startFrame, int32_t endFrame, double period);
    bool SendFrame(int32_t frame, std::string& reason);
    void EndSteps(bool portWasOpen);
    void ReportUnsendable();

    Project& project_;
    PlaybackOutput& output_;
    SoundOutput& sound_;
    PlaybackView& view_;
    PrioritySetter setPriority_;
    void (*frameHook_)(void*, int32_t) = nullptr;
    void* frameHookContext_ = nullptr;

    CTimingPC timer_;
    bool playing_ = false;
    int32_t wavStopFrame_ = 0;
    std::string writeFailure_;
    // The first position that did not fit a byte, reported once per playback.
    int unsendableServo_ = -1;
    int32_t unsendableFrame_ = 0;
    int32_t unsendablePosition_ = 0;
};

}  // namespace kestrova
