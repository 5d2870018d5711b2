// Escape and the Stop button end every motion: the sliders' stepping at
// once, playback before its next frame, from whichever window has the keys;
// with nothing moving Escape is a dialog's as always. Then the servos hold or
// go Home within their caps, as the user's setting says.
#include "execution/motion_stop.h"

#include "core/compiler.h"
#include "files/settings_store.h"
#include "link/live_output.h"
#include "link/pty.h"
#include "link/serial_link.h"
#include "playback/serial_link_output.h"
#include "support/isolated_store.h"
#include "support/playback_fakes.h"

#include <QDialog>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

class MotionStopTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        StartNewProject(project_);
        project_.Settings = ProjectSettings{3, 1, 255, 0, 0, 0};
        link_.ApplyCommSettings(project_.Settings);
        std::string reason;
        ASSERT_TRUE(link_.Open(reason)) << reason;
        window_.show();
    }
    size_t Bytes() { return pty_.Read(SIZE_MAX, 60).size(); }

    kestrova::testing::Pty pty_;
    Project project_;
    SerialLink link_{[this](int32_t) { return pty_.Path(); }};
    QWidget window_;
    MotionStop stop_{&window_, link_, project_, store_};
};

TEST_F(MotionStopTest, EscapeStopsTheSlidersAndOtherwiseReachesTheDialog) {
    LiveOutput& live = link_.Live();
    const Caps slow{30, 0};
    project_.Servos[0].MaxSpeed = 30;
    for (const AfterStop after : {AfterStop::Hold, AfterStop::Home}) {
        ASSERT_FALSE(SaveAfterStop(store_, after).has_value());
        live.Want(255, 0, 20, slow);
        live.Want(255, 0, 220, slow);  // one position a frame: 200 frames of work
        live.Tick();
        ASSERT_TRUE(stop_.Moving());
        QDialog dialog(&window_);
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_TRUE(dialog.isVisible()) << "the Escape was the stop's";
        EXPECT_FALSE(live.Moving());
        Bytes();
        QCoreApplication::processEvents();  // what follows the stop
        if (after == AfterStop::Hold) {
            EXPECT_EQ(Bytes(), 0u);
        } else {
            EXPECT_TRUE(live.Moving()) << "on its way Home at the caps";
            live.Stop();
        }
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST_F(MotionStopTest, PlaybackEndsBeforeItsNextFrame) {
    project_.Programs[0] = "Wait 300";
    ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success);
    SerialLinkOutput output(link_);
    struct View : QuietPlaybackView {
        View() : QuietPlaybackView(30) {}
        int frames = 0;
        QWidget* target = nullptr;
        void MovePlayMarker(int32_t) override { ++frames; }
        void Pump() override {
            QCoreApplication::processEvents();
            if (frames == 5) QTest::keyClick(target, Qt::Key_Escape);
        }
    } view;
    view.target = &window_;
    kestrova::testing::Silence sound;
    PlaybackEngine engine(project_, output, sound, view);
    engine.SetMotion(&link_.Live().Motion());
    ASSERT_TRUE(engine.PlayAnimation(1, 300));
    EXPECT_EQ(view.frames, 5);
    EXPECT_EQ(Bytes(), 4u * 3) << "frames 1 to 4 sent; the stop came before frame 5 left";
    EXPECT_FALSE(engine.Playing());
    EXPECT_FALSE(stop_.Moving());
}

}  // namespace
