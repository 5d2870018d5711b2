// The servo control pane on its own: what it reports for clicks, keys and
// drags, and that showing servo records moves nothing.
#include "ui/servo_panel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>

using namespace kestrova;

namespace {

class ServoPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&host_);
        layout->addWidget(elsewhere_);
        layout->addWidget(panel_);
        panel_->setMinimumSize(330, 540);
        for (ServoRecord& s : servos_) s = {"Servo", 127, 0, 254, true, false};
        panel_->ShowServos(servos_);
        auto log = [this](const QString& line) { log_ += (log_.empty() ? "" : ", ") + line.toStdString(); };
        const char* jumps[] = {"Home", "Min", "Max"};
        QObject::connect(panel_, &ServoPanel::servoSelected, [=](int s) { log(QString("select %1").arg(s)); });
        QObject::connect(panel_, &ServoPanel::positionChanged,
                         [=](int s, int v) { log(QString("move %1 %2").arg(s).arg(v)); });
        QObject::connect(panel_, &ServoPanel::jumpRequested,
                         [=](int s, ServoPanel::Jump to) { log(QString("jump %1 %2").arg(s).arg(jumps[int(to)])); });
        QObject::connect(panel_, &ServoPanel::logRequested,
                         [=](int s, int v) { log(QString("log %1 %2").arg(s).arg(v)); });
        QObject::connect(panel_, &ServoPanel::portClicked, [=](bool on) { log(QString("port %1").arg(on)); });
        host_.show();
        host_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
    }

    QWidget host_;
    QLineEdit* elsewhere_ = new QLineEdit;
    ServoPanel* panel_ = new ServoPanel;
    std::array<ServoRecord, kServoCount> servos_{};
    std::string log_;
};

TEST_F(ServoPanelTest, ReportsClicksKeysAndDrags) {
    const QPoint inFrame(3, 40);
    const struct {
        const char* what;
        std::function<void(ServoPanel&)> act;
        std::string expected;
    } cases[] = {
        {"Home gets the focus", [](ServoPanel& p) { p.cmdHome(5)->setFocus(); }, "select 5"},
        {"click on Max", [](ServoPanel& p) { QTest::mouseClick(p.cmdMax(9), Qt::LeftButton); },
         "select 9, jump 9 Max"},
        {"click on Log", [](ServoPanel& p) { p.MoveSlider(6, 140); QTest::mouseClick(p.cmdLog(6), Qt::LeftButton); },
         "move 6 140, select 6, log 6 140"},
        {"click on the frame", [&](ServoPanel& p) { QTest::mouseClick(p.frmServo(14), Qt::LeftButton, {}, inFrame); },
         "select 14"},
        {"double click on the label", [](ServoPanel& p) { QTest::mouseDClick(p.lblPos(7), Qt::LeftButton); },
         "select 7, select 7"},
        {"keys on the slider",
         [](ServoPanel& p) {
             p.hscServo(2)->setFocus();
             for (Qt::Key key : {Qt::Key_Right, Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Left, Qt::Key_Down,
                                 Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End, Qt::Key_A})
                 QTest::keyClick(p.hscServo(2), key);
         },
         "select 2, move 2 128, move 2 129, move 2 154, move 2 153, move 2 152, move 2 127, move 2 0, move 2 254"},
        {"a drag ends with its final value once more",
         [](ServoPanel& p) {
             QScrollBar* s = p.hscServo(3);
             s->setSliderDown(true);
             s->setSliderPosition(150);
             s->setSliderPosition(160);
             s->setSliderDown(false);
         },
         "move 3 150, move 3 160, move 3 160"},
        {"a move to where the slider is", [](ServoPanel& p) { p.MoveSlider(0, 127); }, ""},
        {"the port box", [](ServoPanel& p) { QTest::mouseClick(p.chkCOM(), Qt::LeftButton, {}, QPoint(6, 6)); },
         "port 1"},
        {"a disabled servo",
         [&](ServoPanel& p) {
             servos_[4].Enabled = false;
             p.ShowServos(servos_);
             p.cmdHome(4)->setFocus();
             QTest::mouseClick(p.cmdHome(4), Qt::LeftButton);
             QTest::mouseClick(p.frmServo(4), Qt::LeftButton, {}, inFrame);
             QTest::mouseClick(p.lblPos(4), Qt::LeftButton);
             QTest::keyClick(p.hscServo(4), Qt::Key_Right);
         },
         ""},
    };
    for (const auto& c : cases) {
        elsewhere_->setFocus();
        log_.clear();
        c.act(*panel_);
        EXPECT_EQ(log_, c.expected) << c.what;
    }
}

TEST_F(ServoPanelTest, ShowingRecordsNeverMovesAServo) {
    panel_->MoveSlider(3, 200);
    log_.clear();
    servos_[1] = {"Jaw & lip", 127, 200, 240, true, false};  // pushes 127 up to 200
    servos_[3].Max = 150;                                     // pulls 200 down to 150
    servos_[5] = {"Odd", 127, 230, 100, true, false};         // Max below Min: one value
    servos_[7].Min = 40000;                                   // beyond what a slider holds
    EXPECT_EQ(panel_->ShowServos(servos_), (std::vector<int>{1, 3, 5, 7}));
    EXPECT_EQ(log_, "");
    for (auto [servo, position] : {std::pair{1, 200}, {3, 150}, {5, 230}, {7, 32767}}) {
        EXPECT_EQ(panel_->Position(servo), position) << servo;
        EXPECT_EQ(panel_->lblPos(servo)->text(), QString::number(position)) << servo;
    }
    EXPECT_EQ(panel_->frmServo(1)->title(), "Jaw && lip") << "an ampersand is no mnemonic";
    EXPECT_TRUE(panel_->ShowServos(servos_).empty()) << "the same records again push nothing";
}

}  // namespace
