#include "show/scheduler.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kestrova::show {
namespace {

SchedulerConfig Config(int shows, Order order = Order::InTurn) {
    SchedulerConfig c;
    c.warmUpMs = 1000;
    c.cooldownMs = 2000;
    c.minPulseMs = 50;
    c.order = order;
    for (int i = 0; i < shows; ++i) c.showTriggers.push_back("t" + std::to_string(i));
    return c;
}

constexpr int32_t kNoon = 12 * 60;

// Warm-up, the show and the cooldown each ignore triggers for their time.
TEST(Scheduler, TriggersOutsideIdleAreIgnored) {
    Scheduler s(Config(1), 0);
    const std::tuple<double, Verdict> steps[] = {
        {0, Verdict::WarmUp}, {999, Verdict::WarmUp}, {1000, Verdict::Started}, {1500, Verdict::DuringShow},
    };
    for (const auto& [at, verdict] : steps) EXPECT_EQ(s.Event("k", at, kNoon).verdict, verdict) << at;
    s.ShowEnded(5000);
    EXPECT_EQ(s.State(6999), RunState::Cooldown);
    EXPECT_EQ(s.Event("k", 6999, kNoon).verdict, Verdict::Cooldown);
    EXPECT_EQ(s.Event("k", 7000, kNoon).verdict, Verdict::Started);
    EXPECT_EQ(s.ShowsPlayed(), 2);
    EXPECT_EQ(s.Count(Verdict::WarmUp), 2);
}

// A contact counts once per closing that lasts the minimum pulse; bounces
// in between change nothing but the count.
TEST(Scheduler, ContactsAreDebounced) {
    Scheduler s(Config(1), -10000);
    EXPECT_FALSE(s.Level("mat", true, 0, kNoon));
    EXPECT_EQ(s.Level("mat", false, 20, kNoon)->verdict, Verdict::Bounce);
    for (double t = 30; t <= 80; t += 10) s.Level("mat", int(t / 10) % 2 == 1, t, kNoon);  // chatter
    EXPECT_TRUE(s.Tick(140, kNoon).empty());
    ASSERT_FALSE(s.Level("mat", true, 200, kNoon));
    EXPECT_TRUE(s.Tick(249, kNoon).empty());
    const std::vector<Decision> held = s.Tick(250, kNoon);
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].verdict, Verdict::Started);
    EXPECT_TRUE(s.Tick(5000, kNoon).empty()) << "a contact held closed counts once";
    EXPECT_FALSE(s.Level("mat", false, 6000, kNoon));
    EXPECT_EQ(s.ShowsPlayed(), 1);
    EXPECT_GE(s.Count(Verdict::Bounce), 4);
}

TEST(Scheduler, QuietHoursWrapOverMidnight) {
    SchedulerConfig c = Config(1);
    c.quiet = QuietHours{22 * 60, 7 * 60};
    const std::tuple<int32_t, Verdict> cases[] = {
        {21 * 60 + 59, Verdict::Started}, {22 * 60, Verdict::Quiet}, {0, Verdict::Quiet},
        {6 * 60 + 59, Verdict::Quiet},    {7 * 60, Verdict::Started},
    };
    for (const auto& [minute, verdict] : cases) {
        Scheduler s(c, -10000);
        EXPECT_EQ(s.Event("k", 0, minute).verdict, verdict) << minute;
    }
}

std::vector<int> Played(Scheduler& s, const std::vector<std::string>& triggers) {
    std::vector<int> shows;
    double t = 0;
    for (const std::string& trigger : triggers) {
        const Decision d = s.Event(trigger, t, kNoon);
        shows.push_back(d.show);
        if (d.verdict == Verdict::Started) s.ShowEnded(t);
        t += 10000;
    }
    return shows;
}

TEST(Scheduler, OrderRules) {
    Scheduler turn(Config(3), -5000);
    EXPECT_EQ(Played(turn, {"a", "a", "a", "a"}), (std::vector<int>{0, 1, 2, 0}));
    Scheduler byTrigger(Config(3, Order::ByTrigger), -5000);
    EXPECT_EQ(Played(byTrigger, {"t2", "t2", "nobody", "t0"}), (std::vector<int>{2, 2, -1, 0}));
    EXPECT_EQ(byTrigger.Count(Verdict::Unmatched), 1);

    // Random: never the same show twice running, and every show comes up.
    for (int shows : {2, 3, 5}) {
        Scheduler random(Config(shows, Order::Random), -5000);
        const std::vector<int> played = Played(random, std::vector<std::string>(3000, "a"));
        std::vector<int> seen(size_t(shows), 0);
        for (size_t i = 0; i < played.size(); ++i) {
            ASSERT_GE(played[i], 0);
            ++seen[size_t(played[i])];
            if (i > 0) {
                ASSERT_NE(played[i], played[i - 1]) << i;
            }
        }
        for (int n : seen) EXPECT_GT(n, 3000 / shows / 2) << shows;
    }
    Scheduler single(Config(1, Order::Random), -5000);
    EXPECT_EQ(Played(single, {"a", "a"}), (std::vector<int>{0, 0}));
}

}  // namespace
}  // namespace kestrova::show
