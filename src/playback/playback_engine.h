#pragma once
// Plays a range of frames of the frame table: for each frame one servo
// command per servo that takes part, the frame's WAV cue, the play marker
// kept in view, and a wait until the frame is due. It runs on the GUI
// thread and pumps the event queue at fixed points, so that pause, stop,
// step and loop, whose handlers only set request flags, work while it plays.
//
// Frames are paced against the schedule of the pass (frame k due at the
// pass's start plus k periods): each frame's display work and event pumping
// come first, then a wait on the clock until the frame is due, then its
// commands. Display work therefore neither delays a frame nor adds up to
// drift; after a pause or a step the schedule starts again from the frame
// that resumes, while a loop's next pass goes on with the schedule, its
// first frame a period after the last. A frame found more than a period late is dropped (the next
// frame's positions overtake it), so a stall never sends a burst and the
// servos stay with the sound.
//
// What plays is a copy taken when Play is pressed: the frames of the range,
// the servo flags, the cues and the settings. Nothing done in a window during
// playback or a pause, a build included, changes the bytes sent.

#include "core/controller_setup.h"
#include "core/messages.h"
#include "core/playback_clock.h"
#include "core/project.h"
#include "core/servo_motion.h"
#include "playback/line_model.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

class ProtocolEncoder;

// What the engine needs of the serial link.
class PlaybackOutput {
public:
    virtual ~PlaybackOutput() = default;
    virtual int32_t PortNumber() const = 0;
    virtual bool IsOpen() const = 0;
    virtual bool Open(std::string& reason) = 0;
    virtual void Close() = 0;
    // Writes a frame's servo commands in one piece; false with the
    // operating system's reason when they could not be.
    virtual bool WriteCommands(const std::vector<uint8_t>& bytes, std::string& reason) = 0;
    // The controller the commands are for, told before the port opens, so
    // that the opening sends the board's own limits.
    virtual void UseController(const ControllerSetup& setup) { (void)setup; }
    // Makes the controller stop the pulses of every servo it drives (the
    // stop's last step); a protocol without such a command sends nothing.
    virtual bool PulsesOff(std::string& reason) {
        (void)reason;
        return true;
    }
    // The text of a message about a failed open or write.
    virtual std::string FailureMessage(const std::string& reason) const {
        return "COM" + std::to_string(PortNumber()) + " - " + reason;
    }
};

// One sound at a time, played asynchronously. Starts and stops take effect
// `delayMs` after the call, in the order they were asked for.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Starts the file, replacing a sound that plays; a file that cannot be
    // played is skipped.
    virtual void Play(const std::string& path, double delayMs) = 0;
    virtual void Stop(double delayMs) = 0;
    // Stops at once, dropping whatever still waits.
    virtual void StopAll() { Stop(0); }
    // Drops starts and stops still waiting; what plays goes on.
    virtual void DropWaiting() {}
    // How long before a start the output must be told to start it on time
    // (the audio it holds queued ahead).
    virtual double LeadMs() const { return 0; }
    // Called when playback starts with every cue's file, so that a cue
    // starts without loading delay. Returns the message about the files
    // that cannot be played, once, or nothing when all can.
    virtual std::optional<Message> Prepare(const std::vector<std::string>& paths) {
        (void)paths;
        return std::nullopt;
    }
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
    // A stop the user asked for that the next Pump would deliver, where the
    // view can tell without pumping (the command line's Ctrl+C): checked
    // right before a frame goes out, so that it does not.
    virtual bool StopPressed() { return false; }
    // Tells the user something about playback (a port that would not open,
    // a failed write, sounds or positions left out); playback goes on or
    // ends as the engine decides, whatever the answer.
    virtual void Tell(const Message& message) = 0;
};

// A view without widgets (the command line, benchmarks): every control
// change is ignored, the rate is fixed, loop is off and the messages are
// kept in `told`. Override what matters.
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
    void Tell(const Message& message) override { told.push_back(message); }

    Messages told;

private:
    int fps_;
};

// Drives some servos live during a playback (a capture take): asked once
// for every frame of the range at the frame's time, a frame dropped for being
// late included, before the frame's commands are chosen. The positions it
// gives go out through the same line model and output as the program's.
class FrameOverride {
public:
    virtual ~FrameOverride() = default;
    // The servos it drives; they are sent whether or not their program takes part.
    virtual std::array<bool, kServoCount> Driven() const = 0;
    // `sent`: false for a dropped frame, whose commands are not written.
    virtual void Override(int32_t frame, std::array<int32_t, kLineServos>& positions, bool sent) = 0;
};

// The process's priority class during playback: 0 normal, 1 high, 2 very high.
using PrioritySetter = void (*)(int32_t level);

class PlaybackEngine {
public:
    // Without a clock the engine uses the steady clock.
    PlaybackEngine(Project& project, PlaybackOutput& output, SoundOutput& sound, PlaybackView& view,
                   PlaybackClock* clock = nullptr);
    ~PlaybackEngine();

    // Plays frames start to end, repeating while loop is pressed, until the
    // range ends without loop or a stop is requested. Returns when playback
    // is over. False when it could not start (the port would not open) or a
    // write failed; the view has then been told why.
    bool PlayAnimation(int32_t startFrame, int32_t endFrame);

    // Enables or disables the controls that must not be used while playing.
    void SetPlayControls(bool playing);

    // Request flags, set by the toolbar's handlers (and the command line's
    // interrupt); all false when nothing plays.
    bool bPause = false;
    bool bStop = false;
    bool bStep = false;

    bool Playing() const { return playing_; }
    // A stop from the toolbar, the command line or anywhere else (Escape).
    bool Stopping() const { return bStop || motion_->StopRequested(); }

    // Replaces the priority setter (tests).
    void SetPrioritySetter(PrioritySetter setter) { setPriority_ = setter; }

    // Called once per frame just after the frame's commands were written,
    // with the frame number (the benchmark and the command line's progress).
    void SetFrameSentHook(void (*hook)(void* context, int32_t frame), void* context) {
        frameHook_ = hook;
        frameHookContext_ = context;
    }

    // Live positions for the next playbacks; nullptr for none.
    void SetFrameOverride(FrameOverride* frameOverride) { override_ = frameOverride; }

    // Every cue starts (and stops) this many milliseconds later than its
    // frame, earlier when negative: the sound offset of the user's settings.
    void SetSoundOffset(double ms) { soundOffsetMs_ = ms; }
    // The line's rate in baud; 0 (the default) takes the project's setting.
    void SetLineBaud(int32_t baud) { lineBaud_ = baud; }
    // The rate the next playback assumes.
    int32_t LineBaud() const;

    // Every position goes out through these limiters, with the servos' caps
    // at the playback's rate. By default the engine has its own; a window
    // gives it the one of its link, which the sliders share.
    void SetMotion(ServoMotion* motion) { motion_ = motion ? motion : &ownMotion_; }
    ServoMotion& Motion() { return *motion_; }
    // Frames of the last lead-in: the servos travelling at their caps to
    // where the show starts before its first frame and its sound.
    int32_t LeadInFrames() const { return leadIn_; }

    // Frames of the last playback that were dropped for being late.
    int32_t DroppedFrames() const { return dropped_; }

    // The frame period in milliseconds for a rate in frames per second.
    static double FramePeriod(int framesPerSecond) { return (1.0 / framesPerSecond) * 1000.0; }

private:
    // What a playback plays, copied when it starts.
    struct Show {
        int32_t first = 1;              // the frame held in frames[0]
        std::vector<FrameRecord> frames;  // frames of the range within 1 to N
        std::array<bool, kServoCount> sends{};
        WavCueList cues;
        ControllerSetup setup;
        int32_t priority = 0;
        bool Holds(int32_t f) const { return f >= first && f - first < int32_t(frames.size()); }
        const FrameRecord& At(int32_t f) const { return frames[size_t(f - first)]; }
    };
    enum class PassEnd { Completed, Stopped, WriteFailed };
    // Stopping(), or a stop the view knows is on its way.
    bool StopBeforeSending() {
        if (view_.StopPressed()) bStop = true;
        return Stopping();
    }
    PassEnd PlayPass(int32_t startFrame, int32_t endFrame, double period);
    using Positions = std::array<int32_t, kLineServos>;
    bool SendFrame(const Positions& positions, const std::vector<int>& servos, std::string& reason);
    // The frame's positions for the servos that take part, each its
    // limiter's next step; positions the controller cannot take pass
    // unlimited, unsent. The limiters stay where they are until Advance.
    Positions LimitedPositions(const Positions& wanted) const;
    // Takes the step of LimitedPositions for the servos `sent`, those at rest
    // on their position and those whose step the controller could not take. A servo the line had no room for keeps its
    // step for a later frame, so each command that reaches a servo is its
    // limiter's next step after the command before.
    void Advance(const Positions& wanted, const Positions& limited, const std::vector<int>& sent);
    // LimitedPositions, the line's choice, the write and Advance.
    bool SendLimited(const Positions& wanted, int64_t periods, bool last);
    // The servos that are elsewhere travel to `targets` at their caps, one
    // frame a period: before a pass starts (to its first frame, the last
    // step then being that frame), and after the last pass so that every
    // servo ends where the last frame sent wanted it. `due` is when the
    // first step is due (none: now); on return, when the frame after the
    // travel is, unchanged when nothing had to travel. Stopped when a stop came.
    PassEnd TravelTo(const Positions& targets, double period, bool leadIn, std::optional<double>& due);
    void NoteUnsendable(int32_t frame, const Positions& positions);
    // Hands the sound of frames up to the one whose start (with the offset)
    // falls before `horizonMs` to the sound output; `nowMs` and `dueOf`
    // place them in time.
    template <typename DueOf>
    void DispatchSound(int32_t lastFrame, double horizonMs, double nowMs, DueOf dueOf);
    // How long a schedule starting at frame `first` waits so that a cue
    // soon after is handed to the sound output its lead ahead.
    double SoundLeadIn(int32_t first, int32_t endFrame, double period) const;
    // Pause and step: cues handed over for frames from `next` on go back.
    void HoldSound(int32_t next);
    static constexpr double kMaxSoundLeadInMs = 1000;
    void EndSteps(bool portWasOpen);
    void ReportUnsendable();

    Project& project_;
    PlaybackOutput& output_;
    SoundOutput& sound_;
    PlaybackView& view_;
    std::unique_ptr<PlaybackClock> ownClock_;
    PlaybackClock& clock_;
    PrioritySetter setPriority_;
    void (*frameHook_)(void*, int32_t) = nullptr;
    void* frameHookContext_ = nullptr;
    FrameOverride* override_ = nullptr;

    Show show_;
    ServoMotion ownMotion_;
    ServoMotion* motion_ = &ownMotion_;
    int32_t leadIn_ = 0;
    std::unique_ptr<LineModel> line_;
    std::unique_ptr<ProtocolEncoder> encoder_;
    std::vector<uint8_t> frameBytes_;  // the commands of the frame being sent
    double soundOffsetMs_ = 0;
    int32_t lineBaud_ = 0;
    int32_t dropped_ = 0;
    int32_t soundNext_ = 0;  // the first frame whose sound is not handed over yet
    bool playing_ = false;
    int32_t wavStopFrame_ = 0;
    int32_t passFirst_ = 0;      // the first frame of the pass that plays
    int32_t passStopFrame_ = 0;  // the stop frame when that pass began
    std::optional<double> passEnd_;       // a period after the last frame of the pass that ended
    std::optional<Positions> lastWanted_;  // the last frame sent, before its limiter
    std::optional<double> carriedStart_;  // when the next pass's first frame is due, when looping
    std::string writeFailure_;
    // The first position that did not fit a byte, reported once per playback.
    int unsendableServo_ = -1;
    int32_t unsendableFrame_ = 0;
    int32_t unsendablePosition_ = 0;
};

}  // namespace kestrova
