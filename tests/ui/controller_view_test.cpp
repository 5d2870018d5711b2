// The controller dock: what it shows, when it repaints, and that the user's
// choice to show it is remembered.
#include "ui/controller_view.h"
#include "ui/main_window.h"
#include "ui/servo_panel.h"

#include "support/isolated_store.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDockWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

TEST(ControllerView, DimsServosNoAnimationMoves) {
    struct Case {
        bool enabled, built, used, dimmed;
    };
    const Case cases[] = {
        {true, false, false, false},  // nothing built yet: use unknown
        {false, false, false, true},
        {true, true, false, true},
        {true, true, true, false},
        {false, true, true, true},
    };
    for (const Case& c : cases) {
        Project project;
        StartNewProject(project);
        project.Servos[6].Enabled = c.enabled;
        project.Servos[6].Used = c.used;
        project.Built = c.built;
        EXPECT_EQ(ServoLooks(project)[6].dimmed, c.dimmed)
            << "enabled " << c.enabled << ", built " << c.built << ", used " << c.used;
    }
}

TEST(ControllerView, RepaintsOnlyWhenSomethingChanged) {
    Project project;
    StartNewProject(project);
    ControllerState state;
    ControllerView view(project, [&] { return state; });
    view.Refresh();
    const int first = view.RepaintRequests();
    view.Refresh();
    EXPECT_EQ(view.RepaintRequests(), first) << "nothing arrived, nothing changed";

    state.position[2] = 40;
    ++state.generation;
    view.Refresh();
    EXPECT_EQ(view.RepaintRequests(), first + 1);
    EXPECT_EQ(view.Shown().position[2], 40);

    project.Servos[2].Name = "Jaw";
    view.Refresh();
    EXPECT_EQ(view.RepaintRequests(), first + 2) << "a new name shows";
}

class ControllerDockTest : public kestrova::testing::StoreTest {};

TEST_F(ControllerDockTest, ShowsWhatTheVirtualControllerReceivedAndIsRemembered) {
    ASSERT_FALSE(MapPortToDevice(store_, 1, kVirtualControllerDevice));
    {
        frmMain window(nullptr, {.store = store_});
        window.NewFile();
        window.show();
        QApplication::processEvents();
        EXPECT_FALSE(window.ControllerDock()->isVisible()) << "hidden until the user asks for it";
        window.ControllerDock()->toggleViewAction()->trigger();
        ASSERT_TRUE(window.ControllerDock()->isVisible());
        // Beside the window where the screen has room, else docked: never over it.
        QDockWidget* dock = window.ControllerDock();
        EXPECT_TRUE(!dock->isFloating() || !dock->frameGeometry().intersects(window.frameGeometry()))
            << dock->frameGeometry().x() << " " << window.frameGeometry().right();

        double now = 0;
        window.link().Controller().SetClock([&] { return now; });
        window.link().ApplyCommSettings(window.project().Settings);
        QTest::mouseClick(window.Panel()->chkCOM(), Qt::LeftButton, {}, QPoint(6, 6));
        ASSERT_TRUE(window.link().IsVirtual());
        QTest::mouseClick(window.Panel()->cmdMin(3), Qt::LeftButton);
        ControllerView* view = window.ControllerViewWidget();
        view->Refresh();
        EXPECT_EQ(view->Shown().position[3], -1) << "the bytes are still on the line";
        now = 1;
        view->Refresh();
        EXPECT_EQ(view->Shown().position[3], window.project().Servos[3].Min);
        emit view->SweepChosen(90);  // as the view's context menu does
        window.close();
    }
    frmMain again(nullptr, {.store = store_});
    QApplication::processEvents();
    EXPECT_TRUE(again.ControllerDock()->isVisible()) << "shown as the user left it";
    EXPECT_EQ(again.ControllerViewWidget()->Sweep(), 90);
    again.ControllerDock()->toggleViewAction()->trigger();
    frmMain third(nullptr, {.store = store_});
    QApplication::processEvents();
    EXPECT_FALSE(third.ControllerDock()->isVisible());
}

}  // namespace
