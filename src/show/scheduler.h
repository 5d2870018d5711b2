#pragma once
// When a trigger starts a show and which show it starts: warm-up after the
// start, the show itself and the cooldown after it ignore triggers, a
// contact must stay closed for the minimum pulse before it counts, and quiet
// hours ignore everything. Time comes in as arguments, so the rules are the
// same on a fake clock and on the real one.

#include "show_file.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kestrova::show {

enum class Verdict { Started, WarmUp, DuringShow, Cooldown, Quiet, Unmatched, Bounce };
constexpr int kVerdictCount = 7;
const char* VerdictText(Verdict verdict);

struct Decision {
    Verdict verdict = Verdict::Started;
    std::string trigger;
    int show = -1;  // with Started: the index into the show list
};

enum class RunState { WarmUp, Idle, Show, Cooldown };
const char* RunStateName(RunState state);

struct SchedulerConfig {
    double warmUpMs = 0, cooldownMs = 0, minPulseMs = 0;
    Order order = Order::InTurn;
    std::vector<std::string> showTriggers;  // one per show; by-trigger order matches these
    std::optional<QuietHours> quiet;
    uint32_t seed = 1;

    static SchedulerConfig From(const ShowFile& file, uint32_t seed);
};

class Scheduler {
public:
    Scheduler(SchedulerConfig config, double startMs);

    // A trigger without a level (a key, an OSC message, an HTTP request).
    Decision Event(const std::string& trigger, double nowMs, int32_t minuteOfDay);
    // A contact (modem line, GPIO) opened or closed. A closing counts once it
    // has lasted the minimum pulse: at once when that is zero, otherwise at
    // the Tick that finds it held long enough. An opening before then is a
    // bounce.
    std::optional<Decision> Level(const std::string& trigger, bool active, double nowMs, int32_t minuteOfDay);
    // Pulses that have now lasted long enough.
    std::vector<Decision> Tick(double nowMs, int32_t minuteOfDay);
    void ShowEnded(double nowMs);

    RunState State(double nowMs) const;
    int64_t Count(Verdict verdict) const { return counts_[size_t(verdict)]; }
    int32_t ShowsPlayed() const { return int32_t(Count(Verdict::Started)); }

private:
    Decision Decide(const std::string& trigger, double nowMs, int32_t minuteOfDay);
    int Choose(const std::string& trigger);

    SchedulerConfig config_;
    double startMs_;
    bool showing_ = false;
    double cooldownEndMs_ = -1;
    int last_ = -1;
    std::mt19937 random_;
    struct Held { double sinceMs; bool counted; };
    std::map<std::string, Held> held_;  // contacts closed now
    std::array<int64_t, kVerdictCount> counts_{};
};

}  // namespace kestrova::show
