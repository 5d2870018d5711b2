#include "playback_engine.h"

#include "core/messages.h"
#include "link/controller_protocol.h"
#include "link/servo_command.h"
#include "line_load.h"
#include "process_priority.h"

#include <algorithm>
#include <cstdio>

namespace kestrova {

PlaybackEngine::PlaybackEngine(Project& project, PlaybackOutput& output, SoundOutput& sound, PlaybackView& view,
                               PlaybackClock* clock)
    : project_(project), output_(output), sound_(sound), view_(view),
      ownClock_(clock ? nullptr : std::make_unique<SteadyPlaybackClock>()), clock_(clock ? *clock : *ownClock_),
      setPriority_(&SetProcessPriority) {}

PlaybackEngine::~PlaybackEngine() = default;

int32_t PlaybackEngine::LineBaud() const {
    return lineBaud_ > 0 ? lineBaud_ : BaudOfSetting(project_.Settings.BaudRate);
}

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
    dropped_ = 0;

    // The show as it stands now; later edits and builds do not reach it.
    show_ = Show{};
    const int32_t first = std::max(startFrame, 1);
    const int32_t last = std::min(endFrame, project_.Frames.UpperBound());
    show_.first = first;
    if (first <= last) {
        show_.frames.reserve(size_t(last - first + 1));
        for (int32_t f = first; f <= last; ++f) show_.frames.push_back(project_.Frames[f].Record());
    }
    const std::array<bool, kServoCount> driven = override_ ? override_->Driven() : std::array<bool, kServoCount>{};
    for (int s = 0; s < kServoCount; ++s)
        show_.sends[s] = (project_.Servos[s].Used && project_.Servos[s].Enabled) || driven[s];
    show_.cues = project_.WavCues;
    show_.setup = SetupOf(project_);
    show_.priority = project_.Settings.SystemPriority;

    view_.SetGraphControlsEnabled(false);
    setPriority_(show_.priority);
    SetPromptWakeups(true);

    const bool portWasOpen = output_.IsOpen();
    // Channels or pulse ranges the board would misread: nothing goes out.
    if (const std::string problem = SetupProblem(show_.setup, show_.sends); !problem.empty()) {
        view_.Tell(Message{problem, "Controller Setup", MessageIcon::Critical, MessageButtons::Ok});
        EndSteps(portWasOpen);
        return false;
    }
    output_.UseController(show_.setup);
    std::string reason;
    if (!portWasOpen && !output_.Open(reason)) {
        view_.Tell(Message{output_.FailureMessage(reason), "Error", MessageIcon::Critical, MessageButtons::Ok});
        EndSteps(portWasOpen);
        return false;
    }

    std::vector<std::string> cuePaths;
    for (int32_t k = 1; k <= UpperBound(show_.cues); ++k) cuePaths.push_back(show_.cues[k].Path);
    if (const std::optional<Message> problem = sound_.Prepare(cuePaths)) view_.Tell(*problem);

    view_.ShowPlayMarker();
    const int fps = std::clamp(view_.FramesPerSecond(), 1, 30);
    const double period = FramePeriod(fps);
    motion_->SetCaps(project_.Servos, fps);
    motion_->SetPlaying(true);
    motion_->ClearStop();
    leadIn_ = 0;
    encoder_ = MakeEncoder(show_.setup, period);
    line_ = std::make_unique<LineModel>(show_.sends, period, LineBaud(), LineCostOf(show_.setup, period));
    SetPlayControls(true);

    PassEnd end = PassEnd::Completed;
    carriedStart_.reset();
    lastWanted_.reset();
    for (;;) {
        end = PlayPass(startFrame, endFrame, period);
        if (end != PassEnd::Completed) break;
        if (!view_.LoopPressed()) break;
        // The first frame of the next pass is due a period after the last
        // one, as any other frame would be.
        carriedStart_ = passEnd_;
    }
    if (end == PassEnd::Completed) {
        // The last frame holds for its period; then servos still on their
        // way at their caps go on to where the show ended, and the last of
        // those steps holds for its period too before playback ends.
        std::optional<double> due = passEnd_;
        if (lastWanted_) end = TravelTo(*lastWanted_, period, false, due);
        if (end == PassEnd::Completed && due) clock_.WaitUntil(*due);
    }
    const bool writeFailed = end == PassEnd::WriteFailed;
    // The reason of a failed write is kept for the message after the end steps.
    EndSteps(portWasOpen);
    if (writeFailed) {
        view_.Tell(
            Message{output_.FailureMessage(writeFailure_), "Error", MessageIcon::Critical, MessageButtons::Ok});
    }
    ReportUnsendable();
    return !writeFailed;
}

template <typename DueOf>
void PlaybackEngine::DispatchSound(int32_t lastFrame, double horizonMs, double nowMs, DueOf dueOf) {
    while (soundNext_ <= lastFrame && dueOf(soundNext_) + soundOffsetMs_ < horizonMs) {
        const int32_t g = soundNext_++;
        if (!show_.Holds(g)) continue;
        const double delay = std::max(0.0, dueOf(g) + soundOffsetMs_ - nowMs);
        if (g == wavStopFrame_) sound_.Stop(delay);
        const int32_t cue = show_.At(g)[kWavCueSlot];
        if (cue >= 1 && cue <= UpperBound(show_.cues)) {
            sound_.Play(show_.cues[cue].Path, delay);
            wavStopFrame_ = show_.cues[cue].End;
        }
    }
}

PlaybackEngine::PassEnd PlaybackEngine::PlayPass(int32_t startFrame, int32_t endFrame, double period) {
    if (startFrame > endFrame) {
        // A pass that plays nothing still lets loop and stop be released.
        view_.Pump();
        return Stopping() ? PassEnd::Stopped : PassEnd::Completed;
    }
    passEnd_.reset();
    bool scheduled = false;  // the schedule starts at the first frame played
    double start = 0;        // when the schedule started
    int64_t due = 0;         // periods since the schedule started
    int64_t lastSent = -1;   // the period of the last frame written, -1 none since the schedule started
    soundNext_ = startFrame;
    passFirst_ = startFrame;
    passStopFrame_ = wavStopFrame_;
    int32_t current = startFrame;
    // A lead-in before the pass ends when its first frame is due, and the
    // pass's schedule starts there.
    if (show_.Holds(startFrame)) {
        Positions first{};
        std::copy_n(show_.At(startFrame).begin(), kLineServos, first.begin());
        if (const PassEnd end = TravelTo(first, period, true, carriedStart_); end != PassEnd::Completed) return end;
    }
    auto dueOf = [&](int32_t g) { return start + double(due + (g - current)) * period; };

    for (int64_t f64 = startFrame; f64 <= endFrame; ++f64) {
        const auto f = static_cast<int32_t>(f64);
        current = f;
        if (bPause) {
            HoldSound(f);
            while (bPause && !Stopping()) view_.Pump();
            scheduled = false;
            carriedStart_.reset();
        }
        if (Stopping()) return PassEnd::Stopped;

        view_.MovePlayMarker(f);
        view_.KeepFrameInView(f);
        view_.SetPositionCaption("  Playing Frame: " + std::to_string(f));
        view_.Pump();
        // Pump may have run a stop or pause; they take effect at the next
        // frame's checks, as the buttons' handlers only set flags.

        // The display work above comes before the wait, so the frame's
        // commands leave exactly on the schedule however long it took.
        bool drop = false;
        if (!scheduled) {
            const double leadIn = SoundLeadIn(f, endFrame, period);
            start = clock_.NowMs() + leadIn;
            // A loop's next pass goes on with the schedule of the pass
            // before, unless a cue at its start needs longer to be heard.
            if (carriedStart_) start = leadIn > 0 ? std::max(*carriedStart_, start) : *carriedStart_;
            carriedStart_.reset();
            due = 0;
            lastSent = -1;
            scheduled = true;
        } else if (f != endFrame && clock_.NowMs() >= start + double(due + 1) * period) {
            // A period late or more: the next frame overtakes it. The last
            // frame is never dropped, so the servos end where the show ends.
            drop = true;
        }
        // Sound goes to the output before the frame's wait, as far ahead as
        // the output needs to start it on its sample.
        DispatchSound(endFrame, start + double(due + 1) * period + sound_.LeadMs(), clock_.NowMs(), dueOf);
        if (!drop) clock_.WaitUntil(start + double(due) * period);
        // A stop that came while the frame's display work ran or the frame
        // waited sends nothing more.
        if (StopBeforeSending()) return PassEnd::Stopped;
        Positions positions{};
        if (show_.Holds(f)) {
            const FrameRecord& record = show_.At(f);
            std::copy_n(record.begin(), kLineServos, positions.begin());
            if (override_) override_->Override(f, positions, !drop);
        }
        if (drop) {
            ++dropped_;
        } else if (show_.Holds(f)) {
            NoteUnsendable(f, positions);
            lastWanted_ = positions;
            const int64_t periods = lastSent < 0 ? 0 : due - lastSent;
            lastSent = due;
            if (!SendLimited(positions, periods, f == endFrame)) return PassEnd::WriteFailed;
            if (frameHook_) frameHook_(frameHookContext_, f);
        }

        if (bStep) {
            bPause = true;
            bStep = false;
            view_.ShowSteppedButtons();
            HoldSound(f + 1);
            while (bPause && !Stopping()) view_.Pump();
            if (Stopping()) return PassEnd::Stopped;
            scheduled = false;  // the frame that resumes starts a new schedule
            continue;
        }
        ++due;
    }
    // The pass ends a period after its last frame; the caller waits for
    // that moment, or plays the next pass's first frame at it.
    if (scheduled) passEnd_ = start + double(due) * period;
    current = endFrame + 1;
    const double now = clock_.NowMs();
    DispatchSound(endFrame, 1e300, now, dueOf);
    sound_.Stop(std::max(0.0, start + double(due) * period + soundOffsetMs_ - now));
    return PassEnd::Completed;
}

double PlaybackEngine::SoundLeadIn(int32_t first, int32_t endFrame, double period) const {
    const double lead = sound_.LeadMs();
    if (lead <= 0) return 0;
    // The first cue that starts sooner after the schedule's start than the
    // output's lead: the schedule waits until it can be heard on time.
    for (int32_t g = first; g <= endFrame && double(g - first) * period + soundOffsetMs_ < lead; ++g) {
        if (!show_.Holds(g)) continue;
        const int32_t cue = show_.At(g)[kWavCueSlot];
        if (cue >= 1 && cue <= UpperBound(show_.cues)) {
            return std::clamp(lead - double(g - first) * period - soundOffsetMs_, 0.0, kMaxSoundLeadInMs);
        }
    }
    return 0;
}

void PlaybackEngine::HoldSound(int32_t next) {
    // Cues handed over ahead for frames not played yet are taken back; they
    // go out again when the schedule restarts. What plays goes on.
    sound_.DropWaiting();
    if (next >= soundNext_) return;
    soundNext_ = next;
    // The stop frame is again that of the last cue before `next`.
    wavStopFrame_ = passStopFrame_;
    for (int32_t g = next - 1; g >= passFirst_ && show_.Holds(g); --g) {
        const int32_t cue = show_.At(g)[kWavCueSlot];
        if (cue >= 1 && cue <= UpperBound(show_.cues)) {
            wavStopFrame_ = show_.cues[cue].End;
            break;
        }
    }
}

void PlaybackEngine::NoteUnsendable(int32_t frame, const Positions& record) {
    if (unsendableServo_ >= 0) return;
    for (int s = 0; s < kServoCount; ++s) {
        if (show_.sends[s] && (record[s] < 0 || record[s] > 255)) {
            // Never sent wrapped or truncated; the first one is reported.
            unsendableServo_ = s;
            unsendableFrame_ = frame;
            unsendablePosition_ = record[s];
            return;
        }
    }
}

PlaybackEngine::Positions PlaybackEngine::LimitedPositions(const Positions& wanted) const {
    Positions positions{};
    for (int s = 0; s < kLineServos; ++s) {
        const bool sendable = wanted[s] >= 0 && wanted[s] <= 255;
        positions[s] = show_.sends[s] && sendable ? motion_->Peek(s, wanted[s]) : wanted[s];
    }
    return positions;
}

void PlaybackEngine::Advance(const Positions& wanted, const Positions& limited, const std::vector<int>& sent) {
    std::array<bool, kLineServos> chosen{};
    for (int s : sent) chosen[s] = true;
    for (int s = 0; s < kLineServos; ++s) {
        if (!show_.sends[s] || wanted[s] < 0 || wanted[s] > 255) continue;
        // A step the controller could not take is never waited for.
        const bool unsendable = limited[s] < 0 || limited[s] > 255;
        if (chosen[s] || unsendable || motion_->RestsAt(s, wanted[s])) motion_->Next(s, wanted[s]);
    }
}

bool PlaybackEngine::SendLimited(const Positions& wanted, int64_t periods, bool last) {
    const Positions positions = LimitedPositions(wanted);
    // A servo on its way takes its turn even when its step rounds to the
    // position last sent: only a step that goes out moves its limiter on.
    std::array<bool, kLineServos> moving{};
    for (int s = 0; s < kLineServos; ++s) moving[s] = show_.sends[s] && !motion_->RestsAt(s, wanted[s]);
    const std::vector<int> servos = line_->Choose(positions, periods, last, moving);
    Advance(wanted, positions, servos);
    return SendFrame(positions, servos, writeFailure_);
}

PlaybackEngine::PassEnd PlaybackEngine::TravelTo(const Positions& record, double period, bool leadIn,
                                                 std::optional<double>& due) {
    std::array<int32_t, kServoCount> targets{};
    std::array<bool, kServoCount> which{};
    for (int s = 0; s < kServoCount; ++s) {
        targets[s] = record[s];
        which[s] = show_.sends[s] && record[s] >= 0 && record[s] <= 255;
    }
    // The last lead-in frame is the show's first: it goes out on the show's schedule.
    const int32_t frames = motion_->LeadInFrames(targets, which) - (leadIn ? 1 : 0);
    if (frames <= 0) return PassEnd::Completed;
    if (leadIn) {
        leadIn_ += frames;
        char caption[64];
        std::snprintf(caption, sizeof caption, "  Lead-in: %d frames (%.1f s)", frames, frames * period / 1000.0);
        view_.SetPositionCaption(caption);
    }
    // A loop's lead-in goes on with the schedule of the pass before: its
    // first step is due a period after that pass's last frame.
    const double start = due ? *due : clock_.NowMs();
    // On a line too slow for every servo a frame, servos take turns and each
    // arrives later: the travel goes on until all are there (each servo sent
    // at least once a round of turns bounds it).
    const bool turns = !line_->FitsWhole();
    const int32_t most = turns ? frames * kLineServos + kLineServos : frames;
    int32_t k = 0;
    for (; k < most && (turns ? motion_->LeadInFrames(targets, which) > (leadIn ? 1 : 0) : k < frames); ++k) {
        view_.Pump();
        if (Stopping()) return PassEnd::Stopped;
        clock_.WaitUntil(start + double(k) * period);
        if (StopBeforeSending()) return PassEnd::Stopped;
        if (!SendLimited(record, k == 0 ? 0 : 1, false)) return PassEnd::WriteFailed;
    }
    due = start + double(k) * period;
    return PassEnd::Completed;
}

bool PlaybackEngine::SendFrame(const Positions& record, const std::vector<int>& servos, std::string& reason) {
    frameBytes_.clear();
    std::array<ServoTarget, kServoCount> targets{};
    size_t count = 0;
    for (int s : servos) targets[count++] = ServoTarget{s, record[s]};
    if (!encoder_->Frame(std::span(targets.data(), count), frameBytes_, reason)) return false;
    // One write for the whole frame: its commands leave back to back, and
    // the system hands them on to the line once rather than per servo.
    return frameBytes_.empty() || output_.WriteCommands(frameBytes_, reason);
}

void PlaybackEngine::EndSteps(bool portWasOpen) {
    sound_.StopAll();
    motion_->HaltAll();
    motion_->SetPlaying(false);
    view_.HidePlayMarker();
    if (!portWasOpen) output_.Close();
    SetPlayControls(false);
    setPriority_(0);
    SetPromptWakeups(false);
    bPause = bStop = bStep = false;
    view_.SetGraphControlsEnabled(true);
    playing_ = false;
    line_.reset();
    encoder_.reset();
}

void PlaybackEngine::ReportUnsendable() {
    if (unsendableServo_ < 0) return;
    const ServoRecord& servo = project_.Servos[unsendableServo_];
    view_.Tell(Message{"Servo " + std::to_string(unsendableServo_ + 1) + " (\"" + servo.Name + "\") was to move to " +
                           std::to_string(unsendablePosition_) + " at frame " + std::to_string(unsendableFrame_) +
                           ", which the controller cannot take (0 to 255). Positions outside that range were not sent.",
                       "Position Not Sent", MessageIcon::Exclamation, MessageButtons::Ok});
    unsendableServo_ = -1;
}

}  // namespace kestrova
