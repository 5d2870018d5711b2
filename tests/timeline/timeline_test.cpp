// The timeline's coordinates, its small rules, and the view: scrolling, the
// picture it paints, the markers and the pop-up menu.
#include "timeline/timeline_geometry.h"
#include "timeline/timeline_view.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <limits>

using namespace kestrova;

namespace {

constexpr double kAll = std::numeric_limits<double>::infinity();

TEST(GraphGeometry, ShortAnimationsStretchLongOnesTakeAPixelPerFrame) {
    for (auto [frames, width] : {std::pair{25, 481}, {478, 481}, {479, 479}, {1'000'000, 1'000'000}})
        EXPECT_EQ(GraphPixelWidth(frames, 479), width) << frames;
}

TEST(GraphGeometry, ColumnsRowsAndGridLines) {
    const GraphMapping longOne(1000, 1000, 249);
    EXPECT_EQ(longOne.Column(1), 0);
    EXPECT_EQ(longOne.Column(1001), 998);  // 1000 * 1000 / 1002
    EXPECT_NEAR(longOne.X(0), 1.0, 1e-9);
    EXPECT_NEAR(longOne.X(1000), 1003.0, 1e-9);  // the right edge is N + 3
    const GraphMapping shortOne(25, 481, 249);
    EXPECT_EQ(shortOne.Column(2), 17);  // 481 / 27 pixels a frame
    EXPECT_EQ(shortOne.Column(26), 445);
    // 254 on the top edge, 0 one unit above the bottom edge.
    EXPECT_EQ(longOne.PositionRow(254), 0);
    EXPECT_EQ(longOne.PositionRow(0), 248);
    EXPECT_EQ(longOne.PositionRow(127), 124);
    EXPECT_NEAR(longOne.Y(249), 255.0, 1e-9);

    EXPECT_EQ(VerticalGridXs(25, -kAll, kAll), (std::vector<int32_t>{0, 10, 20}));
    EXPECT_EQ(VerticalGridXs(28, -kAll, kAll), (std::vector<int32_t>{0, 10, 20, 30}));
    EXPECT_EQ(VerticalGridXs(1000, 495.0, 521.0), (std::vector<int32_t>{500, 510, 520}));
}

TEST(TimelineRules, ClickFrameRoundsHalvesToEvenAndReadOutTruncates) {
    for (auto [x, frame] : {std::pair{12.5, 12}, {13.5, 14}, {12.49, 12}, {12.51, 13}, {1.0, 1}})
        EXPECT_EQ(ClickFrame(x), frame) << x;
    EXPECT_EQ(ReadOutText(1.0, 0.0), "  Frame: 1 - Pos: 254");
    EXPECT_EQ(ReadOutText(12.99, 254.5), "  Frame: 12 - Pos: 0");
    EXPECT_EQ(ReadOutText(27.2, 127.9), "  Frame: 27 - Pos: 127");
}

TEST(TimelineRules, DraggedMarkersMoveByWholeFramesWithinOneToN) {
    struct Case {
        int32_t frame;
        double pointer, grab, framePixels;
        int32_t result;
    };
    const Case cases[] = {
        {5, 3.0, 0, 10, 5},      // over the marker: stays
        {5, -0.5, 0, 10, 4},     // just left of its left edge: one frame back
        {5, 25.0, 0, 10, 7},     // two whole widths on
        {5, 25.0, 20, 10, 5},    // taken two frames in: the same point holds it
        {2, -100.0, 0, 10, 1},   // never before frame 1
        {49, 300.0, 0, 10, 50},  // never beyond N
        {53, 0.0, 0, 1, 50},     // placed beyond N by the menu: back at once
    };
    for (const Case& c : cases)
        EXPECT_EQ(DragFrame(c.frame, c.pointer, c.grab, c.framePixels, 50), c.result) << c.frame << " " << c.pointer;
}

TEST(TimelineRules, DurationHasOneDecimalAndNoLeadingZero) {
    struct Case {
        int32_t frames;
        int fps;
        const char* text;
    };
    for (const Case& c : {Case{300, 15, "20.0 seconds"}, Case{7, 15, ".5 seconds"}, Case{10, 20, ".5 seconds"},
                          Case{100, 15, "6.7 seconds"}, Case{1'000'000, 30, "33333.3 seconds"}})
        EXPECT_EQ(DurationText(c.frames, c.fps), c.text) << c.frames << "/" << c.fps;
}

TEST(TimelineRules, ThePlayMarkerPagesOnByTheViewportsWidthInPixels) {
    struct Case {
        int64_t value, marker;
        std::optional<int64_t> result;
    };
    const Case cases[] = {
        {0, 478, std::nullopt},  // the last column in view
        {0, 479, 479},           // one past: the marker carries on from the left edge
        {0, 5000, 5000},         // far beyond one page: straight to it
        {500, 499, 499},         // left of the view
        {500, 500, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(KeepInViewValue(c.value, 479, c.marker), c.result) << c.value << " " << c.marker;
}

// Servo 0 at `position` throughout, servo 1 rising one step a frame.
Project MakeProject(int32_t frames, int32_t position) {
    Project project;
    project.Frames.Grow(frames);
    for (int32_t f = 1; f <= frames; ++f) {
        project.Frames[f][0] = position;
        project.Frames[f][1] = f % 255;
    }
    return project;
}

// Servo 0 drawn in blue; servo 1 has a colour but is not drawn.
std::array<CurveStyle, kServoCount> Curves() {
    std::array<CurveStyle, kServoCount> curves{};
    curves[0] = CurveStyle{true, QColor(0, 0, 192)};
    curves[1] = CurveStyle{false, QColor(192, 0, 192)};
    return curves;
}

TEST(TimelineView, ScrollsGraphAndStripTogetherAndKeepsThePlayMarkerInView) {
    Project project = MakeProject(5000, 127);
    TimelineView view(project);
    view.Draw(Curves(), true);
    view.cSB().SetValue(0, 1234);
    EXPECT_EQ(view.picGraph()->x(), -1234);
    EXPECT_EQ(view.picSlider()->x(), -1234);
    // The trough pages by the visible width, the arrows step by a tenth.
    const int page = view.ViewportWidth();
    for (auto [action, x] : {std::pair{QAbstractSlider::SliderSingleStepSub, -1234 + page / 10},
                             {QAbstractSlider::SliderPageStepAdd, -1234 + page / 10 - page},
                             {QAbstractSlider::SliderPageStepSub, -1234 + page / 10}}) {
        view.HorizontalBar()->triggerAction(action);
        EXPECT_EQ(view.picGraph()->x(), x) << action;
        EXPECT_EQ(view.picSlider()->x(), x) << action;
    }

    // The first frame past the right edge pages on: it stands at the left edge.
    view.cSB().SetValue(0, 0);
    int32_t f = 1;
    while (view.Mapping().Column(f) < view.ViewportWidth()) ++f;
    view.KeepFrameInView(f);
    EXPECT_EQ(view.Mapping().Column(f) + view.picGraph()->x(), 0);
}

TEST(TimelineView, ARebuiltShorterAnimationShowsItsMarkersAfterAScrolledLongOne) {
    Project project = MakeProject(5000, 127);
    TimelineView view(project);
    view.resize(view.sizeHint());
    view.show();
    view.Draw(Curves(), true);
    view.cSB().SetValue(0, view.cSB().Max(0));
    project.Frames = MakeProject(30, 127).Frames;
    view.Draw(Curves(), true);
    EXPECT_EQ(view.cSB().Value(0), 0);
    for (QWidget* part : {view.picStart(), view.picStop()}) {
        EXPECT_TRUE(part->isVisible()) << part->objectName().toStdString();
        const int left = part->mapTo(&view, QPoint(0, 0)).x();
        EXPECT_GE(left, 0) << part->objectName().toStdString();
        EXPECT_LT(left, view.ViewportWidth()) << part->objectName().toStdString();
    }
}

TEST(TimelineView, PaintsCurvesOnTheirRowsAndOnlyTheDrawnServos) {
    const QColor blue(0, 0, 192);
    Project high = MakeProject(25, 254), low = MakeProject(25, 0);
    TimelineView view(high), lowView(low);
    view.Draw(Curves(), true);
    lowView.Draw(Curves(), true);
    const QImage image = view.picGraph()->grab().toImage();
    const QImage lowImage = lowView.picGraph()->grab().toImage();
    const GraphMapping& m = view.Mapping();
    const int middle = static_cast<int>(m.Column(12));
    // 254 runs along the top edge; 0 lies one unit above the bottom edge.
    EXPECT_EQ(image.pixelColor(middle, 0), blue);
    EXPECT_EQ(lowImage.pixelColor(middle, 248), blue);
    EXPECT_NE(lowImage.pixelColor(middle, 0), blue);
    // Servo 1 is not drawn: its row holds no colour of its own.
    EXPECT_EQ(image.pixelColor(middle, static_cast<int>(m.PositionRow(12))), QColor(Qt::white));
    // A vertical grid line at frame 10, in grid grey.
    EXPECT_EQ(image.pixelColor(static_cast<int>(m.Column(10)), 100), QColor(240, 240, 240));
    // Frame 1 to N: nothing beyond the last frame's column on the top row.
    EXPECT_NE(image.pixelColor(static_cast<int>(m.Column(25)) + 3, 0), blue);
}

TEST(TimelineView, MenuPlacesMarkersAnywhereAndDraggingBringsThemBack) {
    Project project = MakeProject(25, 127);
    TimelineView view(project);
    view.Draw(Curves(), true);
    const GraphMapping& m = view.Mapping();

    // A left press opens nothing.
    view.SurfacePress(Qt::LeftButton, QPoint(static_cast<int>(m.Column(7)) + 1, 10), QPoint());
    EXPECT_FALSE(view.miHidden1()->isVisible());
    // At the right edge a press lies beyond N; the menu puts the stop marker there.
    view.SurfacePress(Qt::RightButton, QPoint(m.Width() - 1, 10), QPoint(100, 100));
    EXPECT_EQ(view.lClickFrame(), 28);
    EXPECT_TRUE(view.miHidden1()->isVisible());
    view.miHidden1()->hide();
    view.miMovStop()->trigger();
    EXPECT_EQ(view.StopFrame(), 28);
    EXPECT_EQ(view.picStopPos()->x(), static_cast<int>(m.Column(28)));
    // The start marker may go past the stop marker.
    view.SurfacePress(Qt::RightButton, QPoint(static_cast<int>(m.Column(20)) + 1, 5), QPoint(100, 100));
    view.miHidden1()->hide();
    view.miMovStart()->trigger();
    EXPECT_EQ(view.StartFrame(), 20);

    // Taking the stop marker and moving at all brings it back to N.
    view.MarkerPress(TimelineView::DragStop, 0);
    EXPECT_TRUE(view.picStopPos()->isVisibleTo(view.picGraph()));
    view.MarkerMove(TimelineView::DragStart, 0);  // not the marker being dragged
    EXPECT_EQ(view.StartFrame(), 20);
    view.MarkerMove(TimelineView::DragStop, 0);
    EXPECT_EQ(view.StopFrame(), 25);
    view.MarkerRelease(TimelineView::DragStop);
    EXPECT_EQ(view.lDragMarker(), TimelineView::NoDrag);
    EXPECT_FALSE(view.picStopPos()->isVisibleTo(view.picGraph()));

    // A redraw without checks keeps the markers; with checks they go back.
    view.SetStartFrame(9);
    view.Draw(Curves(), false);
    EXPECT_EQ(view.StartFrame(), 9);
    view.Draw(Curves(), true);
    EXPECT_EQ(view.StartFrame(), 1);
    EXPECT_EQ(view.StopFrame(), 25);
}

}  // namespace
