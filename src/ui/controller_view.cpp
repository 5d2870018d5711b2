#include "controller_view.h"

#include "timeline/servo_colors.h"

#include <QPainter>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPaintEvent>
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

// The pulse the servo gets, "1500 µs  " (quarter microseconds shown when
// the board has them); nothing while it is unknown.
QString PulseText(int32_t quarterMicros) {
    if (quarterMicros <= 0) return {};
    const bool whole = quarterMicros % 4 == 0;
    return QString::number(quarterMicros / 4.0, 'f', whole ? 0 : 2) + QStringLiteral(" \u00b5s  ");
}

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
    background_ = QPixmap();
    ++repaints_;
    update();
}

void ControllerView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QMenu* sweeps = menu.addMenu(QStringLiteral("&Dial Sweep"));
    for (const double degrees : {90.0, 180.0, 270.0}) {
        QAction* choice = sweeps->addAction(QString::number(degrees) + QChar(0x00B0));
        choice->setCheckable(true);
        choice->setChecked(degrees == sweep_);
        connect(choice, &QAction::triggered, this, [this, degrees] {
            SetSweep(degrees);
            emit SweepChosen(degrees);
        });
    }
    menu.exec(event->globalPos());
}

void ControllerView::Refresh() {
    ControllerState state = source_ ? source_() : ControllerState{};
    std::array<ServoLook, kServoCount> looks = ServoLooks(project_);
    const bool looksChanged = !shownOnce_ || looks != looks_;
    if (!looksChanged && state.generation == state_.generation && state.synchByte == state_.synchByte) return;
    shownOnce_ = true;
    // Only the servos that moved are painted again.
    QRegion moved;
    for (int s = 0; s < kServoCount; ++s)
        if (state.position[static_cast<size_t>(s)] != state_.position[static_cast<size_t>(s)] ||
            state.pulse[static_cast<size_t>(s)] != state_.pulse[static_cast<size_t>(s)])
            moved += CellAt(s).box.toAlignedRect();
    const bool counted = state.commands != state_.commands || state.notUnderstood != state_.notUnderstood ||
                         state.synchByte != state_.synchByte || state.protocol != state_.protocol;
    if (counted) moved += FooterRect();
    state_ = state;
    looks_ = std::move(looks);
    if (looksChanged) {
        background_ = QPixmap();
        update();
    } else if (!moved.isEmpty()) {
        update(moved);
    } else {
        return;
    }
    ++repaints_;
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

QSize ControllerView::sizeHint() const {
    return {kColumns * kCellWidth, (kServoCount / kColumns) * kCellHeight + FooterRect().height()};
}

QSize ControllerView::minimumSizeHint() const { return {kColumns * 80, (kServoCount / kColumns) * 80}; }

void ControllerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    background_ = QPixmap();
}

void ControllerView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) background_ = QPixmap();
}

QRect ControllerView::FooterRect() const {
    const int line = QFontMetrics(font()).height() + 4;
    return QRect(0, height() - line, width(), line);
}

ControllerView::Cell ControllerView::CellAt(int servo) const {
    const double w = width() / static_cast<double>(kColumns);
    const double h = FooterRect().top() / static_cast<double>(kServoCount / kColumns);
    Cell cell;
    cell.box = QRectF((servo % kColumns) * w, (servo / kColumns) * h, w, h).adjusted(3, 3, -3, -3);
    const double line = QFontMetricsF(font()).height();
    cell.name = QRectF(cell.box.left() + 4, cell.box.top() + 2, cell.box.width() - 8, line);
    const QRectF dial(cell.box.left() + 4, cell.name.bottom() + 2, cell.box.width() - 8,
                      cell.box.height() - 2 * line - 10);
    cell.radius = std::max(4.0, std::min(dial.width() / 2, dial.height() * 0.9) - 2);
    cell.hub = QPointF(dial.center().x(), dial.top() + (dial.height() + cell.radius) / 2);
    cell.caption = QRectF(cell.box.left() + 4, cell.box.bottom() - line - 2, cell.box.width() - 8, line);
    return cell;
}

void ControllerView::paintEvent(QPaintEvent* event) {
    // The boxes, names and dials change seldom: they are drawn once into a
    // picture; each repaint puts the horns and numbers over it.
    if (background_.size() != size() * devicePixelRatio()) {
        background_ = QPixmap(size() * devicePixelRatio());
        background_.setDevicePixelRatio(devicePixelRatio());
        background_.fill(palette().window().color());
        QPainter painter(&background_);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int s = 0; s < kServoCount; ++s) PaintDial(painter, s);
    }
    QPainter painter(this);
    painter.drawPixmap(event->rect(), background_,
                       QRectF(QPointF(event->rect().topLeft()) * devicePixelRatio(),
                              QSizeF(event->rect().size()) * devicePixelRatio()));
    painter.setRenderHint(QPainter::Antialiasing);
    for (int s = 0; s < kServoCount; ++s)
        if (CellAt(s).box.intersects(event->rect())) PaintHorn(painter, s);
    if (FooterRect().intersects(event->rect())) {
        painter.setPen(palette().text().color());
        const QString reader = state_.protocol == 0
                                   ? QStringLiteral("Synch byte %1").arg(state_.synchByte)
                                   : QString::fromStdString(ProtocolName(state_.protocol));
        painter.drawText(FooterRect().adjusted(6, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("%1: %2 commands received, %3 bytes not understood")
                             .arg(reader)
                             .arg(state_.commands)
                             .arg(state_.notUnderstood));
    }
}

void ControllerView::PaintDial(QPainter& painter, int servo) {
    const ServoLook& look = looks_[static_cast<size_t>(servo)];
    const Cell cell = CellAt(servo);
    painter.save();
    painter.setOpacity(look.dimmed ? kDimmedOpacity : 1.0);
    const QPalette& pal = palette();
    painter.setPen(QPen(pal.mid().color(), 1));
    painter.setBrush(pal.base());
    painter.drawRoundedRect(cell.box, 4, 4);

    painter.setPen(pal.text().color());
    const QString name = QString::number(servo + 1) + QStringLiteral("  ") + QString::fromStdString(look.name);
    painter.drawText(cell.name, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(font()).elidedText(name, Qt::ElideRight, cell.name.width()));

    // An arc over the sweep; position 0 at its left end.
    const double start = 90.0 + sweep_ / 2;  // degrees counter-clockwise from 3 o'clock
    painter.setPen(QPen(pal.mid().color(), 2));
    painter.setBrush(Qt::NoBrush);
    const QRectF arcBox(cell.hub.x() - cell.radius, cell.hub.y() - cell.radius, 2 * cell.radius, 2 * cell.radius);
    painter.drawArc(arcBox, static_cast<int>(start * 16), static_cast<int>(-sweep_ * 16));
    painter.restore();
}

void ControllerView::PaintHorn(QPainter& painter, int servo) {
    const Cell cell = CellAt(servo);
    const int position = state_.position[static_cast<size_t>(servo)];
    const QPalette& pal = palette();
    painter.save();
    painter.setOpacity(looks_[static_cast<size_t>(servo)].dimmed ? kDimmedOpacity : 1.0);
    QString caption = QStringLiteral("-");
    if (position >= 0) {
        const double angle = PositionAngle(position, sweep_);
        const double onScreen = (90.0 + sweep_ / 2 - angle) * std::numbers::pi / 180.0;
        const QPointF tip(cell.hub.x() + cell.radius * 0.9 * std::cos(onScreen),
                          cell.hub.y() - cell.radius * 0.9 * std::sin(onScreen));
        painter.setPen(QPen(ServoColor(servo), std::max(3.0, cell.radius / 6), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(cell.hub, tip);
        caption = QString::number(position) + QStringLiteral("  ") + PulseText(state_.pulse[static_cast<size_t>(servo)]) +
                  QString::number(angle, 'f', 0) + QChar(0x00B0);
    }
    if (state_.pulse[static_cast<size_t>(servo)] == 0) caption = QStringLiteral("off");
    painter.setPen(Qt::NoPen);
    painter.setBrush(pal.text());
    painter.drawEllipse(cell.hub, 3, 3);
    painter.setPen(pal.text().color());
    painter.drawText(cell.caption, Qt::AlignCenter, caption);
    painter.restore();
}

}  // namespace kestrova
