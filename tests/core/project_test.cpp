#include "core/frame_table.h"
#include "core/project.h"

#include <gtest/gtest.h>

using namespace kestrova;

TEST(Project, NewProjectDefaultsAndUntitledCounter) {
    Project project;
    project.Programs[3] = "Mov 10, 2\r\n";
    project.Servos[5].Used = true;
    project.Servos[2].Name = "Arm", project.Servos[2].Home = 5, project.Servos[2].Enabled = false;
    project.WavCues.push_back(WavCue{3, 9, "a.wav"});
    project.bNeedToSave = project.Built = project.ModifiedSinceBuild = true;

    StartNewProject(project);
    EXPECT_EQ(project.sFilename, "Untitled1");
    for (int i = 0; i < kServoCount; ++i) EXPECT_TRUE(project.Programs[i].empty());
    EXPECT_EQ(project.Servos[2].Name, "Servo 3");
    EXPECT_EQ(project.Servos[2].Home, 127);
    EXPECT_TRUE(project.Servos[2].Enabled);
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
