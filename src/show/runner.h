#pragma once
// Runs a show file: the idle project loops until a trigger starts a show,
// the show plays once, the cooldown passes with the idle playing again.
// Everything goes through the playback engine, one engine per project over
// the same open port, so a show's frames leave exactly as in the editor.
// Triggers are taken between frames and while waiting for one; a trigger
// during idle ends the idle at the frame being waited for, and the show's
// first frame takes its place: at once, or on that frame's time when a servo
// is capped. All engines step the same limiters, which keep the servos'
// motion from one playback to the next, so a hand-over (idle to show, show
// to idle, the idle's first frame at a stop) travels within the caps.

#include "core/playback_clock.h"
#include "core/project.h"
#include "playback/playback_engine.h"
#include "scheduler.h"
#include "show_file.h"
#include "show_log.h"
#include "trigger.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestrova::show {

// A project ready to play: built, its cue paths made absolute.
struct RunnerProject {
    std::string name;
    Project project;
};

// Time for the runner: the playback clock, the local time of day for quiet
// hours, and a wait that an arriving trigger cuts short.
class RunnerClock : public PlaybackClock {
public:
    virtual int32_t MinuteOfDay() = 0;
    // Returns at `deadlineMs` or earlier, when the inbox is woken.
    virtual void WaitOrWake(double deadlineMs, TriggerInbox& inbox) = 0;
};

class SteadyRunnerClock : public RunnerClock {
public:
    // `pumpEvents` runs now and then while waiting (the HTTP server's events).
    explicit SteadyRunnerClock(void (*pumpEvents)() = nullptr) : pump_(pumpEvents) {}
    double NowMs() override { return steady_.NowMs(); }
    void WaitUntil(double deadlineMs) override { steady_.WaitUntil(deadlineMs); }
    int32_t MinuteOfDay() override;
    void WaitOrWake(double deadlineMs, TriggerInbox& inbox) override;

private:
    SteadyPlaybackClock steady_;
    void (*pump_)();
};

struct RunnerStatus {
    RunState state = RunState::WarmUp;
    std::string show;  // the show playing, empty in idle
    int32_t frame = 0;
    int32_t showsPlayed = 0;
    std::string lastTrigger, lastTriggerAt, lastVerdict;
    double uptimeSeconds = 0;
    int64_t ignored = 0;  // triggers ignored, for any reason
    int64_t dropped = 0;  // triggers dropped unread in a flood
    bool portOpen = false;

    std::string Json() const;
};

class ShowRunner {
public:
    ShowRunner(const ShowFile& file, std::optional<RunnerProject> idle, std::vector<RunnerProject> shows,
               PlaybackOutput& output, SoundOutput& sound, RunnerClock& clock, TriggerInbox& inbox, ShowLog& log,
               uint32_t seed);
    ~ShowRunner();

    // Plays until a stop is requested; ends the show at its next frame,
    // leaves the servos as the show file says and returns 0.
    int Run();
    // Safe from a signal handler.
    void RequestStop();
    RunnerStatus Status() const;
    // Status().Json() as it stood at most a tenth of a second ago; safe
    // from any thread (the HTTP trigger's).
    std::string StatusJson() const;
    // Called at every frame and every few milliseconds of a wait: the sign
    // of life a watchdog waits for.
    void SetHeartbeat(std::function<void()> heartbeat) { heartbeat_ = std::move(heartbeat); }
    // The limiters every engine steps (the link's, which knows where the
    // servos are); by default the runner's own. Before Run.
    void UseMotion(ServoMotion& motion);

    // How long a lost port waits between attempts to open it again.
    static constexpr double kPortRetryMs = 3000;

private:
    class View;
    class EngineClock;
    class PreparedSound;

    bool EnsurePort();
    void PlayIdle();
    void PlayShow();
    void Rest(double untilMs);
    // Takes the inbox's events to the scheduler; notes a show to start.
    void Service();
    // Refreshes what StatusJson() answers (`now` true: whatever its age).
    void Publish(bool now);
    void Note(const Decision& decision, const std::string& detail);
    void LogIgnored(const std::string& line, double now);
    void PortFailed();
    void Finish();
    double Period() const { return 1000.0 / file_.framesPerSecond; }
    bool AnyServoCapped() const;
    // The servos stop where they were sent: nothing is moving any more.
    void HaltServos();

    ShowFile file_;
    std::optional<RunnerProject> idle_;
    std::vector<RunnerProject> shows_;
    PlaybackOutput& output_;
    RunnerClock& clock_;
    TriggerInbox& inbox_;
    ShowLog& log_;
    std::unique_ptr<PreparedSound> sound_;
    std::unique_ptr<View> view_;
    std::unique_ptr<EngineClock> engineClock_;
    ServoMotion ownMotion_;
    ServoMotion* motion_ = &ownMotion_;
    std::unique_ptr<PlaybackEngine> idleEngine_;
    std::vector<std::unique_ptr<PlaybackEngine>> showEngines_;
    PlaybackEngine* playing_ = nullptr;
    std::optional<Scheduler> scheduler_;
    double startMs_ = 0;
    std::atomic<bool> stop_{false};
    int pending_ = -1;   // the show a trigger started, not begun yet
    int current_ = -1;   // the show playing
    int32_t frame_ = 0;
    bool portLost_ = false;
    bool finishing_ = false;
    std::string lastTrigger_, lastTriggerAt_, lastVerdict_;
    // Ignored triggers are logged at most once a second; the rest counted.
    double lastIgnoredLogMs_ = -1e300;
    int64_t ignoredUnlogged_ = 0;
    int64_t droppedLogged_ = 0;
    std::set<std::string> told_;  // messages logged once
    std::function<void()> heartbeat_;
    mutable std::mutex statusMutex_;
    std::string statusJson_;
    double publishedMs_ = -1e300;
};

}  // namespace kestrova::show
