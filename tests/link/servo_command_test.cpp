#include "link/servo_command.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kestrova;

TEST(ServoCommand, ThreePlainBytes) {
    struct Case {
        int32_t synch;
        int servo;
        int32_t position;
        ServoCommand bytes;
    };
    const std::vector<Case> cases{
        {255, 3, 100, {255, 3, 100}},
        {0, 0, 0, {0, 0, 0}},
        {0, 15, 255, {0, 15, 255}},
        {128, 10, 13, {128, 10, 13}},  // line-feed and carriage-return values stay
        {17, 1, 19, {17, 1, 19}},      // so do the flow-control characters
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EncodeServoCommand(c.synch, c.servo, c.position), c.bytes)
            << c.synch << " " << c.servo << " " << c.position;
    }
}

TEST(ServoCommand, ValuesThatDoNotFitAByteAreRefused) {
    struct Case {
        int32_t synch;
        int servo;
        int32_t position;
    };
    const std::vector<Case> cases{
        {255, 3, -1}, {255, 3, 256}, {0, 0, 511}, {0, 0, 2147483647},
        {0, -1, 0},   {0, 16, 0},    {-1, 0, 0},  {256, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(EncodeServoCommand(c.synch, c.servo, c.position).has_value())
            << c.synch << " " << c.servo << " " << c.position;
    }
}
