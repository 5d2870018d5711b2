#include "scheduler.h"

namespace kestrova::show {

const char* VerdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Started: return "started";
    case Verdict::WarmUp: return "ignored (warm-up)";
    case Verdict::DuringShow: return "ignored (a show is playing)";
    case Verdict::Cooldown: return "ignored (cooldown)";
    case Verdict::Quiet: return "ignored (quiet hours)";
    case Verdict::Unmatched: return "ignored (no show for this trigger)";
    case Verdict::Bounce: return "ignored (shorter than the minimum pulse)";
    }
    return "";
}

const char* RunStateName(RunState state) {
    switch (state) {
    case RunState::WarmUp: return "warm-up";
    case RunState::Idle: return "idle";
    case RunState::Show: return "show";
    case RunState::Cooldown: return "cooldown";
    }
    return "";
}

SchedulerConfig SchedulerConfig::From(const ShowFile& file, uint32_t seed) {
    SchedulerConfig c;
    c.warmUpMs = file.warmUpMs;
    c.cooldownMs = file.cooldownMs;
    c.minPulseMs = file.minPulseMs;
    c.order = file.order;
    for (const ShowEntry& s : file.shows) c.showTriggers.push_back(s.trigger);
    c.quiet = file.quiet;
    c.seed = seed;
    return c;
}

Scheduler::Scheduler(SchedulerConfig config, double startMs)
    : config_(std::move(config)), startMs_(startMs), random_(config_.seed) {}

RunState Scheduler::State(double nowMs) const {
    if (showing_) return RunState::Show;
    if (nowMs < startMs_ + config_.warmUpMs) return RunState::WarmUp;
    if (cooldownEndMs_ >= 0 && nowMs < cooldownEndMs_) return RunState::Cooldown;
    return RunState::Idle;
}

Decision Scheduler::Event(const std::string& trigger, double nowMs, int32_t minuteOfDay) {
    Decision d = Decide(trigger, nowMs, minuteOfDay);
    ++counts_[size_t(d.verdict)];
    return d;
}

std::optional<Decision> Scheduler::Level(const std::string& trigger, bool active, double nowMs,
                                         int32_t minuteOfDay) {
    if (active) {
        if (held_.count(trigger)) return std::nullopt;  // already closed
        held_[trigger] = Held{nowMs, config_.minPulseMs <= 0};
        if (config_.minPulseMs <= 0) return Event(trigger, nowMs, minuteOfDay);
        return std::nullopt;
    }
    const auto it = held_.find(trigger);
    if (it == held_.end()) return std::nullopt;  // never closed
    const Held held = it->second;
    held_.erase(it);
    if (held.counted) return std::nullopt;
    const bool longEnough = nowMs - held.sinceMs >= config_.minPulseMs;
    // An opening found before the Tick that would have counted a long pulse
    // still counts it.
    if (longEnough) return Event(trigger, nowMs, minuteOfDay);
    ++counts_[size_t(Verdict::Bounce)];
    return Decision{Verdict::Bounce, trigger, -1};
}

std::vector<Decision> Scheduler::Tick(double nowMs, int32_t minuteOfDay) {
    std::vector<Decision> decisions;
    for (auto& [trigger, held] : held_) {
        // Counted once per closing: it must open before it counts again.
        if (held.counted || nowMs - held.sinceMs < config_.minPulseMs) continue;
        held.counted = true;
        decisions.push_back(Event(trigger, nowMs, minuteOfDay));
    }
    return decisions;
}

void Scheduler::ShowEnded(double nowMs) {
    showing_ = false;
    cooldownEndMs_ = nowMs + config_.cooldownMs;
}

Decision Scheduler::Decide(const std::string& trigger, double nowMs, int32_t minuteOfDay) {
    if (config_.quiet && config_.quiet->Contains(minuteOfDay)) return {Verdict::Quiet, trigger};
    switch (State(nowMs)) {
    case RunState::WarmUp: return {Verdict::WarmUp, trigger};
    case RunState::Show: return {Verdict::DuringShow, trigger};
    case RunState::Cooldown: return {Verdict::Cooldown, trigger};
    case RunState::Idle: break;
    }
    const int show = Choose(trigger);
    if (show < 0) return {Verdict::Unmatched, trigger};
    showing_ = true;
    last_ = show;
    return {Verdict::Started, trigger, show};
}

int Scheduler::Choose(const std::string& trigger) {
    const int n = int(config_.showTriggers.size());
    if (n == 0) return -1;
    switch (config_.order) {
    case Order::InTurn: return (last_ + 1) % n;
    case Order::Random: {
        if (n == 1) return 0;
        // Any show but the one just played, each as likely.
        const int pick = std::uniform_int_distribution<int>(0, last_ < 0 ? n - 1 : n - 2)(random_);
        return last_ >= 0 && pick >= last_ ? pick + 1 : pick;
    }
    case Order::ByTrigger:
        for (int i = 0; i < n; ++i) {
            if (config_.showTriggers[size_t(i)] == trigger) return i;
        }
        return -1;
    }
    return -1;
}

}  // namespace kestrova::show
