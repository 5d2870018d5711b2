#include "core/limiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace kestrova {
namespace {

using kva::kLimitOne;

TEST(FrameCaps, PerSecondBecomesFixedPointPerFrame) {
    struct Case {
        double speed, accel;
        int fps;
        int32_t frameSpeed, frameAccel;
    };
    const Case cases[] = {
        {0, 0, 30, 0, 0},                         // no caps
        {30, 900, 30, kLimitOne, kLimitOne},      // one position a frame, one more each frame
        {15, 0, 30, kLimitOne / 2, 0},
        {1e-9, 1e-9, 15, 1, 1},                   // a tiny cap still lets the servo move
        {1e12, -5, 1, (1 << 14) * kLimitOne / 2, 0},  // huge cap clamped, negative none
    };
    for (const Case& c : cases) {
        const kva::LimitCaps caps = FrameCaps(Caps{c.speed, c.accel}, c.fps);
        EXPECT_EQ(caps.speed, c.frameSpeed) << c.speed;
        EXPECT_EQ(caps.accel, c.frameAccel) << c.accel;
    }
}

// Rest to rest over a distance: how many frames the caps take.
TEST(Limiter, RestToRestTakesTheFramesTheCapsAllow) {
    struct Case {
        kva::LimitCaps caps;
        int32_t from, to;
        int32_t frames;
    };
    const Case cases[] = {
        {{0, 0}, 20, 230, 1},                    // no caps: one jump
        {{10 * kLimitOne, 0}, 20, 230, 21},      // 210 at 10 a frame
        {{7 * kLimitOne, 0}, 230, 20, 30},       // downward too
        {{kLimitOne / 4, 0}, 0, 2, 8},           // fractions of a position a frame
        {{0, kLimitOne}, 0, 100, 19},            // 1+2+..+10+9+..+1 = 100
        {{3 * kLimitOne, kLimitOne}, 0, 30, 12}, // 1+2+3, seven times 3, 2+1
    };
    for (const Case& c : cases) {
        Limiter limiter(c.caps);
        limiter.Place(c.from);
        EXPECT_EQ(limiter.FramesToReach(c.to), c.frames) << c.from << "->" << c.to;
        int32_t frames = 0;
        while (!limiter.RestsAt(c.to) && frames < 1000) {
            limiter.Next(c.to);
            ++frames;
        }
        EXPECT_EQ(frames, c.frames);
        EXPECT_EQ(limiter.Position(), c.to);
    }
}

TEST(Limiter, UnknownPositionGoesOutOnceThenLimits) {
    Limiter limiter(kva::LimitCaps{kLimitOne, 0});
    EXPECT_FALSE(limiter.Known());
    EXPECT_EQ(limiter.FramesToReach(200), 0);
    EXPECT_EQ(limiter.Next(200), 200);
    EXPECT_TRUE(limiter.Known());
    EXPECT_EQ(limiter.Next(100), 199);
    limiter.Forget();
    EXPECT_EQ(limiter.Next(100), 100);
}

// Random caps and random target streams: jumps, holds, slow ramps and
// every-frame noise, as playback, seeks, loops and slider drags give them.
TEST(Limiter, RandomTargetsKeepEveryCap) {
    std::mt19937 random(26);
    for (int run = 0; run < 400; ++run) {
        const int32_t low = static_cast<int32_t>(random() % 100), high = low + 1 + static_cast<int32_t>(random() % 155);
        std::uniform_int_distribution<int32_t> position(low, high);
        kva::LimitCaps caps{0, 0};
        if (random() % 4 != 0) caps.speed = 1 + static_cast<int32_t>(random() % (20 * kLimitOne));
        if (random() % 4 != 0) caps.accel = 1 + static_cast<int32_t>(random() % (2 * kLimitOne));
        if (caps.speed == 0 && caps.accel == 0) caps.speed = kLimitOne;

        kva::LimitMotion motion{position(random) * kLimitOne, 0};
        int32_t output = motion.position / kLimitOne;
        int32_t target = position(random);
        for (int segment = 0; segment < 30; ++segment) {
            const int kind = static_cast<int>(random() % 4);
            const int length = 1 + static_cast<int>(random() % 60);
            const bool fromRest = motion.velocity == 0;
            const int32_t start = output;
            const int64_t startFixed = motion.position;
            for (int i = 0; i < length; ++i) {
                if (kind == 1 && i == 0) target = position(random);
                if (kind == 2) target = std::clamp(target + static_cast<int32_t>(random() % 5) - 2, low, high);
                if (kind == 3) target = position(random);
                const int32_t before = motion.velocity;
                const int32_t next = kva::LimitStep(motion, target, caps);
                if (caps.speed) {
                    ASSERT_LE(std::abs(motion.velocity), caps.speed);
                }
                if (caps.accel) {
                    ASSERT_LE(std::abs(motion.velocity - before), caps.accel);
                }
                // What goes out is the fixed-point path rounded.
                ASSERT_LE(std::abs(next - output) * kLimitOne, (caps.speed ? caps.speed : (high - low) * kLimitOne) + kLimitOne);
                ASSERT_GE(next, low);
                ASSERT_LE(next, high);
                if (kind <= 1 && fromRest) {  // one held target from rest: straight there, never past
                    ASSERT_LE(std::abs(target - next), std::abs(target - start));
                    ASSERT_GE((target - next) * (target - start), 0);
                    ASSERT_LE(std::abs(target - next), std::abs(target - output));
                    const int64_t goal = int64_t(target) * kLimitOne;
                    ASSERT_GE((goal - motion.position) * (goal - startFixed), 0);  // exactly, not only rounded
                }
                output = next;
            }
        }
        // Held long enough, every move ends on its target, at rest.
        for (int i = 0; i < 100000 && !(motion.velocity == 0 && motion.position == target * kLimitOne); ++i)
            output = kva::LimitStep(motion, target, caps);
        ASSERT_EQ(output, target);
        ASSERT_EQ(motion.velocity, 0);
        ASSERT_EQ(kva::LimitStep(motion, target, caps), target);
    }
}

// Rest to rest never takes much longer than the continuous bound: the step
// chosen is the largest the caps allow, not a cautious one.
TEST(Limiter, ReachesAsFastAsTheCapsAllow) {
    std::mt19937 random(7);
    for (int run = 0; run < 300; ++run) {
        const kva::LimitCaps caps{1 + static_cast<int32_t>(random() % (10 * kLimitOne)),
                                  1 + static_cast<int32_t>(random() % kLimitOne)};
        const double v = double(caps.speed) / kLimitOne, a = double(caps.accel) / kLimitOne;
        const double distance = 1 + random() % 254;
        // Accelerate, cruise, brake: the least time any motion within the caps needs.
        const double ramp = v / a;
        const double least = distance >= v * ramp ? distance / v + ramp : 2 * std::sqrt(distance / a);
        Limiter limiter(caps);
        limiter.Place(0);
        const int32_t frames = limiter.FramesToReach(static_cast<int32_t>(distance));
        EXPECT_GE(frames, std::floor(least)) << v << " " << a << " " << distance;
        EXPECT_LE(frames, std::ceil(least) + 2) << v << " " << a << " " << distance;
    }
}

}  // namespace
}  // namespace kestrova
