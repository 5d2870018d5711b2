#include "controller_view.h"

#include "timeline/servo_colors.h"

#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrova {

namespace {

constexpr int kColumns = 4;
constexpr int kCellWidth = 128;
constexpr int kCellHeight = 112;
constexpr double kDimmedOpacity = 0.35;

}  // namespace

std::array<ServoLook, kServoCount> ServoLooks(const Project& project) {
    std::array<ServoLook, kServoCount> looks;
    for (int s = 0; s < kServoCount; ++s) {
        const ServoRecord& servo = project.Servos[s];
        looks[s].name = servo.Name;
        // Before the first build nothing is known of use.
        looks[s].dimmed = !servo.Enabled || (project.Built && !servo.Used);
    }
    return looks;
}

double PositionAngle(int position, double sweep) { return position * sweep / 255.0; }

ControllerView::ControllerView(const Project& project, StateSource source, QWidget* parent)
    : QWidget(parent), project_(project), source_(std::move(source)), timer_(new QTimer(this)) {
    setObjectName(QStringLiteral("controllerView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(timer_, &QTimer::timeout, this, &ControllerView::Refresh);
    looks_ = ServoLooks(project_);
}

void ControllerView::SetSweep(double degrees) {
    if (degrees <= 0 || degrees > 360 || degrees == sweep_) return;
    sweep_ = degrees;
    ++repaints_;
    update();
}

void ControllerView::Refresh() {
    ControllerState state = source_ ? source_() : ControllerState{};
    std::array<ServoLook, kServoCount> looks = ServoLooks(project_);
    if (shownOnce_ && state.generation == state_.generation && state.synchByte == state_.synchByte &&
        looks == looks_)
        return;
    shownOnce_ = true;
    state_ = state;
    looks_ = std::move(looks);
    ++repaints_;
    update();
}

void ControllerView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    const QScreen* shownOn = screen();
    const double hz = shownOn && shownOn->refreshRate() > 1 ? shownOn->refreshRate() : 60.0;
    timer_->start(std::max(1, static_cast<int>(1000.0 / hz)));
    Refresh();
}

void ControllerView::hideEvent(QHideEvent* event) {
    timer_->stop();
    QWidget::hideEvent(event);
}

QSize ControllerView::sizeHint() const { return {kColumns * kCellWidth, (kServoCount / kColumns) * kCellHeight}; }

QSize ControllerView::minimumSizeHint() const { return {kColumns * 80, (kServoCount / kColumns) * 80}; }

void ControllerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = width() / static_cast<double>(kColumns);
    const double h = height() / static_cast<double>(kServoCount / kColumns);
    for (int s = 0; s < kServoCount; ++s)
        PaintServo(painter, s, QRectF((s % kColumns) * w, (s / kColumns) * h, w, h).adjusted(3, 3, -3, -3));
}

void ControllerView::PaintServo(QPainter& painter, int servo, const QRectF& cell) {
    const ServoLook& look = looks_[static_cast<size_t>(servo)];
    const int position = state_.position[static_cast<size_t>(servo)];
    painter.save();
    painter.setOpacity(look.dimmed ? kDimmedOpacity : 1.0);
    const QPalette& pal = palette();
    painter.setPen(QPen(pal.mid().color(), 1));
    painter.setBrush(pal.base());
    painter.drawRoundedRect(cell, 4, 4);

    const QFontMetricsF metrics(painter.font());
    const double line = metrics.height();
    const QRectF nameRect(cell.left() + 4, cell.top() + 2, cell.width() - 8, line);
    painter.setPen(pal.text().color());
    const QString name = QString::number(servo + 1) + QStringLiteral("  ") + QString::fromStdString(look.name);
    painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(name, Qt::ElideRight, nameRect.width()));

    // The dial: an arc over the sweep, the horn from its hub.
    const QRectF dialArea(cell.left() + 4, nameRect.bottom() + 2, cell.width() - 8,
                          cell.height() - 2 * line - 10);
    const double radius = std::max(4.0, std::min(dialArea.width() / 2, dialArea.height() * 0.9) - 2);
    const QPointF hub(dialArea.center().x(), dialArea.top() + (dialArea.height() + radius) / 2);
    const double start = 90.0 + sweep_ / 2;  // position 0, degrees counter-clockwise from 3 o'clock
    painter.setPen(QPen(pal.mid().color(), 2));
    painter.setBrush(Qt::NoBrush);
    const QRectF arcBox(hub.x() - radius, hub.y() - radius, 2 * radius, 2 * radius);
    painter.drawArc(arcBox, static_cast<int>(start * 16), static_cast<int>(-sweep_ * 16));

    QString caption = QStringLiteral("-");
    if (position >= 0) {
        const double angle = PositionAngle(position, sweep_);
        const double screen = (start - angle) * std::numbers::pi / 180.0;
        const QPointF tip(hub.x() + radius * 0.9 * std::cos(screen), hub.y() - radius * 0.9 * std::sin(screen));
        painter.setPen(QPen(ServoColor(servo), std::max(3.0, radius / 6), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(hub, tip);
        caption = QString::number(position) + QStringLiteral("  ") + QString::number(angle, 'f', 0) +
                  QChar(0x00B0);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(pal.text());
    painter.drawEllipse(hub, 3, 3);
    painter.setPen(pal.text().color());
    painter.drawText(QRectF(cell.left() + 4, cell.bottom() - line - 2, cell.width() - 8, line), Qt::AlignCenter,
                     caption);
    painter.restore();
}

}  // namespace kestrova
