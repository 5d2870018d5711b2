#include "link/port_toggle.h"

#include "core/messages.h"
#include "link/pty.h"
#include "support/isolated_store.h"

#include <gtest/gtest.h>

#include <map>

using namespace kestrova;
using Bytes = std::vector<uint8_t>;
using Captions = std::vector<std::string>;

namespace {

struct FakeWindow : PortToggleView, SliderView {
    bool checked = false;
    Captions captions;
    int focusCount = 0;
    std::map<int, std::string> labels;

    void SetComChecked(bool c) override { checked = c; }
    void SetComCaption(const std::string& caption) override { captions.push_back(caption); }
    void FocusSelectedEditor() override { ++focusCount; }
    void SetPositionLabel(int servo, const std::string& text) override { labels[servo] = text; }
};

class PortToggleTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ports_[3] = pty_.Path();
        link_.ApplyCommSettings(ProjectSettings{3, 1, 0, 0, 0, 0});
    }
    void Click(bool nowChecked) {
        window_.checked = nowChecked;
        if (auto message = ComToggleClicked(link_, nowChecked, window_)) shown_.push_back(*message);
    }

    kestrova::testing::Pty pty_;
    std::map<int32_t, std::string> ports_;  // the port table
    SerialLink link_{[this](int32_t n) { return ports_[n]; }};
    FakeWindow window_;
    std::vector<Message> shown_;
};

}  // namespace

TEST_F(PortToggleTest, ClicksOpenAndCloseAndAFailedOpenIsReported) {
    Click(true);
    EXPECT_TRUE(link_.IsOpen());
    Click(false);
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_EQ(window_.captions, (Captions{"COM Open", "COM Closed"}));
    EXPECT_EQ(window_.focusCount, 2);
    EXPECT_TRUE(shown_.empty());

    ports_[3] = dir_ + "/gone/ttyUSB2";
    window_ = FakeWindow{};
    Click(true);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, "COM3 (" + dir_ + "/gone/ttyUSB2) - No such file or directory");
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_FALSE(window_.checked);
    EXPECT_EQ(window_.captions, (Captions{"COM Open", "COM Closed"}));
    EXPECT_GE(window_.focusCount, 1);
}

TEST_F(PortToggleTest, SlidersShowTheValueAndSendOnlyWhileOpen) {
    const ServoRecord servo{"Servo", 127, 0, 254, true, false};
    ServoSliderChanged(link_, ProjectSettings{3, 1, 255, 0, 0, 0}, servo, 3, 100, window_);
    EXPECT_EQ(window_.labels[3], "100");
    Click(true);
    EXPECT_EQ(pty_.Stray(), Bytes{}) << "nothing was sent while closed";

    // Every event sends the value of its moment.
    for (const int value : {101, 0, 255}) ServoSliderChanged(link_, ProjectSettings{3, 1, 255, 0, 0, 0}, servo, 15, value, window_);
    EXPECT_EQ(pty_.Read(9), (Bytes{255, 15, 101, 255, 15, 0, 255, 15, 255}));
    for (const int value : {256, -1, 1000}) {
        ServoSliderChanged(link_, ProjectSettings{3, 1, 255, 0, 0, 0}, servo, 5, value, window_);
        EXPECT_EQ(window_.labels[5], std::to_string(value) + "!") << "the label says it was not sent";
    }
    EXPECT_EQ(pty_.Stray(), Bytes{}) << "a value that does not fit a byte is not sent";
}
