#include "timeline_view.h"

#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kestrova {

namespace {

const QColor kStripColor(224, 224, 224);
const QColor kGridColor(240, 240, 240);
const QColor kStartColor(0, 255, 0);
const QColor kStopColor(255, 0, 0);
const QColor kMarkerEdge(128, 128, 128);
// A marker narrower than this would be hard to take with the pointer.
constexpr int kMinMarkerWidth = 7;

// A bar of one colour: the guide lines and the play-position bar.
class ColorBar : public QWidget {
public:
    ColorBar(QWidget* parent, const QColor& color) : QWidget(parent), color_(color) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.fillRect(event->rect(), color_);
    }

private:
    QColor color_;
};

QWidget* MakeBar(QWidget* parent, const QColor& color, const char* name) {
    auto* bar = new ColorBar(parent, color);
    bar->setObjectName(QString::fromLatin1(name));
    bar->hide();
    return bar;
}

}  // namespace

namespace timeline_detail {

// picGraph: grid and curves, painted from the frame table for the columns
// asked for.
class GraphSurface : public QWidget {
public:
    explicit GraphSurface(TimelineView& view, QWidget* parent) : QWidget(parent), view_(view) {
        setObjectName(QStringLiteral("picGraph"));
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        const QRect area = event->rect();
        painter.fillRect(area, Qt::white);
        if (!view_.Drawn()) return;
        const GraphMapping& m = view_.Mapping();
        const int32_t frames = std::min(m.Frames(), view_.project_.Frames.UpperBound());
        // The logical span in view, one frame of margin on each side so the
        // segments entering and leaving the area are drawn whole.
        const double fromX = m.X(area.left()) - 1.0;
        const double toX = m.X(area.right() + 1.0) + 1.0;

        painter.setPen(QPen(kGridColor, 0));  // cosmetic: one pixel, fast path
        const int bottom = static_cast<int>(m.Row(kGraphLogicalHeight));
        for (int32_t x : VerticalGridXs(m.Frames(), fromX, toX)) {
            const int c = static_cast<int>(m.Column(x));
            painter.drawLine(c, 0, c, bottom);
        }
        const int gridLeft = std::max<int>(area.left(), static_cast<int>(m.Column(1.0)));
        const int gridRight = std::min<int64_t>(area.right(), m.Column(m.LogicalWidth()));
        for (int32_t y : HorizontalGridYs()) {
            const int r = static_cast<int>(m.Row(y));
            painter.drawLine(gridLeft, r, gridRight, r);
        }

        const auto first = static_cast<int32_t>(std::clamp(std::floor(fromX), 1.0, double(std::max(frames, 1))));
        const auto last = static_cast<int32_t>(std::clamp(std::ceil(toX), 1.0, double(std::max(frames, 1))));
        if (frames < 2 || last <= first) return;
        const FrameTable& table = view_.project_.Frames;
        points_.reserve(static_cast<size_t>(last - first) + 1);
        for (int s = 0; s < kServoCount; ++s) {
            const CurveStyle& curve = view_.Curves()[s];
            if (!curve.drawn) continue;
            points_.clear();
            for (int32_t f = first; f <= last; ++f) {
                AddPoint(QPoint(static_cast<int>(m.Column(f)), static_cast<int>(m.PositionRow(table[f][s]))));
            }
            painter.setPen(QPen(curve.color, 0));
            painter.drawPolyline(points_.data(), static_cast<int>(points_.size()));
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override { view_.GraphMouseMove(event->position().toPoint()); }
    void mousePressEvent(QMouseEvent* event) override {
        view_.SurfacePress(event->button(), event->position().toPoint(), event->globalPosition().toPoint());
    }

private:
    // Appends a point of a curve; a point that only continues the previous
    // segment in the same direction replaces that segment's end, so holds
    // and steady moves become one line each: the same picture from far
    // fewer segments.
    void AddPoint(QPoint p) {
        const size_t n = points_.size();
        if (n >= 2) {
            const QPoint a = points_[n - 1] - points_[n - 2];
            const QPoint b = p - points_[n - 1];
            const bool sameLine = a.x() * b.y() == a.y() * b.x();
            const bool sameWay = a.x() * b.x() + a.y() * b.y() > 0;
            if (sameLine && sameWay) {
                points_[n - 1] = p;
                return;
            }
        }
        if (n >= 1 && points_[n - 1] == p) return;
        points_.push_back(p);
    }

    TimelineView& view_;
    std::vector<QPoint> points_;
};

// picSlider: the grey strip that carries the markers.
class StripSurface : public QWidget {
public:
    StripSurface(TimelineView& view, QWidget* parent) : QWidget(parent), view_(view) {
        setObjectName(QStringLiteral("picSlider"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.fillRect(event->rect(), kStripColor);
    }
    void mousePressEvent(QMouseEvent* event) override {
        view_.SurfacePress(event->button(), event->position().toPoint(), event->globalPosition().toPoint());
    }

private:
    TimelineView& view_;
};

// picStart / picStop: one frame wide, a one-pixel bar down the left edge.
class MarkerWidget : public QWidget {
public:
    MarkerWidget(TimelineView& view, TimelineView::DragKind kind, QWidget* parent)
        : QWidget(parent), view_(view), kind_(kind) {
        setObjectName(kind == TimelineView::DragStart ? QStringLiteral("picStart") : QStringLiteral("picStop"));
        setCursor(Qt::SizeHorCursor);
        setToolTip(kind == TimelineView::DragStart ? QStringLiteral("Start position")
                                                   : QStringLiteral("Stop position"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect r = rect();
        painter.fillRect(r, kStripColor);
        painter.setPen(kMarkerEdge);
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topRight(), r.bottomRight());
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.fillRect(0, 0, 1, r.height(), kind_ == TimelineView::DragStart ? kStartColor : kStopColor);
    }
    void mousePressEvent(QMouseEvent* event) override { view_.MarkerPress(kind_, event->position().x()); }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (event->buttons() != Qt::NoButton) view_.MarkerMove(kind_, event->position().x());
    }
    void mouseReleaseEvent(QMouseEvent*) override { view_.MarkerRelease(kind_); }

private:
    TimelineView& view_;
    TimelineView::DragKind kind_;
};

}  // namespace timeline_detail

using timeline_detail::GraphSurface;
using timeline_detail::MarkerWidget;
using timeline_detail::StripSurface;

TimelineView::TimelineView(const Project& project, QWidget* parent) : QFrame(parent), project_(project) {
    setObjectName(QStringLiteral("picScroll"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setFixedWidth(kViewportOuterWidth);

    clip_ = new QWidget(this);
    clip_->setObjectName(QStringLiteral("picScrollArea"));
    strip_ = new StripSurface(*this, clip_);
    graph_ = new GraphSurface(*this, clip_);
    start_ = new MarkerWidget(*this, DragStart, strip_);
    stop_ = new MarkerWidget(*this, DragStop, strip_);
    startGuide_ = MakeBar(graph_, kStartColor, "picStartPos");
    stopGuide_ = MakeBar(graph_, kStopColor, "picStopPos");
    playBar_ = MakeBar(graph_, Qt::black, "picPos");
    strip_->setGeometry(0, 0, 1, kStripHeight);
    graph_->setGeometry(0, kGraphTop, 1, kGraphHeight);
    start_->hide();
    stop_->hide();

    hBar_ = new QScrollBar(Qt::Horizontal, this);
    hBar_->setObjectName(QStringLiteral("hscScroll"));
    vBar_ = new QScrollBar(Qt::Vertical, this);
    vBar_->setObjectName(QStringLiteral("vscScroll"));
    vBar_->hide();

    scrollBars_ = new cScrollBars(this);
    scrollBars_->Create(hBar_, vBar_);
    scrollBars_->SetEnabled(cScrollBars::Horizontal, true);
    scrollBars_->SetEnabled(cScrollBars::Vertical, true);
    connect(scrollBars_, &cScrollBars::Change, this, [this](int) { OnScroll(); });
    connect(scrollBars_, &cScrollBars::Scroll, this, [this](int) { OnScroll(); });

    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("miHidden1"));
    moveStart_ = menu_->addAction(QStringLiteral("Move &start position here"));
    moveStart_->setObjectName(QStringLiteral("miMovStart"));
    moveStop_ = menu_->addAction(QStringLiteral("Move s&top position here"));
    moveStop_->setObjectName(QStringLiteral("miMovStop"));
    connect(moveStart_, &QAction::triggered, this, [this] { SetStartFrame(clickFrame_); });
    connect(moveStop_, &QAction::triggered, this, [this] { SetStopFrame(clickFrame_); });

    setFixedHeight(kGraphHeight + kStripHeight + 3 + hBar_->sizeHint().height());
    LayoutInside();
}

TimelineView::~TimelineView() = default;

QWidget* TimelineView::picGraph() const { return graph_; }
QWidget* TimelineView::picSlider() const { return strip_; }
QWidget* TimelineView::picStart() const { return start_; }
QWidget* TimelineView::picStop() const { return stop_; }

int TimelineView::ViewportWidth() const { return kViewportOuterWidth - 2 * frameWidth(); }

void TimelineView::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    LayoutInside();
}

void TimelineView::LayoutInside() {
    const QRect inner = contentsRect();
    const int barHeight = hBar_->sizeHint().height();
    clip_->setGeometry(inner.left(), inner.top(), inner.width(), std::max(inner.height() - barHeight, 0));
    hBar_->setGeometry(inner.left(), inner.bottom() + 1 - barHeight, inner.width(), barHeight);
}

void TimelineView::Draw(const std::array<CurveStyle, kServoCount>& curves, bool resetMarkers) {
    const int32_t frames = std::max(project_.Frames.UpperBound(), 1);
    const int viewport = ViewportWidth();
    // Partial states of the resize and the scroll set-up stay off the screen.
    setUpdatesEnabled(false);
    curves_ = curves;
    mapping_ = GraphMapping(frames, GraphPixelWidth(frames, viewport), kGraphHeight);
    graph_->resize(mapping_.Width(), kGraphHeight);
    strip_->resize(mapping_.Width(), kStripHeight);
    setFixedHeight(kGraphHeight + kStripHeight + 3 + hBar_->sizeHint().height() + 2 * frameWidth());

    if (resetMarkers) {
        stopFrame_ = frames;
        startFrame_ = 1;
    }
    PlaceMarker(DragStop);
    PlaceMarker(DragStart);
    start_->show();
    stop_->show();
    PlaceGuide(DragStart);
    PlaceGuide(DragStop);
    if (playBar_->isVisibleTo(graph_)) MovePlayMarker(playFrame_);

    cScrollBars& bars = *scrollBars_;
    bars.SetLargeChange(cScrollBars::Horizontal, GraphPageStep(viewport));
    bars.SetSmallChange(cScrollBars::Horizontal, GraphLineStep(viewport));
    bars.SetMax(cScrollBars::Horizontal, mapping_.Width() - kViewportOuterWidth);
    // The bar lets its value run one past Max; after a scroll through a long
    // show, a short one would so start a pixel off and hide the start
    // marker's first column. New markers bring the view back to the start.
    const int32_t lastValue = std::max(bars.Max(cScrollBars::Horizontal), 0);
    if (resetMarkers) {
        bars.SetValue(cScrollBars::Horizontal, 0);
    } else if (bars.Value(cScrollBars::Horizontal) > lastValue) {
        bars.SetValue(cScrollBars::Horizontal, lastValue);
    }
    bars.SetVisible(cScrollBars::Horizontal, true);
    bars.SetVisible(cScrollBars::Vertical, false);
    drawn_ = true;
    LayoutInside();
    OnScroll();
    graph_->update();
    strip_->update();
    setUpdatesEnabled(true);
}

void TimelineView::OnScroll() {
    const int value = scrollBars_->Value(cScrollBars::Horizontal);
    graph_->move(-value, kGraphTop);
    strip_->move(-value, 0);
}

void TimelineView::PlaceMarker(DragKind kind) {
    MarkerWidget* marker = kind == DragStart ? start_ : stop_;
    const int32_t frame = kind == DragStart ? startFrame_ : stopFrame_;
    const int width = std::max(static_cast<int>(std::lround(mapping_.FramePixels())), kMinMarkerWidth);
    marker->setGeometry(static_cast<int>(mapping_.Column(frame)), 0, width, kStripHeight);
}

void TimelineView::PlaceGuide(DragKind kind) {
    QWidget* guide = kind == DragStart ? startGuide_ : stopGuide_;
    const int32_t frame = kind == DragStart ? startFrame_ : stopFrame_;
    guide->setGeometry(static_cast<int>(mapping_.Column(frame)), 0, kGuideLineWidth, kGraphHeight);
}

void TimelineView::SetStartFrame(int32_t frame) {
    startFrame_ = frame;
    PlaceMarker(DragStart);
    PlaceGuide(DragStart);
}

void TimelineView::SetStopFrame(int32_t frame) {
    stopFrame_ = frame;
    PlaceMarker(DragStop);
    PlaceGuide(DragStop);
}

void TimelineView::ShowPlayMarker() {
    playBar_->setGeometry(0, 0, 1, kGraphHeight);
    playBar_->show();
    playBar_->raise();
}

void TimelineView::MovePlayMarker(int32_t frame) {
    playFrame_ = frame;
    playBar_->move(static_cast<int>(mapping_.Column(frame)), 0);
}

void TimelineView::HidePlayMarker() { playBar_->hide(); }

bool TimelineView::PlayMarkerVisible() const { return playBar_->isVisibleTo(graph_); }

void TimelineView::KeepFrameInView(int32_t frame) {
    const int64_t value = scrollBars_->Value(cScrollBars::Horizontal);
    const auto next = KeepInViewValue(value, ViewportWidth(), mapping_.Column(frame));
    if (!next) return;
    const int64_t top = int64_t(scrollBars_->Max(cScrollBars::Horizontal)) + 1;
    const int64_t bounded = std::clamp<int64_t>(*next, scrollBars_->Min(cScrollBars::Horizontal), std::max<int64_t>(top, 0));
    scrollBars_->SetValue(cScrollBars::Horizontal, static_cast<int32_t>(bounded));
}

void TimelineView::SetGraphControlsEnabled(bool enabled) {
    setEnabled(enabled);
    graph_->setEnabled(enabled);
    strip_->setEnabled(enabled);
    SetMarkersEnabled(enabled);
}

void TimelineView::SetMarkersEnabled(bool enabled) {
    start_->setEnabled(enabled);
    stop_->setEnabled(enabled);
}

void TimelineView::GraphMouseMove(QPoint pixel) {
    if (!drawn_) return;
    // The row's middle: every row then reads the position drawn on it, the
    // top row 254 and the bottom row 0.
    const std::string text = ReadOutText(mapping_.X(pixel.x()), mapping_.Y(pixel.y() + 0.5));
    if (!readout_) return;
    const QString caption = QString::fromStdString(text);
    if (readout_->text() != caption) readout_->setText(caption);
    readout_->repaint();
}

void TimelineView::SurfacePress(Qt::MouseButton button, QPoint pixel, QPoint global) {
    if (!drawn_) return;
    clickFrame_ = ClickFrame(mapping_.X(pixel.x()));
    if (button == Qt::RightButton) menu_->popup(global);
}

void TimelineView::MarkerPress(DragKind kind, double pixelX) {
    dragMarker_ = kind;
    // The whole frames between the marker's left edge and the point taken:
    // none when the marker is one frame wide.
    const double framePixels = mapping_.FramePixels();
    grab_ = framePixels > 0 ? std::floor(std::max(pixelX, 0.0) / framePixels) * framePixels : 0.0;
    QWidget* guide = kind == DragStart ? startGuide_ : stopGuide_;
    PlaceGuide(kind);
    guide->show();
    guide->raise();
}

void TimelineView::MarkerMove(DragKind kind, double pixelX) {
    if (dragMarker_ != kind) return;
    const int32_t frame = kind == DragStart ? startFrame_ : stopFrame_;
    const int32_t next = DragFrame(frame, pixelX, grab_, mapping_.FramePixels(), mapping_.Frames());
    if (kind == DragStart)
        SetStartFrame(next);
    else
        SetStopFrame(next);
}

void TimelineView::MarkerRelease(DragKind kind) {
    dragMarker_ = NoDrag;
    (kind == DragStart ? startGuide_ : stopGuide_)->hide();
}

}  // namespace kestrova
