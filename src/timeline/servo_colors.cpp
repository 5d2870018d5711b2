#include "servo_colors.h"

#include <array>

namespace kestrova {

QColor ServoColor(int servo) {
    static const std::array<QColor, 16> colors = {
        QColor(192, 0, 192),   QColor(0, 0, 192),     QColor(0, 192, 192),   QColor(0, 192, 0),
        QColor(192, 192, 0),   QColor(192, 64, 0),    QColor(255, 192, 128), QColor(224, 224, 224),
        QColor(255, 192, 255), QColor(192, 192, 255), QColor(192, 255, 255), QColor(192, 255, 192),
        QColor(255, 255, 192), QColor(255, 224, 192), QColor(255, 192, 192), QColor(0, 0, 0),
    };
    return servo >= 0 && servo < 16 ? colors[servo] : QColor();
}

}  // namespace kestrova
