#include "runner.h"

#include "playback/process_priority.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <ctime>

namespace kestrova::show {

int32_t SteadyRunnerClock::MinuteOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return local.tm_hour * 60 + local.tm_min;
}

void SteadyRunnerClock::WaitOrWake(double deadlineMs, TriggerInbox& inbox) {
    // Asleep on the inbox until shortly before the deadline, waking every few
    // milliseconds for the event loop; the last stretch is the steady clock's.
    constexpr double kSlice = 4, kMargin = 1;
    for (;;) {
        const double left = deadlineMs - kMargin - NowMs();
        if (left <= 0) break;
        if (pump_) pump_();
        if (inbox.Wait(std::min(left, kSlice))) return;
    }
    steady_.WaitUntil(deadlineMs);
}

std::string RunnerStatus::Json() const {
    QJsonObject o{{"state", RunStateName(state)},
                  {"show", show.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(show))},
                  {"frame", frame},
                  {"showsPlayed", showsPlayed},
                  {"uptimeSeconds", qint64(uptimeSeconds)},
                  {"ignoredTriggers", qint64(ignored)},
                  {"droppedTriggers", qint64(dropped)},
                  {"portOpen", portOpen}};
    if (lastTrigger.empty()) {
        o["lastTrigger"] = QJsonValue();
    } else {
        o["lastTrigger"] = QJsonObject{{"name", QString::fromStdString(lastTrigger)},
                                       {"at", QString::fromStdString(lastTriggerAt)},
                                       {"result", QString::fromStdString(lastVerdict)}};
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

// The engines' window: loop while idle, triggers taken once per frame, the
// engine's messages logged (each text once: a sound that is missing is
// named once, not at every pass).
class ShowRunner::View : public QuietPlaybackView {
public:
    View(ShowRunner& runner, int fps) : QuietPlaybackView(fps), runner_(runner) {}
    bool LoopPressed() override {
        return runner_.playing_ == runner_.idleEngine_.get() && !runner_.finishing_ && !Leave();
    }
    void MovePlayMarker(int32_t frame) override { runner_.frame_ = frame; }
    // Leaving is the engine clock's: it comes before any frame is sent.
    void Pump() override { runner_.Service(); }
    void Tell(const Message& message) override {
        if (runner_.told_.size() < 100 && runner_.told_.insert(message.text).second) {
            std::string text = message.text;
            std::replace(text.begin(), text.end(), '\r', ' ');
            std::replace(text.begin(), text.end(), '\n', ' ');
            runner_.log_.Line(message.title + ": " + text);
        }
    }
    // The idle gives way to a show; anything gives way to a stop.
    bool Leave() const {
        return runner_.stop_ || (runner_.playing_ == runner_.idleEngine_.get() && runner_.pending_ >= 0);
    }

private:
    ShowRunner& runner_;
};

// The engines' clock: the runner's, with triggers taken during each frame's
// wait. The playback leaves at the frame it waits for, which is not sent. A
// show waiting to start takes that frame's place: at once when no servo is
// capped, else on the frame's time, so that no step of a capped servo comes
// sooner than a period after the one before. A stop also ends on time.
class ShowRunner::EngineClock : public PlaybackClock {
public:
    explicit EngineClock(ShowRunner& runner) : runner_(runner) {}
    double NowMs() override { return runner_.clock_.NowMs(); }
    void WaitUntil(double deadlineMs) override {
        for (;;) {
            if (runner_.view_->Leave()) {
                if (runner_.playing_) runner_.playing_->bStop = true;
                if (!runner_.stop_ && !runner_.AnyServoCapped()) return;
                break;
            }
            if (NowMs() >= deadlineMs) break;
            runner_.clock_.WaitOrWake(deadlineMs, runner_.inbox_);
            runner_.Service();
        }
        runner_.clock_.WaitUntil(deadlineMs);
    }

private:
    ShowRunner& runner_;
};

// The sound output with every file decoded once, when the runner starts, so
// that a show starts without loading anything.
class ShowRunner::PreparedSound : public SoundOutput {
public:
    explicit PreparedSound(SoundOutput& inner) : inner_(inner) {}
    void Play(const std::string& path, double delayMs) override { inner_.Play(path, delayMs); }
    void Stop(double delayMs) override { inner_.Stop(delayMs); }
    void StopAll() override { inner_.StopAll(); }
    void DropWaiting() override { inner_.DropWaiting(); }
    double LeadMs() const override { return inner_.LeadMs(); }
    std::optional<Message> Prepare(const std::vector<std::string>&) override { return std::nullopt; }
    std::optional<Message> PrepareAll(const std::vector<std::string>& paths) { return inner_.Prepare(paths); }

private:
    SoundOutput& inner_;
};

ShowRunner::ShowRunner(const ShowFile& file, std::optional<RunnerProject> idle, std::vector<RunnerProject> shows,
                       PlaybackOutput& output, SoundOutput& sound, RunnerClock& clock, TriggerInbox& inbox,
                       ShowLog& log, uint32_t seed)
    : file_(file), idle_(std::move(idle)), shows_(std::move(shows)), output_(output), clock_(clock), inbox_(inbox),
      log_(log), sound_(std::make_unique<PreparedSound>(sound)),
      view_(std::make_unique<View>(*this, file.framesPerSecond)), engineClock_(std::make_unique<EngineClock>(*this)) {
    auto makeEngine = [&](Project& project) {
        auto engine = std::make_unique<PlaybackEngine>(project, output_, *sound_, *view_, engineClock_.get());
        engine->SetMotion(motion_);
        engine->SetPrioritySetter([](int32_t) {});
        if (file_.baud) engine->SetLineBaud(*file_.baud);
        return engine;
    };
    if (idle_) idleEngine_ = makeEngine(idle_->project);
    for (RunnerProject& show : shows_) showEngines_.push_back(makeEngine(show.project));
    SchedulerConfig config = SchedulerConfig::From(file_, seed);
    config.showTriggers.resize(shows_.size());
    for (size_t i = 0; i < shows_.size(); ++i) {
        // Entries left out by skipBrokenEntries are not in the list the file gave.
        for (const ShowEntry& entry : file_.shows) {
            if (entry.project == shows_[i].name) config.showTriggers[i] = entry.trigger;
        }
    }
    scheduler_.emplace(config, 0);
    Publish(true);
}

ShowRunner::~ShowRunner() = default;

void ShowRunner::UseMotion(ServoMotion& motion) {
    motion_ = &motion;
    if (idleEngine_) idleEngine_->SetMotion(motion_);
    for (auto& engine : showEngines_) engine->SetMotion(motion_);
}

bool ShowRunner::AnyServoCapped() const {
    for (int s = 0; s < kServoCount; ++s) {
        if (motion_->At(s).Capped()) return true;
    }
    return false;
}

void ShowRunner::HaltServos() {
    motion_->KeepMoving(false);
    motion_->HaltAll();
}

void ShowRunner::RequestStop() {
    stop_ = true;
    inbox_.Wake();
}

RunnerStatus ShowRunner::Status() const {
    RunnerStatus s;
    const double now = clock_.NowMs();
    s.state = scheduler_->State(now - startMs_);
    s.show = current_ >= 0 ? shows_[size_t(current_)].name : "";
    s.frame = frame_;
    s.showsPlayed = scheduler_->ShowsPlayed();
    s.lastTrigger = lastTrigger_;
    s.lastTriggerAt = lastTriggerAt_;
    s.lastVerdict = lastVerdict_;
    s.uptimeSeconds = (now - startMs_) / 1000;
    for (int v = 1; v < kVerdictCount; ++v) s.ignored += scheduler_->Count(Verdict(v));
    s.dropped = inbox_.Dropped();
    s.portOpen = output_.IsOpen();
    return s;
}

std::string ShowRunner::StatusJson() const {
    const std::lock_guard lock(statusMutex_);
    return statusJson_;
}

void ShowRunner::Publish(bool now) {
    const double at = clock_.NowMs();
    if (!now && at - publishedMs_ < 100) return;
    publishedMs_ = at;
    std::string json = Status().Json();
    const std::lock_guard lock(statusMutex_);
    statusJson_.swap(json);
}

int ShowRunner::Run() {
    startMs_ = clock_.NowMs();
    Publish(true);
    std::string triggers;
    for (const TriggerSetup& t : file_.triggers) triggers += std::string(triggers.empty() ? "" : ", ") + t.name;
    log_.Line("Started: " + std::to_string(shows_.size()) + " show(s) in " + OrderName(file_.order) +
              " order, idle " + (idle_ ? idle_->name : "none") + ", triggers " + (triggers.empty() ? "none" : triggers) +
              ", warm-up " + std::to_string(int(file_.warmUpMs / 1000)) + " s, cooldown " +
              std::to_string(int(file_.cooldownMs / 1000)) + " s");
    std::vector<std::string> paths;
    auto addCues = [&paths](const Project& project) {
        for (int32_t k = 1; k <= UpperBound(project.WavCues); ++k) paths.push_back(project.WavCues[size_t(k)].Path);
    };
    if (idle_) addCues(idle_->project);
    for (const RunnerProject& show : shows_) addCues(show.project);
    if (const std::optional<Message> problem = sound_->PrepareAll(paths)) view_->Tell(*problem);
    if (output_.IsOpen()) log_.Line("Port open");

    while (!stop_) {
        motion_->KeepMoving(true);
        // Between playbacks too (the engine turns it off as one ends): a
        // trigger is taken the moment it arrives, whatever else runs.
        SetPromptWakeups(true);
        if (!EnsurePort()) continue;
        if (pending_ >= 0) {
            PlayShow();
        } else if (idleEngine_) {
            PlayIdle();
        } else {
            Rest(clock_.NowMs() + Period());
        }
    }
    Finish();
    return 0;
}

bool ShowRunner::EnsurePort() {
    if (output_.IsOpen()) return true;
    std::string reason;
    if (output_.Open(reason)) {
        log_.Line(portLost_ ? "Port back: playing again" : "Port open");
        portLost_ = false;
        return true;
    }
    if (!portLost_) {
        log_.Line("Error: " + output_.FailureMessage(reason) + "; trying again every " +
                  std::to_string(int(kPortRetryMs / 1000)) + " s");
    }
    portLost_ = true;
    Rest(clock_.NowMs() + kPortRetryMs);
    return false;
}

void ShowRunner::PortFailed() {
    output_.Close();
    HaltServos();  // whatever they were doing, they are not doing it now
    if (!portLost_) log_.Line("Error: the port failed; trying again every " + std::to_string(int(kPortRetryMs / 1000)) + " s");
    portLost_ = true;
    const double until = clock_.NowMs() + kPortRetryMs;
    Rest(until);
}

void ShowRunner::Rest(double untilMs) {
    while (!stop_ && clock_.NowMs() < untilMs) {
        clock_.WaitOrWake(untilMs, inbox_);
        Service();
        if (pending_ >= 0 && output_.IsOpen()) return;
    }
}

void ShowRunner::PlayIdle() {
    playing_ = idleEngine_.get();
    const bool ok = idleEngine_->PlayAnimation(1, idle_->project.Frames.UpperBound());
    playing_ = nullptr;
    if (!ok && !stop_) PortFailed();
}

void ShowRunner::PlayShow() {
    current_ = pending_;
    pending_ = -1;
    RunnerProject& show = shows_[size_t(current_)];
    PlaybackEngine& engine = *showEngines_[size_t(current_)];
    log_.Line("Show start: " + show.name);
    Publish(true);
    playing_ = &engine;
    const bool ok = engine.PlayAnimation(1, show.project.Frames.UpperBound());
    playing_ = nullptr;
    const double now = clock_.NowMs();
    scheduler_->ShowEnded(now - startMs_);
    std::string end = "Show end: " + show.name;
    if (stop_) end += " (stopped)";
    if (engine.DroppedFrames() > 0) end += ", " + std::to_string(engine.DroppedFrames()) + " late frame(s) dropped";
    log_.Line(end);
    current_ = -1;
    Publish(true);
    if (!ok && !stop_) PortFailed();
}

void ShowRunner::Service() {
    if (heartbeat_) heartbeat_();
    const double now = clock_.NowMs() - startMs_;
    const int32_t minute = clock_.MinuteOfDay();
    for (TriggerEvent& event : inbox_.Take()) {
        if (portLost_) {
            // Nothing can play; the scheduler does not hear of it.
            LogIgnored("Trigger " + event.trigger + ": ignored (the port is lost)", now);
            continue;
        }
        if (event.level) {
            if (std::optional<Decision> d = scheduler_->Level(event.trigger, event.active, now, minute)) {
                Note(*d, event.detail);
            }
        } else {
            Note(scheduler_->Event(event.trigger, now, minute), event.detail);
        }
    }
    for (const Decision& d : scheduler_->Tick(now, minute)) Note(d, "held for the minimum pulse");
    Publish(false);
    const int64_t dropped = inbox_.Dropped();
    if (dropped > droppedLogged_ && now - lastIgnoredLogMs_ >= 1000) {
        log_.Line("Trigger flood: " + std::to_string(dropped - droppedLogged_) + " trigger(s) dropped unread");
        droppedLogged_ = dropped;
        lastIgnoredLogMs_ = now;
    }
}

void ShowRunner::Note(const Decision& d, const std::string& detail) {
    const double now = clock_.NowMs() - startMs_;
    lastTrigger_ = d.trigger;
    lastTriggerAt_ = ShowLog::LocalTimeStamp();
    lastVerdict_ = VerdictText(d.verdict);
    const std::string what = "Trigger " + d.trigger + (detail.empty() ? "" : " (" + detail + ")") + ": ";
    if (d.verdict == Verdict::Started) {
        pending_ = d.show;
        log_.Line(what + "starts " + shows_[size_t(d.show)].name);
        return;
    }
    LogIgnored(what + VerdictText(d.verdict), now);
}

void ShowRunner::LogIgnored(const std::string& line, double now) {
    if (now - lastIgnoredLogMs_ < 1000) {
        ++ignoredUnlogged_;
        return;
    }
    log_.Line(ignoredUnlogged_ > 0 ? line + " (and " + std::to_string(ignoredUnlogged_) + " more ignored before it)"
                                   : line);
    ignoredUnlogged_ = 0;
    lastIgnoredLogMs_ = now;
}

void ShowRunner::Finish() {
    if (file_.onStop == StopAction::IdleFirstFrame && idleEngine_ && output_.IsOpen()) {
        pending_ = -1;
        playing_ = idleEngine_.get();
        finishing_ = true;
        stop_ = false;  // the one frame plays to its end
        idleEngine_->PlayAnimation(1, 1);
        stop_ = true;
        playing_ = nullptr;
    }
    HaltServos();
    SetPromptWakeups(false);
    output_.Close();
    log_.Line("Stopped: " + std::to_string(scheduler_->ShowsPlayed()) + " show(s) played");
}

}  // namespace kestrova::show
