// The record controls of the execution window: takes driven over OSC on the
// loopback address into a pseudo-terminal, the red state while they run,
// takes stopped part way (kept or discarded), and what refuses to start.
#include "execution/record_panel.h"

#include "capture/osc_source.h"
#include "core/compiler.h"
#include "execution/execution_window.h"
#include "link/pty.h"
#include "link/serial_link.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>
#include <lo/lo.h>

using namespace kestrova;
using kestrova::testing::Pty;

namespace {

struct FakeHost : CaptureHost {
    Mapping mapping;
    CaptureSettings settings;
    std::vector<InputSource*> sources;
    std::vector<Message> asked;
    MessageAnswer answer = MessageAnswer::Yes;
    std::array<std::optional<std::string>, kServoCount> applied;
    int applies = 0;

    Mapping CurrentMapping() override { return mapping; }
    CaptureSettings Settings() override { return settings; }
    std::vector<InputSource*> Sources() override { return sources; }
    int32_t SliderPosition(int) override { return 90; }
    void ApplyPrograms(const std::array<std::optional<std::string>, kServoCount>& programs) override {
        applied = programs;
        ++applies;
    }
    MessageAnswer Ask(const Message& message) override {
        asked.push_back(message);
        return answer;
    }
};

class RecordPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartNewProject(project_);
        project_.Programs[0] = "Wait 40";
        project_.Programs[1] = "' eyes\r\nMov 100, 5\r\nWait 35";
        project_.Servos[1].Min = 0;
        project_.Servos[1].Max = 250;
        ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success);
        link_.SetDeviceOverride(pty_.Path());
        window_ = std::make_unique<frmExe>(project_, link_, [] {});
        window_->Engine().SetPrioritySetter([](int32_t) {});
        window_->Slider1()->setValue(30);
        window_->UpdateGraph(true);
        host_.mapping[1] = Binding{ControlId{SourceKind::Osc, {}, 2}, false};
        host_.sources = {&osc_};
        panel().SetHost(&host_);
        to_ = lo_address_new("127.0.0.1", std::to_string(osc_.Port()).c_str());
    }
    void TearDown() override { lo_address_free(to_); }
    RecordPanel& panel() { return *window_->Recorder(); }
    // Sends the control a ramp, one value a frame, and runs `atFrame` too.
    void Perform(std::function<void(int32_t)> atFrame = {}) {
        perform_ = std::move(atFrame);
        window_->Engine().SetFrameSentHook(
            [](void* self, int32_t f) {
                auto& test = *static_cast<RecordPanelTest*>(self);
                lo_send(test.to_, "/kestrova/servo/2", "f", float(f) / 41.0f);
                if (test.perform_) test.perform_(f);
            },
            this);
    }

    Pty pty_;
    Project project_;
    SerialLink link_;
    std::unique_ptr<frmExe> window_;
    OscSource osc_{0};
    FakeHost host_;
    lo_address to_ = nullptr;
    std::function<void(int32_t)> perform_;
};

TEST_F(RecordPanelTest, ATakeFollowsTheControlInRedAndBecomesTheServosLines) {
    panel().Arm(1)->setChecked(true);
    QString lookDuring, titleDuring;
    Perform([&](int32_t f) {
        if (f != 10) return;
        lookDuring = panel().RecordButton()->styleSheet();
        titleDuring = window_->windowTitle();
    });
    ASSERT_TRUE(panel().Record());
    EXPECT_TRUE(lookDuring.contains(QStringLiteral("#d01010")));
    EXPECT_TRUE(titleDuring.endsWith(QStringLiteral(" - RECORDING")));
    EXPECT_FALSE(window_->windowTitle().contains(QStringLiteral("RECORDING")));
    EXPECT_EQ(panel().Status()->text(), QStringLiteral("Frames captured: 40 of 40"));
    EXPECT_TRUE(host_.asked.empty()) << host_.asked[0].text;
    ASSERT_EQ(host_.applies, 1);
    ASSERT_TRUE(host_.applied[1].has_value());
    EXPECT_FALSE(host_.applied[0].has_value()) << "an unarmed servo keeps its program";

    // The ramp comes back as a handful of lines climbing to near the top.
    project_.Programs[1] = *host_.applied[1];
    ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success);
    EXPECT_LT(std::count(project_.Programs[1].begin(), project_.Programs[1].end(), '\n'), 12) << project_.Programs[1];
    EXPECT_GT(project_.Frames[40][1], 200);
    EXPECT_LT(project_.Frames[5][1], 50);
}

TEST_F(RecordPanelTest, AStoppedTakeIsKeptOrDiscardedAsTheUserSays) {
    panel().Arm(1)->setChecked(true);
    for (const MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes}) {
        host_.asked.clear();
        host_.applies = 0;
        host_.answer = answer;
        Perform([&](int32_t f) {
            if (f == 20) window_->Engine().bStop = true;
        });
        ASSERT_TRUE(panel().Record());
        ASSERT_EQ(host_.asked.size(), 1u);
        EXPECT_EQ(host_.asked[0].text.rfind("The take was stopped at frame 20. Keep frames 2 to 20?", 0), 0u)
            << host_.asked[0].text;
        EXPECT_EQ(host_.applies, answer == MessageAnswer::Yes ? 1 : 0);
        EXPECT_EQ(panel().Status()->text().endsWith(QStringLiteral("discarded")), answer == MessageAnswer::No);
    }
}

TEST_F(RecordPanelTest, WhatATakeNeedsBeforeItStarts) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        const char* message;
    } const cases[] = {
        {"nothing armed", [] {}, "Arm at least one servo to record."},
        {"not built since the last change",
         [&] {
             panel().Arm(1)->setChecked(true);
             project_.ModifiedSinceBuild = true;
         },
         "Build the animation before recording"},
        {"its device is gone",
         [&] {
             panel().Arm(1)->setChecked(true);
             host_.mapping[1] = Binding{ControlId{SourceKind::Gamepad, "Pad", 0}, false};
         },
         "Servo 2 is mapped to Pad: axis 0, which is not connected."},
    };
    for (const Case& c : cases) {
        host_.asked.clear();
        c.arrange();
        EXPECT_FALSE(panel().Record()) << c.what;
        ASSERT_EQ(host_.asked.size(), 1u) << c.what;
        EXPECT_EQ(host_.asked[0].text.rfind(c.message, 0), 0u) << host_.asked[0].text;
        EXPECT_TRUE(pty_.Stray().empty()) << c.what << ": nothing played";
        project_.ModifiedSinceBuild = false;
    }
}

}  // namespace
