#pragma once
// A servo's speed and acceleration caps as the project keeps them: whole
// positions per second and per second squared, 0 for none.

#include "limiter.h"
#include "project.h"

#include <optional>
#include <string_view>

namespace kestrova {

// The largest cap a file or the table accepts; anything faster is no cap.
inline constexpr int32_t kMostCap = 100000;

// A cap's text: a whole number from 0 to kMostCap (blanks around it
// ignored); nothing otherwise.
std::optional<int32_t> CapFromText(std::string_view text);

inline Caps ServoCaps(const ServoRecord& servo) {
    return Caps{static_cast<double>(servo.MaxSpeed), static_cast<double>(servo.MaxAccel)};
}

}  // namespace kestrova
