// The sliders' live output on a pseudo-terminal: uncapped servos get each
// position at once as before; capped ones are stepped, frame by frame, and
// random drags never make a servo exceed its caps or miss the last position.
#include "link/live_output.h"
#include "link/port_toggle.h"

#include "link/pty.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <map>
#include <random>

using namespace kestrova;

namespace {

class LiveOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The stepping timer wants an application; the tests tick by hand.
        static int argc = 1;
        static char name[] = "live_output_test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
        link_.ApplyCommSettings(ProjectSettings{3, 1, 255, 0, 0, 0});
        std::string reason;
        ASSERT_TRUE(link_.Open(reason)) << reason;
    }
    // Servo s's positions, in the order sent.
    std::map<int, std::vector<int32_t>> Sent() {
        std::map<int, std::vector<int32_t>> sent;
        const std::vector<uint8_t> bytes = pty_.Read(SIZE_MAX, 50);
        for (size_t i = 0; i + 2 < bytes.size(); i += 3) sent[bytes[i + 1]].push_back(bytes[i + 2]);
        return sent;
    }

    kestrova::testing::Pty pty_;
    SerialLink link_{[this](int32_t) { return pty_.Path(); }};
    LiveOutput& live_ = link_.Live();
};

TEST_F(LiveOutputTest, UncappedOrUnknownGoesOutAtOnce) {
    EXPECT_TRUE(live_.Want(255, 0, 40, Caps{}));
    EXPECT_TRUE(live_.Want(255, 0, 200, Caps{}));
    EXPECT_TRUE(live_.Want(255, 1, 250, Caps{60, 0}));  // unknown: once, as it is
    EXPECT_FALSE(live_.Moving());
    EXPECT_EQ(Sent(), (std::map<int, std::vector<int32_t>>{{0, {40, 200}}, {1, {250}}}));
    EXPECT_TRUE(live_.Want(255, 1, 240, Caps{60, 0}));  // 2 a frame from now on
    EXPECT_TRUE(live_.Moving());
    while (live_.Moving()) live_.Tick();
    EXPECT_EQ(Sent()[1], (std::vector<int32_t>{248, 246, 244, 242, 240}));
    link_.Close();
    EXPECT_FALSE(live_.Want(255, 1, 100, Caps{60, 0}));
}

TEST_F(LiveOutputTest, RandomDragsKeepWithinTheCaps) {
    std::mt19937 random(5);
    const Caps caps{240, 900};  // 8 a frame, 1 more a frame per frame
    live_.Want(255, 2, 127, caps);
    std::vector<int32_t> path{127};
    int32_t target = 127;
    for (int drag = 0; drag < 40; ++drag) {
        target = static_cast<int32_t>(random() % 256);
        live_.Want(255, 2, target, caps);
        for (int ticks = static_cast<int>(random() % 8); ticks > 0 && live_.Moving(); --ticks) live_.Tick();
        if (drag % 10 == 9) {  // an occasional stop: the servo holds where it is
            live_.Stop();
            EXPECT_FALSE(live_.Moving());
        }
        const auto sent = Sent();
        if (sent.count(2)) path.insert(path.end(), sent.at(2).begin(), sent.at(2).end());
    }
    live_.Want(255, 2, target, caps);  // again, after the last drag's stop
    while (live_.Moving()) live_.Tick();
    const auto sent = Sent();
    if (sent.count(2)) path.insert(path.end(), sent.at(2).begin(), sent.at(2).end());
    EXPECT_EQ(path.back(), target);
    for (size_t k = 1; k < path.size(); ++k) EXPECT_LE(std::abs(path[k] - path[k - 1]), 8 + 1) << k;
}

}  // namespace
