#pragma once
// The per-user choice of what follows a stop (Escape, the Stop button,
// Ctrl+C on the command line): the servos hold where they are, go Home
// within their caps, or have their pulses switched off where the
// controller can do that.

#include "registry.h"

#include <optional>

namespace kestrova {

enum class AfterStop : int32_t { Hold = 0, Home = 1, PulsesOff = 2 };

inline constexpr const char* kValueAfterStop = "After Stop";

// A missing or unknown value reads as Hold.
AfterStop LoadAfterStop(const StoreLocation& store);
[[nodiscard]] std::optional<RegistryError> SaveAfterStop(const StoreLocation& store, AfterStop after);

}  // namespace kestrova
