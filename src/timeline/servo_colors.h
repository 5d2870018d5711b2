#pragma once
// The colour of each servo's curve and swatch in the timeline.

#include <QColor>

namespace kestrova {

// The colour of servo index 0 to 15.
QColor ServoColor(int servo);

}  // namespace kestrova
