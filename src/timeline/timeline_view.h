#pragma once
// The timeline of the execution window: the viewport `picScroll` with the
// marker strip `picSlider` on top of the graph `picGraph`, the start and
// stop markers, their guide lines, the play-position bar, the read-out and
// the pop-up menu that places the markers, scrolled by a cScrollBars.
//
// The graph is painted on demand from the frame table, only the columns in
// view: a picture the width of a long animation is never held, and
// scrolling only moves the graph and the strip inside the viewport. What is
// drawn (which servos, in which colours, for how many frames) is fixed by
// the last Draw, so the picture between two Draws stays the same.
//
// The view grows with its window (the design size is its least): the graph
// takes the height, the width shows more of the animation. The horizontal
// scale zooms around a point of the viewport; fitted, the whole animation
// is in view and stays so as the window is resized. Under the graph the
// audio lane shows the cued sounds on the same scale.

#include "core/limited_path.h"
#include "core/project.h"
#include "curve_levels.h"
#include "scroll_bars.h"
#include "timeline_geometry.h"

#include <QColor>
#include <QFrame>

#include <array>
#include <cstdint>

class QLabel;
class QMenu;
class QAction;
class QScrollBar;

namespace kestrova {

class AudioLane;
class SoundPeaks;

namespace timeline_detail {
class GraphSurface;
class StripSurface;
class MarkerWidget;
}  // namespace timeline_detail

// One servo's curve as the last Draw fixed it.
struct CurveStyle {
    bool drawn = false;
    QColor color;
};

class TimelineView : public QFrame {
    Q_OBJECT
public:
    // Marker kinds, as `lDragMarker` holds them.
    enum DragKind { NoDrag = 0, DragStop = 2, DragStart = 3 };

    explicit TimelineView(const Project& project, QWidget* parent = nullptr);
    ~TimelineView() override;

    // The drawing steps of UpdateGraph: fits graph and strip to the frame
    // table, resets the markers to 1 and N when asked, sets up the scroll
    // bar and repaints with the given curves.
    void Draw(const std::array<CurveStyle, kServoCount>& curves, bool resetMarkers);
    // One servo's column changed in the table (see RebuildServo): repaints
    // with the curves as they are, fitting the graph when the length changed.
    void ServoRebuilt(int servo);

    // Inner width V of the viewport in pixels.
    int ViewportWidth() const;
    int GraphHeight() const { return mapping_.Height(); }

    // Zoom around pixel `anchor` of the viewport (its middle when -1).
    void ZoomBy(double factor, int anchor = -1);
    void ZoomIn(int anchor = -1) { ZoomBy(kZoomStep, anchor); }
    void ZoomOut(int anchor = -1) { ZoomBy(1.0 / kZoomStep, anchor); }
    void FitToWindow();
    // The graph's width over its unzoomed width.
    double Zoom() const;
    bool Fitted() const { return fit_; }

    // The audio lane and what places its sounds.
    AudioLane* picSound() const { return lane_; }
    SoundPeaks& Peaks() { return *peaks_; }
    void SetFramesPerSecond(int fps);
    void SetSoundOffsetMs(int ms);
    void SetSoundFolder(const std::string& folder);
    const GraphMapping& Mapping() const { return mapping_; }
    const std::array<CurveStyle, kServoCount>& Curves() const { return curves_; }
    // Where a drawn servo's caps hold its output back from the table, at the
    // frame rate set: drawn as a thin dashed line over those frames.
    const LimitedPath& Limited(int servo) const { return limited_[size_t(servo)]; }
    bool Drawn() const { return drawn_; }

    int32_t StartFrame() const { return startFrame_; }
    int32_t StopFrame() const { return stopFrame_; }
    // Places a marker (and its guide line) on a frame, without limits.
    void SetStartFrame(int32_t frame);
    void SetStopFrame(int32_t frame);
    int32_t lClickFrame() const { return clickFrame_; }
    int32_t lDragMarker() const { return dragMarker_; }

    // The play-position bar.
    void ShowPlayMarker();
    void MovePlayMarker(int32_t frame);
    void HidePlayMarker();
    bool PlayMarkerVisible() const;
    // Scrolls so the play marker at `frame` stays in view.
    void KeepFrameInView(int32_t frame);

    // The label that shows the read-out.
    void SetReadoutLabel(QLabel* label) { readout_ = label; }

    // The viewport and everything in it (playback disables them).
    void SetGraphControlsEnabled(bool enabled);
    void SetMarkersEnabled(bool enabled);

    cScrollBars& cSB() { return *scrollBars_; }
    QWidget* picGraph() const;
    QWidget* picSlider() const;
    QWidget* picStart() const;
    QWidget* picStop() const;
    QWidget* picStartPos() const { return startGuide_; }
    QWidget* picStopPos() const { return stopGuide_; }
    QWidget* picPos() const { return playBar_; }
    QMenu* miHidden1() const { return menu_; }
    QAction* miMovStart() const { return moveStart_; }
    QAction* miMovStop() const { return moveStop_; }
    QAction* miZoomIn() const { return zoomIn_; }
    QAction* miZoomOut() const { return zoomOut_; }
    QAction* miZoomFit() const { return zoomFit_; }
    QScrollBar* HorizontalBar() const { return hBar_; }

    // Mouse handling of the surfaces, in pixels of the surface; public so
    // that the rules can be driven without a pointer.
    void GraphMouseMove(QPoint pixel);
    void SurfacePress(Qt::MouseButton button, QPoint pixel, QPoint global);
    void MarkerPress(DragKind kind, double pixelX);
    void MarkerMove(DragKind kind, double pixelX);
    void MarkerRelease(DragKind kind);

signals:
    // The graph's height or place changed (the axis labels follow it).
    void GraphResized();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    friend class timeline_detail::GraphSurface;
    // Fits graph, strip, lane, markers and the scroll bar to the zoom and
    // the viewport; logical x `anchorX` ends at viewport pixel `anchor`.
    void Refit(double anchorX, int anchor);
    // Viewport pixel of the pointer when it is over the view, else -1.
    int PointerAnchor() const;
    void OnScroll();
    void PlaceMarker(DragKind kind);
    void PlaceGuide(DragKind kind);
    void LayoutInside();
    void TraceLimited(int servo);

    const Project& project_;
    GraphMapping mapping_;
    std::array<CurveStyle, kServoCount> curves_{};
    std::array<LimitedPath, kServoCount> limited_{};
    int fps_ = 15;
    bool drawn_ = false;
    int32_t startFrame_ = 1;
    int32_t stopFrame_ = 1;
    int32_t clickFrame_ = 0;
    int32_t dragMarker_ = NoDrag;
    double grab_ = 0;  // where the dragged marker was taken, in pixels
    int32_t playFrame_ = 0;
    double zoom_ = 1.0;
    bool fit_ = false;
    int pressAnchor_ = -1;  // viewport pixel of the last press
    CurveLevels levels_;

    QWidget* clip_ = nullptr;
    timeline_detail::StripSurface* strip_ = nullptr;
    timeline_detail::GraphSurface* graph_ = nullptr;
    timeline_detail::MarkerWidget* start_ = nullptr;
    timeline_detail::MarkerWidget* stop_ = nullptr;
    QWidget* startGuide_ = nullptr;
    QWidget* stopGuide_ = nullptr;
    QWidget* playBar_ = nullptr;
    QScrollBar* hBar_ = nullptr;
    QScrollBar* vBar_ = nullptr;
    cScrollBars* scrollBars_ = nullptr;
    QLabel* readout_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* moveStart_ = nullptr;
    QAction* moveStop_ = nullptr;
    QAction* zoomIn_ = nullptr;
    QAction* zoomOut_ = nullptr;
    QAction* zoomFit_ = nullptr;
    SoundPeaks* peaks_ = nullptr;
    AudioLane* lane_ = nullptr;
};

}  // namespace kestrova
