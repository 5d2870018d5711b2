// The timeline's coordinates, its small rules, and the view: scrolling, the
// picture it paints, the markers and the pop-up menu, several sizes and zoom
// levels, and the audio lane.
#include "timeline/audio_lane.h"
#include "timeline/sound_peaks.h"
#include "timeline/timeline_geometry.h"
#include "timeline/timeline_view.h"

#include "support/test_files.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
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
    // Frame, pointer, grab and frame width in pixels: the frame it goes to in 1 to 50.
    for (auto [frame, pointer, grab, framePixels, result] : {
             std::tuple{5, 3.0, 0, 10, 5},  // over the marker: stays
             {5, -0.5, 0, 10, 4},           // just left of its left edge: one frame back
             {5, 25.0, 0, 10, 7},           // two whole widths on
             {5, 25.0, 20, 10, 5},          // taken two frames in: the same point holds it
             {2, -100.0, 0, 10, 1},         // never before frame 1
             {49, 300.0, 0, 10, 50},        // never beyond N
             {53, 0.0, 0, 1, 50}})          // placed beyond N by the menu: back at once
        EXPECT_EQ(DragFrame(frame, pointer, grab, framePixels, 50), result) << frame << " " << pointer;
}

TEST(TimelineRules, DurationHasOneDecimalAndLongShowsReadInMinutesAndHours) {
    for (auto [frames, fps, text] : {std::tuple{300, 15, "20.0 seconds"}, {7, 15, "0.5 seconds"}, {1, 15, "0.1 seconds"},
                                     {100, 15, "6.7 seconds"}, {899, 15, "59.9 seconds"}, {900, 15, "1 min 0.0 s"},
                                     {50'024, 15, "55 min 34.9 s"}, {1'000'000, 30, "9 h 15 min 33.3 s"}})
        EXPECT_EQ(DurationText(frames, fps), text) << frames << "/" << fps;
}

TEST(TimelineRules, ThePlayMarkerPagesOnByTheViewportsWidthInPixels) {
    for (auto [value, marker, result] : {
             std::tuple<int64_t, int64_t, std::optional<int64_t>>{0, 478, std::nullopt},  // the last column in view
             {0, 479, 479},    // one past: the marker carries on from the left edge
             {0, 5000, 5000},  // far beyond one page: straight to it
             {500, 499, 499},  // left of the view
             {500, 500, std::nullopt}})
        EXPECT_EQ(KeepInViewValue(value, 479, marker), result) << value << " " << marker;
}

// Servo 0 at `position` throughout and servo 1 rising one step a frame; with
// no position, servo 0 swings fully every frame and servo 1 holds 127.
Project MakeProject(int32_t frames, std::optional<int> position = std::nullopt) {
    Project project;
    project.Frames.Grow(frames);
    for (int32_t f = 1; f <= frames; ++f) {
        project.Frames[f][0] = position.value_or(f % 2 ? 0 : 254);
        project.Frames[f][1] = position ? f % 255 : 127;
    }
    return project;
}

// Servo 0 drawn in blue; servo 1 in green when `both`, else not drawn.
std::array<CurveStyle, kServoCount> Curves(bool both = false) {
    std::array<CurveStyle, kServoCount> curves{};
    curves[0] = CurveStyle{true, QColor(0, 0, 192)};
    curves[1] = CurveStyle{both, QColor(0, 192, 0)};
    return curves;
}

TEST(TimelineView, ScrollsGraphAndStripTogetherAndKeepsThePlayMarkerInView) {
    Project project = MakeProject(5000, 127);
    TimelineView view(project);
    view.resize(view.sizeHint());
    view.show();
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

    // A shorter animation rebuilt after a scrolled long one shows its markers.
    view.cSB().SetValue(0, view.cSB().Max(0));
    project.Frames = MakeProject(30, 127).Frames;
    view.Draw(Curves(), true);
    EXPECT_EQ(view.cSB().Value(0), 0);
    for (QWidget* part : {view.picStart(), view.picStop()}) {
        const int left = part->mapTo(&view, QPoint(0, 0)).x();
        EXPECT_TRUE(part->isVisible() && left >= 0 && left < view.ViewportWidth())
            << part->objectName().toStdString() << " at " << left;
    }
}

TEST(TimelineView, PaintsCurvesOnTheirRowsAndOnlyTheDrawnServos) {
    const QColor blue(0, 0, 192);
    Project high = MakeProject(25, 254);
    TimelineView view(high);
    view.Draw(Curves(), true);
    const QImage image = view.picGraph()->grab().toImage();
    const GraphMapping& m = view.Mapping();
    const int middle = static_cast<int>(m.Column(12));
    // 254 runs along the top edge (the zoomed-out test finds 0 on its row).
    EXPECT_EQ(image.pixelColor(middle, 0), blue);
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

TEST(TimelineZoom, WidthsStayBetweenTheViewportAndTheLimits) {
    for (auto [frames, zoom, width] :
         {std::tuple{1000, 1.0, 1000}, {1000, 4.0, 4000}, {1000, 0.1, 481}, {25, 1.0, 481}, {25, 2.0, 962},
          {25, 1000.0, 27 * 64}, {1'000'000, 100.0, 16'000'000}})
        EXPECT_EQ(ZoomedGraphWidth(frames, 479, zoom), width) << frames << " " << zoom;
    // Grid lines keep at least five pixels apart, ten frames apart when they can.
    for (auto [pixels, step] : {std::pair{1.0, 10}, {0.5, 10}, {0.49, 100}, {0.001, 10'000}, {64.0, 10}})
        EXPECT_EQ(GridStep(pixels), step) << pixels;
}

TEST(TimelineZoom, MarkersReadOutAndScrollFollowEverySizeAndZoom) {
    Project project = MakeProject(3000);
    // Zoomed in by so many steps, or fitted (-1).
    for (auto [size, zoomSteps] : {std::pair{QSize(481, 300), 0}, {QSize(1200, 700), 0}, {QSize(900, 500), 3},
                                   {QSize(900, 500), -1}, {QSize(1600, 900), -1}}) {
        SCOPED_TRACE(std::to_string(size.width()) + " " + std::to_string(zoomSteps));
        TimelineView view(project);
        QLabel label;
        view.SetReadoutLabel(&label);
        view.resize(size);
        view.Draw(Curves(true), true);
        view.SetStartFrame(1200);
        if (zoomSteps < 0) view.FitToWindow();
        for (int i = 0; i < zoomSteps; ++i) view.ZoomIn(0);
        const GraphMapping& m = view.Mapping();
        const int v = view.ViewportWidth();
        EXPECT_EQ(view.picGraph()->width(), m.Width());
        EXPECT_EQ(view.picSlider()->width(), m.Width());
        EXPECT_EQ(view.StopFrame(), 3000);
        EXPECT_EQ(m.Width(), zoomSteps < 0 ? v + 2 : (3000 >= v ? 3000 : v + 2) << std::max(zoomSteps, 0));
        EXPECT_GE(view.picGraph()->height(), 249);
        EXPECT_EQ(view.picSound()->y(), view.picGraph()->y() + view.picGraph()->height() + 3);
        EXPECT_EQ(view.cSB().Max(0), m.Width() - view.width());
        EXPECT_EQ(view.cSB().LargeChange(0), v);
        EXPECT_EQ(view.picStart()->x(), m.Column(1200));
        // The read-out and a click at the column a frame is drawn on name
        // that frame, as closely as a pixel can.
        const double slack = std::max(1.0, std::ceil(1.0 / m.FramePixels()));
        for (int32_t f : {1, 700, 2999}) {
            const int column = static_cast<int>(m.Column(f));
            view.GraphMouseMove(QPoint(column, 0));
            const int shown = label.text().section(QLatin1Char(' '), 3, 3).toInt();
            EXPECT_NEAR(shown, f, slack) << f;
            view.SurfacePress(Qt::LeftButton, QPoint(column, 0), QPoint());
            EXPECT_NEAR(view.lClickFrame(), f, slack) << f;
        }
        view.GraphMouseMove(QPoint(0, view.picGraph()->height() - 1));
        EXPECT_TRUE(label.text().endsWith(QStringLiteral("Pos: 0")));
    }
}

TEST(TimelineZoom, ZoomKeepsTheFrameUnderThePointer) {
    Project project = MakeProject(20'000);
    TimelineView view(project);
    view.resize(1000, 400);
    view.Draw(Curves(true), true);
    view.cSB().SetValue(0, 5000);
    for (auto [factor, anchor] : {std::pair{2.0, 300}, {8.0, 10}, {0.25, 900}, {1.414, 500}, {0.001, 200}}) {
        const double before = view.Mapping().X(view.cSB().Value(0) + anchor);
        view.ZoomBy(factor, anchor);
        const double after = view.Mapping().X(view.cSB().Value(0) + anchor);
        // Unless the zoom ran into an end of the range, the frame stays put.
        if (view.cSB().Value(0) > 0 && view.cSB().Value(0) <= view.cSB().Max(0)) {
            EXPECT_NEAR(after, before, 1.0 / std::min(view.Mapping().FramePixels(), 1.0)) << factor;
        }
    }
    EXPECT_TRUE(view.Fitted());
    // A fitted view stays fitted as the window grows.
    view.show();
    view.resize(1400, 400);
    QApplication::processEvents();
    EXPECT_EQ(view.Mapping().Width(), view.ViewportWidth() + 2);
    view.miZoomIn()->trigger();
    EXPECT_FALSE(view.Fitted());
    // Ctrl with the wheel (passed up from the graph): two notches are one step.
    const double zoom = view.Zoom();
    QWheelEvent wheel(QPointF(300, 50), view.mapToGlobal(QPointF(300, 50)), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &wheel);
    EXPECT_NEAR(view.Zoom(), zoom * kZoomStep, 0.01);
}

TEST(TimelineZoom, ZoomedOutColumnsSpanEveryPositionTheirFramesTake) {
    Project project = MakeProject(200'000);
    TimelineView view(project);
    view.resize(800, 400);
    view.Draw(Curves(true), true);
    view.FitToWindow();
    const QImage image = view.picGraph()->grab(QRect(0, 0, 700, view.GraphHeight())).toImage();
    const GraphMapping& m = view.Mapping();
    // Servo 0 swings 0 to 254 inside every column: a blue line from top to
    // bottom, broken only where servo 1's flat green line crosses it.
    for (int column : {0, 100, 699}) {
        EXPECT_EQ(image.pixelColor(column, 0), QColor(0, 0, 192)) << column;
        EXPECT_EQ(image.pixelColor(column, static_cast<int>(m.PositionRow(0))), QColor(0, 0, 192)) << column;
        EXPECT_EQ(image.pixelColor(column, static_cast<int>(m.PositionRow(127))), QColor(0, 192, 0)) << column;
    }
}

TEST(TimelineView, TracesTheLimitedPathOfDrawnCappedServosOnly) {
    // Servos 0 to 2 jump from 20 to 230 at frame 3; 1 and 2 may move 30 a
    // frame at 30 frames a second, 2 is not drawn.
    Project project = MakeProject(25, 20);
    for (int32_t f = 1; f <= 25; ++f)
        for (int s : {0, 1, 2}) project.Frames[f][s] = f < 3 ? 20 : 230;
    project.Servos[1].MaxSpeed = project.Servos[2].MaxSpeed = 900;
    TimelineView view(project);
    view.SetFramesPerSecond(30);
    view.Draw(Curves(true), true);
    // The last frame of the one span from frame 3 on; 0 for none.
    auto lags = [&](int servo) {
        const auto& spans = view.Limited(servo).Spans();
        return spans.size() == 1 && spans[0].first == 3 ? spans[0].last : spans.empty() ? 0 : -1;
    };
    EXPECT_EQ((std::array{lags(0), lags(1), lags(2)}), (std::array{0, 8, 0}));
    // Drawn thin in the servo's colour where the output lags: 110 at frame 5.
    const QImage image = view.picGraph()->grab().toImage();
    const GraphMapping& m = view.Mapping();
    EXPECT_EQ(image.pixelColor(static_cast<int>(m.Column(5)), static_cast<int>(m.PositionRow(110))), QColor(0, 192, 0));
    // At half the rate the caps allow twice the step a frame.
    view.SetFramesPerSecond(15);
    EXPECT_EQ(lags(1), 5);
}

TEST(AudioLane, WaveformsFollowTheRateAndOffsetAndBadFilesSayWhy) {
    kestrova::testing::TempDir dir;
    // One second of a loud tone at 8000 Hz.
    const std::string tone = dir.Write("tone.wav", kestrova::testing::WavBytes(kestrova::testing::Square(8000, 29490, 4), 8000));
    dir.Write("bad.wav", "not a sound");
    Project project = MakeProject(200);
    project.WavCues = {WavCue{}, WavCue{10, -1, "tone.wav"}, WavCue{60, 200, "bad.wav"}, WavCue{100, 104, tone},
                       WavCue{150, -1, "missing.wav"}};
    TimelineView view(project);
    view.resize(1000, 400);
    view.SetSoundFolder(dir.Dir().string());
    view.SetFramesPerSecond(10);
    view.Draw(Curves(true), true);
    AudioLane& lane = *view.picSound();
    lane.grab();
    view.Peaks().WaitForAll();
    QApplication::processEvents();

    const GraphMapping& m = view.Mapping();
    const int middle = lane.height() / 2;
    auto waveAt = [&](double frame) {
        const QImage image = lane.grab().toImage();
        return image.pixelColor(static_cast<int>(m.Column(frame)), middle + 5) == QColor(70, 110, 170);
    };
    for (auto [fps, offsetMs, frame, wave] : {
             std::tuple{10, 0, 15, true}, {10, 0, 21, false},    // one second at 10 frames a second
             {20, 0, 25, true},           {20, 0, 31, false},    // at 20 it lasts 20 frames
             {10, 500, 12, false},        {10, 500, 18, true},   // half a second later: from frame 15
             {10, 0, 103, true},          {10, 0, 106, false}}) {  // stopped at frame 104
        view.SetFramesPerSecond(fps);
        view.SetSoundOffsetMs(offsetMs);
        EXPECT_EQ(waveAt(frame), wave) << fps << " " << offsetMs << " " << frame;
    }
    EXPECT_EQ(lane.CueAt(static_cast<int>(m.Column(62))), 2);
    EXPECT_FALSE(lane.CueProblem(2).isEmpty());
    EXPECT_EQ(lane.CueProblem(4), QStringLiteral("The file was not found."));
    EXPECT_TRUE(lane.CueProblem(1).isEmpty());
}

TEST(CueSpan, SoundEndsAtItsLengthOrItsStopFrame) {
    // Cue, seconds of sound (-1: unknown), frames a second, offset in ms: first and last frame.
    for (auto [cue, seconds, fps, offset, first, last] :
         {std::tuple{WavCue{10, -1, "a"}, 2.0, 15, 0, 10.0, 40.0}, {{10, 25, "a"}, 2.0, 15, 0, 10, 25},
          {{10, 25, "a"}, -1, 15, 0, 10, 25}, {{10, -1, "a"}, -1, 15, 0, 10, 11},
          {{10, -1, "a"}, 1.0, 10, -200, 8, 18}, {{10, 5, "a"}, 1.0, 10, 0, 10, 10}}) {
        const CueSpan span = CueSoundSpan(cue, seconds, fps, offset);
        EXPECT_DOUBLE_EQ(span.first, first) << cue.Start << " " << cue.End << " " << seconds;
        EXPECT_DOUBLE_EQ(span.last, last) << cue.Start << " " << cue.End << " " << seconds;
    }
}

}  // namespace
