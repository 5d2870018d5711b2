// The execution window as it grows: the graph takes the room, the axis
// keeps level with it, and the zoom commands reach the timeline.
#include "core/compiler.h"
#include "link/serial_link.h"
#include "playback/execution_window.h"
#include "timeline/timeline_view.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

TEST(ExeWindowSize, GraphFillsTheWindowAndZoomCommandsReachIt) {
    Project project;
    StartNewProject(project);
    project.Programs[0] = "Mov 200, 1500\r\nMov 10, 1500";
    ASSERT_EQ(BuildAnimation(project).outcome, BuildOutcome::Success);
    SerialLink link;
    frmExe window(project, link, [] {});
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.UpdateGraph(true);
    TimelineView& view = window.Timeline();
    auto* zero = window.findChild<QLabel*>(QStringLiteral("Label1_1"));
    int lastWidth = 0;
    for (QSize size : {QSize(700, 450), QSize(1100, 700), QSize(1600, 1000)}) {
        window.resize(size);
        QApplication::processEvents();
        SCOPED_TRACE(size.width());
        EXPECT_GE(view.ViewportWidth(), 479);
        EXPECT_GT(view.ViewportWidth(), lastWidth);
        lastWidth = view.ViewportWidth();
        EXPECT_GE(view.GraphHeight(), 249);
        const int32_t frames = project.Frames.UpperBound();
        EXPECT_EQ(view.picGraph()->width(), frames >= view.ViewportWidth() ? frames : view.ViewportWidth() + 2);
        // "0" stands level with the graph's bottom.
        const int bottom = view.mapTo(&window, view.picGraph()->geometry().bottomLeft()).y();
        EXPECT_NEAR(zero->mapTo(&window, zero->rect().center()).y(), bottom, zero->height());
    }
    const double before = view.Zoom();
    window.ToolbarButton(QStringLiteral("zoomin"))->trigger();
    EXPECT_DOUBLE_EQ(view.Zoom(), before * 2);
    window.ToolbarButton(QStringLiteral("zoomout"))->trigger();
    EXPECT_DOUBLE_EQ(view.Zoom(), before);
    window.ToolbarButton(QStringLiteral("zoomfit"))->trigger();
    EXPECT_TRUE(view.Fitted());
}

}  // namespace
