#pragma once
// The position slider of a servo frame: a horizontal scroll bar whose keys
// move the position as a person reads them (Right, Up and PageUp raise it;
// Left, Down and PageDown lower it; Home and End go to Min and Max), with a
// visible mark while it holds the keyboard focus. PageUp and PageDown step
// by a tenth of the range, the arrows by one.

#include <QScrollBar>

#include <optional>

namespace kestrova {

// The value a key takes the slider to; nothing for keys the slider leaves
// alone. The result stays within min to max.
std::optional<int> SliderKeyValue(int key, int value, int min, int max, int singleStep, int pageStep);

class ServoSlider : public QScrollBar {
public:
    explicit ServoSlider(QWidget* parent = nullptr);
    // The step of PageUp and PageDown: a tenth of the range, at least 1.
    int KeyPageStep() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace kestrova
