#include "link/port_toggle.h"

#include "core/messages.h"
#include "link/pty.h"
#include "support/isolated_store.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace kestrova;
using kestrova::testing::Pty;
using kestrova::testing::StoreTest;

namespace {

using Bytes = std::vector<uint8_t>;

struct FakeWindow : PortToggleView, SliderView {
    bool checked = false;
    std::vector<std::string> captions;
    int focusCount = 0;
    std::map<int, std::string> labels;

    void SetComChecked(bool c) override { checked = c; }
    void SetComCaption(const std::string& caption) override { captions.push_back(caption); }
    void FocusSelectedEditor() override { ++focusCount; }
    void SetPositionLabel(int servo, const std::string& text) override { labels[servo] = text; }

    // What the window does on a click: the box changes, then the handler.
    void Click(SerialLink& link, bool nowChecked) {
        checked = nowChecked;
        ComToggleClicked(link, nowChecked, *this);
    }
};

class PortToggleTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ASSERT_FALSE(MapPortToDevice(3, pty_.Path()).has_value());
        link_.ApplyCommSettings(ProjectSettings{3, 1, 0, 0, 0, 0});
    }

    Pty pty_;
    SerialLink link_;
    FakeWindow window_;
    std::vector<Message> shown_;
    ScopedMessageHandler capture_{[this](const Message& m) {
        shown_.push_back(m);
        return MessageAnswer::Ok;
    }};
};

}  // namespace

TEST_F(PortToggleTest, CheckingOpensAndUncheckingCloses) {
    window_.Click(link_, true);
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_TRUE(window_.checked);
    EXPECT_EQ(window_.captions, std::vector<std::string>{"COM Open"});
    EXPECT_EQ(window_.focusCount, 1);

    window_.Click(link_, false);
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_EQ(window_.captions, (std::vector<std::string>{"COM Open", "COM Closed"}));
    EXPECT_EQ(window_.focusCount, 2);
    EXPECT_TRUE(shown_.empty());
}

TEST_F(PortToggleTest, FailedOpenIsReportedAndEndsUncheckedAndClosed) {
    struct Case {
        int32_t port;
        std::string device;
        std::string text;
    };
    const std::vector<Case> cases{
        {3, StoreDir() + "/gone/ttyUSB2", "COM3 - No such file or directory"},
        {12, StoreDir(), "COM12 - Is a directory"},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(MapPortToDevice(c.port, c.device).has_value());
        link_.ApplyCommSettings(ProjectSettings{c.port, 0, 0, 0, 0, 0});
        shown_.clear();
        window_ = FakeWindow{};

        window_.Click(link_, true);
        ASSERT_EQ(shown_.size(), 1u);
        EXPECT_EQ(shown_[0].text, c.text);
        EXPECT_EQ(shown_[0].title, "COM Port Open Error");
        EXPECT_EQ(shown_[0].icon, MessageIcon::Critical);
        EXPECT_EQ(shown_[0].buttons, MessageButtons::Ok);
        EXPECT_FALSE(link_.IsOpen());
        EXPECT_FALSE(window_.checked);
        ASSERT_FALSE(window_.captions.empty());
        EXPECT_EQ(window_.captions.front(), "COM Open");
        EXPECT_EQ(window_.captions.back(), "COM Closed");
        EXPECT_GE(window_.focusCount, 1);
    }
}

TEST_F(PortToggleTest, SlidersUpdateTheLabelAndSendOnlyWhileOpen) {
    ProjectSettings settings{3, 1, 255, 0, 0, 0};
    ServoSliderChanged(link_, settings, 3, 100, window_);
    EXPECT_EQ(window_.labels[3], "100");

    window_.Click(link_, true);
    ASSERT_TRUE(link_.IsOpen());
    EXPECT_EQ(pty_.Stray(), Bytes{}) << "nothing was sent while closed";

    // A drag: one command per event, each with the value of the moment.
    for (const int value : {101, 102, 103}) ServoSliderChanged(link_, settings, 3, value, window_);
    EXPECT_EQ(pty_.Read(9), (Bytes{255, 3, 101, 255, 3, 102, 255, 3, 103}));
    EXPECT_EQ(window_.labels[3], "103");

    settings.SynchByte = 0;
    ServoSliderChanged(link_, settings, 0, 0, window_);
    EXPECT_EQ(pty_.Read(3), (Bytes{0, 0, 0}));
    EXPECT_EQ(window_.labels[0], "0");
}

TEST_F(PortToggleTest, BothControllerModesSendTheSameBytes) {
    window_.Click(link_, true);
    std::vector<Bytes> sent;
    for (const int32_t mode : {0, 1}) {
        const ProjectSettings settings{3, 1, 200, mode, 0, 0};
        for (int servo = 0; servo < 16; ++servo)
            ServoSliderChanged(link_, settings, servo, 128 + servo * 8, window_);
        sent.push_back(pty_.Read(48));
    }
    ASSERT_EQ(sent[0].size(), 48u);
    EXPECT_EQ(sent[0], sent[1]);
    EXPECT_EQ((Bytes(sent[0].begin() + 45, sent[0].end())), (Bytes{200, 15, 248}));
}

TEST_F(PortToggleTest, ASliderValueOutsideAByteShowsButIsNotSent) {
    window_.Click(link_, true);
    const ProjectSettings settings{3, 1, 255, 0, 0, 0};
    for (const int value : {256, -1}) {
        ServoSliderChanged(link_, settings, 5, value, window_);
        EXPECT_EQ(window_.labels[5], std::to_string(value));
    }
    EXPECT_EQ(pty_.Stray(), Bytes{});
}
