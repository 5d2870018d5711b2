// The timeline at several sizes and zoom levels, and its audio lane.
#include "timeline/audio_lane.h"
#include "timeline/sound_peaks.h"
#include "timeline/timeline_geometry.h"
#include "timeline/timeline_view.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QWheelEvent>

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kestrova;

namespace {

Project Sweep(int32_t frames) {
    Project project;
    project.Frames.Grow(frames);
    for (int32_t f = 1; f <= frames; ++f) {
        project.Frames[f][0] = f % 2 ? 0 : 254;  // a full swing every frame
        project.Frames[f][1] = 127;
    }
    return project;
}

std::array<CurveStyle, kServoCount> TwoCurves() {
    std::array<CurveStyle, kServoCount> curves{};
    curves[0] = CurveStyle{true, QColor(0, 0, 192)};
    curves[1] = CurveStyle{true, QColor(0, 192, 0)};
    return curves;
}

TEST(TimelineZoom, WidthsStayBetweenTheViewportAndTheLimits) {
    struct Case {
        int32_t frames;
        double zoom;
        int32_t width;
    };
    const Case cases[] = {
        {1000, 1.0, 1000},   {1000, 4.0, 4000},       {1000, 0.1, 481},         {25, 1.0, 481},
        {25, 2.0, 962},      {25, 1000.0, 27 * 64},   {1'000'000, 100.0, 16'000'000},
    };
    for (const Case& c : cases) EXPECT_EQ(ZoomedGraphWidth(c.frames, 479, c.zoom), c.width) << c.frames << " " << c.zoom;
    // Grid lines keep at least five pixels apart, ten frames apart when they can.
    for (auto [pixels, step] : {std::pair{1.0, 10}, {0.5, 10}, {0.49, 100}, {0.001, 10'000}, {64.0, 10}})
        EXPECT_EQ(GridStep(pixels), step) << pixels;
}

TEST(TimelineZoom, MarkersReadOutAndScrollFollowEverySizeAndZoom) {
    Project project = Sweep(3000);
    struct Case {
        QSize size;
        int zoomSteps;  // -1: fitted
    };
    for (const Case c : {Case{{481, 300}, 0}, Case{{1200, 700}, 0}, Case{{900, 500}, 3}, Case{{900, 500}, -1},
                         Case{{1600, 900}, -1}}) {
        SCOPED_TRACE(std::to_string(c.size.width()) + " " + std::to_string(c.zoomSteps));
        TimelineView view(project);
        QLabel label;
        view.SetReadoutLabel(&label);
        view.resize(c.size);
        view.Draw(TwoCurves(), true);
        view.SetStartFrame(1200);
        if (c.zoomSteps < 0) view.FitToWindow();
        for (int i = 0; i < c.zoomSteps; ++i) view.ZoomIn(0);
        const GraphMapping& m = view.Mapping();
        const int v = view.ViewportWidth();
        EXPECT_EQ(view.picGraph()->width(), m.Width());
        EXPECT_EQ(view.picSlider()->width(), m.Width());
        EXPECT_EQ(view.StopFrame(), 3000);
        EXPECT_EQ(m.Width(), c.zoomSteps < 0 ? v + 2 : (3000 >= v ? 3000 : v + 2) << std::max(c.zoomSteps, 0));
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
    Project project = Sweep(20'000);
    TimelineView view(project);
    view.resize(1000, 400);
    view.Draw(TwoCurves(), true);
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
    Project project = Sweep(200'000);
    TimelineView view(project);
    view.resize(800, 400);
    view.Draw(TwoCurves(), true);
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

TEST(AudioLane, WaveformsFollowTheRateAndOffsetAndBadFilesSayWhy) {
    kestrova::testing::TempDir dir;
    // One second of a loud tone at 8000 Hz.
    const std::string tone = dir.Write("tone.wav", kestrova::testing::WavBytes(kestrova::testing::Square(8000, 29490, 4), 8000));
    dir.Write("bad.wav", "not a sound");
    Project project = Sweep(200);
    project.WavCues = {WavCue{}, WavCue{10, -1, "tone.wav"}, WavCue{60, 200, "bad.wav"}, WavCue{100, 104, tone},
                       WavCue{150, -1, "missing.wav"}};
    TimelineView view(project);
    view.resize(1000, 400);
    view.SetSoundFolder(dir.Dir().string());
    view.SetFramesPerSecond(10);
    view.Draw(TwoCurves(), true);
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
    struct Case {
        int fps, offsetMs;
        double frame;
        bool wave;
    };
    const Case cases[] = {
        {10, 0, 15, true},   {10, 0, 21, false},   // one second at 10 frames a second
        {20, 0, 25, true},   {20, 0, 31, false},   // at 20 it lasts 20 frames
        {10, 500, 12, false}, {10, 500, 18, true},  // half a second later: from frame 15
        {10, 0, 103, true},  {10, 0, 106, false},  // stopped at frame 104
    };
    for (const Case& c : cases) {
        view.SetFramesPerSecond(c.fps);
        view.SetSoundOffsetMs(c.offsetMs);
        EXPECT_EQ(waveAt(c.frame), c.wave) << c.fps << " " << c.offsetMs << " " << c.frame;
    }
    EXPECT_EQ(lane.CueAt(static_cast<int>(m.Column(62))), 2);
    EXPECT_FALSE(lane.CueProblem(2).isEmpty());
    EXPECT_EQ(lane.CueProblem(4), QStringLiteral("The file was not found."));
    EXPECT_TRUE(lane.CueProblem(1).isEmpty());
}

TEST(CueSpan, SoundEndsAtItsLengthOrItsStopFrame) {
    struct Case {
        WavCue cue;
        double seconds;
        int fps, offset;
        double first, last;
    };
    const Case cases[] = {
        {{10, -1, "a"}, 2.0, 15, 0, 10, 40},  {{10, 25, "a"}, 2.0, 15, 0, 10, 25},
        {{10, 25, "a"}, -1, 15, 0, 10, 25},   {{10, -1, "a"}, -1, 15, 0, 10, 11},
        {{10, -1, "a"}, 1.0, 10, -200, 8, 18}, {{10, 5, "a"}, 1.0, 10, 0, 10, 10},
    };
    for (const Case& c : cases) {
        const CueSpan span = CueSoundSpan(c.cue, c.seconds, c.fps, c.offset);
        EXPECT_DOUBLE_EQ(span.first, c.first);
        EXPECT_DOUBLE_EQ(span.last, c.last);
    }
}

}  // namespace
