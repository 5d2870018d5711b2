// The example played into the virtual controller: after every frame the
// controller holds that frame's positions.
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"

#include "core/compiler.h"
#include "core/messages.h"
#include "files/kva_reader.h"
#include "files/settings_store.h"
#include "support/isolated_store.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

struct Silence : SoundOutput {
    void Play(const std::string&, double) override {}
    void Stop(double) override {}
};

struct Check {
    Project* project;
    SerialLink* link;
    int32_t frames = 0;
    std::vector<std::string> mismatches;
};

void CompareFrame(void* context, int32_t frame) {
    auto& check = *static_cast<Check*>(context);
    const ControllerState state = check.link->Controller().Settle();
    ++check.frames;
    for (int s = 0; s < kServoCount; ++s) {
        const ServoRecord& servo = check.project->Servos[s];
        const int expected = servo.Enabled && servo.Used ? check.project->Frames[frame][s] : -1;
        if (state.position[s] != expected)
            check.mismatches.push_back("frame " + std::to_string(frame) + " servo " + std::to_string(s + 1) + ": " +
                                       std::to_string(state.position[s]) + ", table " + std::to_string(expected));
    }
}

class VirtualControllerPlayback : public kestrova::testing::StoreTest {};

TEST_F(VirtualControllerPlayback, ReceivesTheFrameTable) {
    Project project;
    StartNewProject(project);
    ASSERT_TRUE(LoadProjectBytes(kestrova::testing::ReadFile(std::string(KESTROVA_EXAMPLES) + "/waving-robot.kva"), project).ok);
    ASSERT_EQ(BuildAnimation(project).outcome, BuildOutcome::Success);

    ASSERT_EQ(MapPortToDevice(store_, project.Settings.COMPort, kVirtualControllerDevice), std::nullopt);
    SerialLink link(StoredPortTable(store_));
    link.ApplyCommSettings(project.Settings);
    SerialLinkOutput output(link);
    Silence sound;
    QuietPlaybackView view(30);
    PlaybackEngine engine(project, output, sound, view);
    engine.SetPrioritySetter([](int32_t) {});
    Check check{&project, &link, 0, {}};
    engine.SetFrameSentHook(&CompareFrame, &check);

    ASSERT_TRUE(engine.PlayAnimation(1, project.Frames.UpperBound()));
    EXPECT_EQ(check.frames, project.Frames.UpperBound());
    EXPECT_TRUE(check.mismatches.empty()) << check.mismatches.front();
    EXPECT_EQ(link.Controller().State().notUnderstood, 0u);
    for (const Message& m : view.told) ADD_FAILURE() << m.text;
}

}  // namespace
