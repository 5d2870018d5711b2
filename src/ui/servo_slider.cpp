#include "servo_slider.h"

#include <QKeyEvent>
#include <QPainter>

#include <algorithm>

namespace kestrova {

std::optional<int> SliderKeyValue(int key, int value, int min, int max, int singleStep, int pageStep) {
    int target = value;
    switch (key) {
    case Qt::Key_Right:
    case Qt::Key_Up: target = value + singleStep; break;
    case Qt::Key_Left:
    case Qt::Key_Down: target = value - singleStep; break;
    case Qt::Key_PageUp: target = value + pageStep; break;
    case Qt::Key_PageDown: target = value - pageStep; break;
    case Qt::Key_Home: return min;
    case Qt::Key_End: return max;
    default: return std::nullopt;
    }
    return std::clamp(target, min, std::max(min, max));
}

ServoSlider::ServoSlider(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) { setFocusPolicy(Qt::StrongFocus); }

void ServoSlider::keyPressEvent(QKeyEvent* event) {
    const std::optional<int> target =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)
            ? std::nullopt
            : SliderKeyValue(event->key(), value(), minimum(), maximum(), singleStep(), KeyPageStep());
    if (!target) {
        QScrollBar::keyPressEvent(event);
        return;
    }
    setValue(*target);
    event->accept();
}

int ServoSlider::KeyPageStep() const { return std::max(1, (maximum() - minimum() + 5) / 10); }

void ServoSlider::paintEvent(QPaintEvent* event) {
    QScrollBar::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(this);
    // A thin frame in the highlight colour: the slider is only a few pixels
    // high, and its handle must stay visible inside the mark.
    painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ServoSlider::focusInEvent(QFocusEvent* event) {
    QScrollBar::focusInEvent(event);
    update();
}

void ServoSlider::focusOutEvent(QFocusEvent* event) {
    QScrollBar::focusOutEvent(event);
    update();
}

}  // namespace kestrova
