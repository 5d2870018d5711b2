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

#include "core/project.h"
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

    // Inner width V of the viewport in pixels.
    int ViewportWidth() const;
    const GraphMapping& Mapping() const { return mapping_; }
    const std::array<CurveStyle, kServoCount>& Curves() const { return curves_; }
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
    QScrollBar* HorizontalBar() const { return hBar_; }

    // Mouse handling of the surfaces, in pixels of the surface; public so
    // that the rules can be driven without a pointer.
    void GraphMouseMove(QPoint pixel);
    void SurfacePress(Qt::MouseButton button, QPoint pixel, QPoint global);
    void MarkerPress(DragKind kind, double pixelX);
    void MarkerMove(DragKind kind, double pixelX);
    void MarkerRelease(DragKind kind);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class timeline_detail::GraphSurface;
    void OnScroll();
    void PlaceMarker(DragKind kind);
    void PlaceGuide(DragKind kind);
    void LayoutInside();

    const Project& project_;
    GraphMapping mapping_;
    std::array<CurveStyle, kServoCount> curves_{};
    bool drawn_ = false;
    int32_t startFrame_ = 1;
    int32_t stopFrame_ = 1;
    int32_t clickFrame_ = 0;
    int32_t dragMarker_ = NoDrag;
    double grab_ = 0;  // where the dragged marker was taken, in pixels
    int32_t playFrame_ = 0;

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
};

}  // namespace kestrova
