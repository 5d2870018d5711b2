#pragma once
// Which control drives each servo during a take, and the per-user capture
// settings. A control's full travel maps onto the servo's Min..Max (Max..Min
// inverted). One control may drive several servos (two eyelids on one
// fader); each follows it. The mapping is remembered per user for each
// project file.

#include "capture/input_source.h"
#include "core/project.h"
#include "files/registry.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

struct Binding {
    ControlId control;  // SourceKind::Slider: the servo panel's slider
    bool invert = false;
    bool operator==(const Binding&) const = default;
};
using Mapping = std::array<Binding, kServoCount>;

// The stored form, "gamepad|3|1|Pad name" (kind, control, invert, device),
// and back; text that does not read as a binding is the slider.
std::string BindingText(const Binding& binding);
Binding ParseBinding(std::string_view text);

// A control's value (0..1) as a position of the servo, rounded, within
// Min..Max whichever way round they are.
int32_t ServoPosition(double value, const ServoRecord& servo, bool invert);

// The mapping for a project file ("" for an untitled project): every servo
// on its slider until one is stored.
Mapping LoadMapping(const StoreLocation& store, const std::string& projectFile);
[[nodiscard]] std::optional<RegistryError> SaveMapping(const StoreLocation& store, const std::string& projectFile,
                                                       const Mapping& mapping);

struct CaptureSettings {
    int32_t offsetMs = 0;   // "Capture offset": data shifts earlier by this much, 0 to 1000
    int32_t leadIn = 0;     // frames played before the range, 0 to 300
    int32_t tolerance = 2;  // positions the fit may differ, 0 to 10
    int32_t oscPort = 9000;
    std::string oscAddress = "127.0.0.1";
    int32_t deadZone = 5;   // percent of an axis's travel, 0 to 50
    bool operator==(const CaptureSettings&) const = default;
};
// Missing values read as the defaults, values beyond their limits as the nearest limit.
CaptureSettings LoadCaptureSettings(const StoreLocation& store);
[[nodiscard]] std::optional<RegistryError> SaveCaptureSettings(const StoreLocation& store, const CaptureSettings& s);

}  // namespace kestrova
