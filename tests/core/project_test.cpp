#include "core/frame_table.h"
#include "core/project.h"

#include <gtest/gtest.h>

using namespace kestrova;

TEST(Project, NewProjectDefaultsAndUntitledCounter) {
    Project project;
    project.Programs[3] = "Mov 10, 2\r\n";
    project.Servos[5].Used = true;
    project.WavCues.push_back(WavCue{3, 9, "a.wav"});
    project.bNeedToSave = project.Built = project.ModifiedSinceBuild = true;

    StartNewProject(project);
    EXPECT_EQ(project.sFilename, "Untitled1");
    EXPECT_EQ(project.Servos[0].Name, "Servo 1");
    EXPECT_EQ(project.Servos[15].Name, "Servo 16");
    for (int i = 0; i < kServoCount; ++i) {
        const ServoRecord& s = project.Servos[i];
        EXPECT_EQ(s.Min, 0);
        EXPECT_EQ(s.Home, 127);
        EXPECT_EQ(s.Max, 254);
        EXPECT_TRUE(s.Enabled);
        EXPECT_TRUE(project.Programs[i].empty());
    }
    EXPECT_TRUE(project.Servos[5].Used) << "a new project leaves Used alone";
    EXPECT_EQ(UpperBound(project.WavCues), 0);
    EXPECT_FALSE(project.bNeedToSave || project.Built || project.ModifiedSinceBuild);

    StartNewProject(project);
    EXPECT_EQ(project.sFilename, "Untitled2");
}

TEST(FrameTable, GrowsWithZeroFramesAndResetsToElementZero) {
    FrameTable table;
    EXPECT_EQ(table.UpperBound(), 0);
    table.Grow(5000);  // crosses a chunk boundary
    EXPECT_EQ(table.UpperBound(), 5000);
    table[4097][3] = 42;
    table[5000][kWavCueSlot] = 7;
    table.Grow(10);  // never shrinks
    EXPECT_EQ(table.UpperBound(), 5000);
    EXPECT_EQ(table[4097][3], 42);

    table.Reset();
    EXPECT_EQ(table.UpperBound(), 0);
    table.Grow(5000);
    EXPECT_EQ(table[4097][3], 0) << "frames of an earlier build must not come back";
    EXPECT_EQ(table[5000][kWavCueSlot], 0);
}
