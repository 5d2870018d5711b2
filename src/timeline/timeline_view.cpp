#include "timeline_view.h"

#include "audio_lane.h"
#include "core/servo_caps.h"
#include "sound_peaks.h"

#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

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
// The audio lane under the graph.
constexpr int kLaneHeight = 48;
// The length of the limited path's dashes and of the gaps between them.
constexpr double kDashPixels = 4.0;

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
        const GraphMapping& m = view_.Mapping();
        const int32_t frames = std::min(m.Frames(), view_.project_.Frames.UpperBound());
        if (view_.Drawn() && frames >= 2 && m.FramePixels() <= 1.0) {
            PaintColumns(painter, area, frames);
            return;
        }
        painter.fillRect(area, Qt::white);
        if (!view_.Drawn()) return;
        PaintGrid(painter, area);
        // The logical span in view, one frame of margin on each side so the
        // segments entering and leaving the area are drawn whole.
        const double fromX = m.X(area.left()) - 1.0;
        const double toX = m.X(area.right() + 1.0) + 1.0;

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
        for (int s = 0; s < kServoCount; ++s) PaintLimited(painter, s, first, last, frames);
    }

    void mouseMoveEvent(QMouseEvent* event) override { view_.GraphMouseMove(event->position().toPoint()); }
    void mousePressEvent(QMouseEvent* event) override {
        view_.SurfacePress(event->button(), event->position().toPoint(), event->globalPosition().toPoint());
    }

private:
    // Where the caps hold a servo back: its limited path over frames first to
    // last, from the frame before each span to the frame after, so it leaves
    // and joins the curve. Dashed in whole frames, about kDashPixels on and
    // off, so the dashes stay put however the area is repainted; a frame a
    // dash long or more is one segment, dashed by the pen.
    void PaintLimited(QPainter& painter, int s, int32_t first, int32_t last, int32_t frames) {
        const LimitedPath& path = view_.Limited(s);
        if (!path.Differs()) return;
        const GraphMapping& m = view_.Mapping();
        const FrameTable& table = view_.project_.Frames;
        const auto group = static_cast<int32_t>(std::ceil(kDashPixels / m.FramePixels()));
        painter.setPen(QPen(view_.Curves()[s].color, 0, group > 1 ? Qt::SolidLine : Qt::DashLine));
        for (const LimitedPath::Span& span : path.Within(first - 1, last + 1)) {
            auto point = [&](int32_t f) {
                const int32_t position = f >= span.first && f <= span.last ? path.In(span, f) : table[f][s];
                return QPoint(static_cast<int>(m.Column(f)), static_cast<int>(m.PositionRow(position)));
            };
            const int32_t to = std::min({span.last + 1, last, frames});
            for (int32_t f = std::max({span.first - 1, first, 1}); f < to; ++f)
                if (group == 1 || (f / group) % 2 == 0) painter.drawLine(point(f), point(f + 1));
        }
    }

    // The same where frames share pixel columns: each column the limited
    // path passes through, from its lowest to its highest position there, in
    // dashes of half kDashPixels columns of the graph, so that steep
    // stretches still read as a line.
    void PaintLimitedColumns(uint32_t* bits, qsizetype stride, int left, int right, int height, int32_t frames) {
        const GraphMapping& m = view_.Mapping();
        const FrameTable& table = view_.project_.Frames;
        const int dash = static_cast<int>(kDashPixels) / 2;
        const auto first = static_cast<int32_t>(std::max(1.0, std::ceil(m.X(left)) - 1.0));
        const auto last = static_cast<int32_t>(std::min<double>(frames, std::ceil(m.X(right + 1.0)) - 1.0));
        const int bottomRow = std::min(height, m.Height()) - 1;
        for (int s = 0; s < kServoCount; ++s) {
            const LimitedPath& path = view_.Limited(s);
            const uint32_t pixel = view_.Curves()[s].color.rgb() | 0xff000000u;
            for (const LimitedPath::Span& span : path.Within(first - 1, last + 1)) {
                int64_t column = -1;
                int32_t lo = 0, hi = 0, before = 0;
                auto flush = [&] {
                    if (column < std::max(left, 0) || column > right || (column / dash) % 2 != 0) return;
                    const int64_t top = std::max<int64_t>(m.PositionRow(hi), 0);
                    const int64_t bottom = std::min<int64_t>(m.PositionRow(lo), bottomRow);
                    for (int64_t r = top; r <= bottom; ++r) bits[r * stride + (column - left)] = pixel;
                };
                const int32_t to = std::min({span.last + 1, last, frames});
                for (int32_t f = std::max({span.first - 1, first, 1}); f <= to; ++f) {
                    const int32_t position = f >= span.first && f <= span.last ? path.In(span, f) : table[f][s];
                    const int64_t c = m.Column(f);
                    if (c != column) {
                        flush();
                        // The frame before joins the column to the one left of it.
                        lo = hi = column < 0 ? position : before;
                        column = c;
                    }
                    lo = std::min(lo, position);
                    hi = std::max(hi, position);
                    before = position;
                }
                flush();
            }
        }
    }

    void PaintGrid(QPainter& painter, const QRect& area) {
        const GraphMapping& m = view_.Mapping();
        const double fromX = m.X(area.left()) - 1.0;
        const double toX = m.X(area.right() + 1.0) + 1.0;
        painter.setPen(QPen(kGridColor, 0));  // cosmetic: one pixel, fast path
        const int bottom = static_cast<int>(m.Row(kGraphLogicalHeight));
        for (int32_t x : VerticalGridXs(m.Frames(), fromX, toX, GridStep(m.FramePixels()))) {
            const int c = static_cast<int>(m.Column(x));
            painter.drawLine(c, 0, c, bottom);
        }
        const int gridLeft = std::max<int>(area.left(), static_cast<int>(m.Column(1.0)));
        const int gridRight = std::min<int64_t>(area.right(), m.Column(m.LogicalWidth()));
        for (int32_t y : HorizontalGridYs()) {
            const int r = static_cast<int>(m.Row(y));
            painter.drawLine(gridLeft, r, gridRight, r);
        }
    }

    // From a pixel per frame outwards, frames share pixel columns: each
    // column shows, for each servo, one vertical span from the lowest to the
    // highest position of its frames (and of the frame before, so the curve
    // stays joined). The spans are written straight into an image of the
    // area, highest servo first, each pixel once: a higher index covers a
    // lower one as when drawn in order, and the cost follows the area, not
    // the frames or the length of the spans.
    void PaintColumns(QPainter& painter, const QRect& area, int32_t frames) {
        const GraphMapping& m = view_.Mapping();
        const FrameTable& table = view_.project_.Frames;
        CurveLevels& levels = view_.levels_;
        if (!levels.Built()) levels.Build(table);
        // The area, background and grid first, in an opaque image.
        const int left = area.left();
        const int height = area.bottom() + 1;
        if (image_.width() < area.width() || image_.height() < height)
            image_ = QImage(std::max(area.width(), image_.width()), std::max(height, image_.height()),
                            QImage::Format_RGB32);
        image_.fill(Qt::white);
        {
            QPainter grid(&image_);
            grid.translate(-left, 0);
            PaintGrid(grid, area);
        }
        const int right = static_cast<int>(std::min<int64_t>(area.right(), m.Column(double(frames))));
        auto* bits = reinterpret_cast<uint32_t*>(image_.bits());
        const qsizetype stride = image_.bytesPerLine() / 4;
        struct Span {
            int top, bottom;
        };
        std::array<Span, kServoCount> covered{};
        for (int c = std::max(left, 0); c <= right; ++c) {
            const auto first = static_cast<int32_t>(std::max(1.0, std::ceil(m.X(c)) - 1.0));
            const auto last = static_cast<int32_t>(std::min<double>(frames, std::ceil(m.X(c + 1.0)) - 1.0));
            if (last < first) continue;
            uint32_t* column = bits + (c - left);
            int count = 0;  // covered: disjoint, sorted by top
            for (int s = kServoCount - 1; s >= 0; --s) {
                const CurveStyle& curve = view_.Curves()[s];
                if (!curve.drawn) continue;
                int32_t lo = 0, hi = 0;
                levels.Range(table, s, first, last, lo, hi);
                const int64_t top64 = m.PositionRow(hi), bottom64 = m.PositionRow(lo);
                if (bottom64 < 0 || top64 >= std::min(height, m.Height())) continue;
                const int top = static_cast<int>(std::max<int64_t>(top64, 0));
                const int bottom = static_cast<int>(std::min<int64_t>(bottom64, std::min(height, m.Height()) - 1));
                const uint32_t pixel = curve.color.rgb() | 0xff000000u;
                int cursor = top;
                for (int i = 0; i < count && cursor <= bottom; ++i) {
                    if (covered[i].bottom < cursor) continue;
                    for (int r = cursor; r < std::min(covered[i].top, bottom + 1); ++r) column[r * stride] = pixel;
                    cursor = std::max(cursor, covered[i].bottom + 1);
                }
                for (int r = cursor; r <= bottom; ++r) column[r * stride] = pixel;
                // Add the span and merge what now touches.
                int at = 0;
                while (at < count && covered[at].top < top) ++at;
                for (int i = count; i > at; --i) covered[i] = covered[i - 1];
                covered[at] = Span{top, bottom};
                ++count;
                int merged = 0;
                for (int i = 1; i < count; ++i) {
                    if (covered[i].top <= covered[merged].bottom + 1)
                        covered[merged].bottom = std::max(covered[merged].bottom, covered[i].bottom);
                    else
                        covered[++merged] = covered[i];
                }
                count = merged + 1;
            }
        }
        PaintLimitedColumns(bits, stride, left, right, height, frames);
        painter.drawImage(area.topLeft(), image_, QRect(0, area.top(), area.width(), area.height()));
    }

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
    QImage image_;
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
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    clip_ = new QWidget(this);
    clip_->setObjectName(QStringLiteral("picScrollArea"));
    strip_ = new StripSurface(*this, clip_);
    graph_ = new GraphSurface(*this, clip_);
    start_ = new MarkerWidget(*this, DragStart, strip_);
    stop_ = new MarkerWidget(*this, DragStop, strip_);
    startGuide_ = MakeBar(graph_, kStartColor, "picStartPos");
    stopGuide_ = MakeBar(graph_, kStopColor, "picStopPos");
    playBar_ = MakeBar(graph_, Qt::black, "picPos");
    peaks_ = new SoundPeaks(this);
    lane_ = new AudioLane(project_, *peaks_, clip_);
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
    menu_->addSeparator();
    zoomIn_ = menu_->addAction(QStringLiteral("Zoom &In"));
    zoomIn_->setObjectName(QStringLiteral("miZoomIn"));
    zoomOut_ = menu_->addAction(QStringLiteral("Zoom &Out"));
    zoomOut_->setObjectName(QStringLiteral("miZoomOut"));
    zoomFit_ = menu_->addAction(QStringLiteral("&Fit to Window"));
    zoomFit_->setObjectName(QStringLiteral("miZoomFit"));
    connect(zoomIn_, &QAction::triggered, this, [this] { ZoomIn(pressAnchor_); });
    connect(zoomOut_, &QAction::triggered, this, [this] { ZoomOut(pressAnchor_); });
    connect(zoomFit_, &QAction::triggered, this, [this] { FitToWindow(); });

    // The design size is the least; the view grows with its window.
    const QSize least(kViewportOuterWidth,
                      kGraphTop + kGraphHeight + kLaneHeight + 3 + hBar_->sizeHint().height() + 2 * frameWidth());
    setMinimumSize(least);
    resize(least);
    LayoutInside();
}

TimelineView::~TimelineView() = default;

QWidget* TimelineView::picGraph() const { return graph_; }
QWidget* TimelineView::picSlider() const { return strip_; }
QWidget* TimelineView::picStart() const { return start_; }
QWidget* TimelineView::picStop() const { return stop_; }

int TimelineView::ViewportWidth() const { return std::max(contentsRect().width(), 1); }

void TimelineView::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    LayoutInside();
    if (drawn_) {
        // The frame at the left edge stays there.
        Refit(mapping_.X(scrollBars_->Value(cScrollBars::Horizontal)), 0);
    }
}

void TimelineView::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier) || !drawn_) {
        QFrame::wheelEvent(event);
        return;
    }
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return;
    const int anchor = static_cast<int>(event->position().x()) - contentsRect().left();
    ZoomBy(std::pow(std::sqrt(kZoomStep), notches), anchor);
    event->accept();
}

double TimelineView::Zoom() const {
    return double(mapping_.Width()) / GraphPixelWidth(mapping_.Frames(), ViewportWidth());
}

int TimelineView::PointerAnchor() const {
    const QPoint pointer = mapFromGlobal(QCursor::pos()) - contentsRect().topLeft();
    return pointer.x() >= 0 && pointer.x() < ViewportWidth() && pointer.y() >= 0 && pointer.y() < contentsRect().height()
               ? pointer.x()
               : -1;
}

void TimelineView::ZoomBy(double factor, int anchor) {
    if (!drawn_ || !(factor > 0)) return;
    const int viewport = ViewportWidth();
    if (anchor < 0) anchor = PointerAnchor();
    if (anchor < 0 || anchor >= viewport) anchor = viewport / 2;
    const double x = mapping_.X(double(scrollBars_->Value(cScrollBars::Horizontal)) + anchor);
    const int32_t frames = mapping_.Frames();
    const double least = double(viewport + 2) / GraphPixelWidth(frames, viewport);
    zoom_ = std::clamp(Zoom() * factor, std::min(least, 1.0), MaxZoom(frames, viewport));
    fit_ = ZoomedGraphWidth(frames, viewport, zoom_) <= viewport + 2;
    Refit(x, anchor);
}

void TimelineView::FitToWindow() {
    if (!drawn_) return;
    fit_ = true;
    Refit(1.0, 0);
}

void TimelineView::SetFramesPerSecond(int fps) {
    lane_->SetFramesPerSecond(fps);
    // The caps are per second: another rate, another path.
    if (fps == fps_) return;
    fps_ = fps;
    if (!drawn_) return;
    for (int s = 0; s < kServoCount; ++s) TraceLimited(s);
    graph_->update();
}
void TimelineView::SetSoundOffsetMs(int ms) { lane_->SetSoundOffsetMs(ms); }
void TimelineView::SetSoundFolder(const std::string& folder) { lane_->SetSoundFolder(folder); }

void TimelineView::LayoutInside() {
    const QRect inner = contentsRect();
    const int barHeight = hBar_->sizeHint().height();
    clip_->setGeometry(inner.left(), inner.top(), inner.width(), std::max(inner.height() - barHeight, 0));
    hBar_->setGeometry(inner.left(), inner.bottom() + 1 - barHeight, inner.width(), barHeight);
}

void TimelineView::Refit(double anchorX, int anchor) {
    const int32_t frames = mapping_.Frames();
    const int viewport = ViewportWidth();
    const int graphHeight = std::max(kGraphHeight, clip_->height() - kGraphTop - kLaneHeight - 3);
    const int32_t width = fit_ ? viewport + 2 : ZoomedGraphWidth(frames, viewport, zoom_);
    const bool taller = graphHeight != mapping_.Height();
    mapping_ = GraphMapping(frames, width, graphHeight);
    graph_->resize(width, graphHeight);
    strip_->resize(width, kStripHeight);
    lane_->resize(width, kLaneHeight);
    lane_->SetMapping(mapping_);
    PlaceMarker(DragStop);
    PlaceMarker(DragStart);
    PlaceGuide(DragStart);
    PlaceGuide(DragStop);
    playBar_->resize(1, graphHeight);
    if (playBar_->isVisibleTo(graph_)) MovePlayMarker(playFrame_);

    // A page is what the viewport shows; a step a tenth of it.
    cScrollBars& bars = *scrollBars_;
    bars.SetLargeChange(cScrollBars::Horizontal, GraphPageStep(viewport));
    bars.SetSmallChange(cScrollBars::Horizontal, GraphLineStep(viewport));
    bars.SetMax(cScrollBars::Horizontal, width - this->width());
    bars.SetVisible(cScrollBars::Horizontal, true);
    bars.SetVisible(cScrollBars::Vertical, false);
    // The bar would let its value run one past Max, a pixel off that hides
    // the start marker's first column of a short show after a long one.
    const int64_t last = std::max<int64_t>(bars.Max(cScrollBars::Horizontal), 0);
    bars.SetValue(cScrollBars::Horizontal, static_cast<int32_t>(AnchoredScrollValue(mapping_, anchorX, anchor, last)));
    OnScroll();
    graph_->update();
    strip_->update();
    lane_->update();
    if (taller) emit GraphResized();
}

void TimelineView::Draw(const std::array<CurveStyle, kServoCount>& curves, bool resetMarkers) {
    const int32_t frames = std::max(project_.Frames.UpperBound(), 1);
    // Partial states of the resize and the scroll set-up stay off the screen.
    setUpdatesEnabled(false);
    curves_ = curves;
    levels_.Clear();
    for (int s = 0; s < kServoCount; ++s) TraceLimited(s);
    // New markers bring the view back to the start; a rebuild keeps its place.
    const double left = drawn_ && !resetMarkers ? mapping_.X(scrollBars_->Value(cScrollBars::Horizontal)) : 1.0;
    mapping_ = GraphMapping(frames, mapping_.Width(), mapping_.Height());
    if (resetMarkers) {
        stopFrame_ = frames;
        startFrame_ = 1;
    }
    start_->show();
    stop_->show();
    drawn_ = true;
    LayoutInside();
    Refit(left, 0);
    setUpdatesEnabled(true);
}

void TimelineView::ServoRebuilt(int servo) {
    if (!drawn_) return;
    if (std::max(project_.Frames.UpperBound(), 1) != mapping_.Frames()) {
        Draw(curves_, false);
        return;
    }
    if (levels_.Built()) levels_.BuildServo(project_.Frames, servo);
    TraceLimited(servo);
    graph_->update();
}

void TimelineView::TraceLimited(int servo) {
    const auto s = size_t(servo);
    limited_[s] = curves_[s].drawn ? LimitPath(project_.Frames, servo, ServoCaps(project_.Servos[s]), fps_) : LimitedPath{};
}

void TimelineView::OnScroll() {
    const int value = scrollBars_->Value(cScrollBars::Horizontal);
    graph_->move(-value, kGraphTop);
    strip_->move(-value, 0);
    lane_->move(-value, kGraphTop + mapping_.Height() + 3);
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
    guide->setGeometry(static_cast<int>(mapping_.Column(frame)), 0, kGuideLineWidth, mapping_.Height());
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
    playBar_->setGeometry(0, 0, 1, mapping_.Height());
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
    pressAnchor_ = pixel.x() - scrollBars_->Value(cScrollBars::Horizontal);
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
