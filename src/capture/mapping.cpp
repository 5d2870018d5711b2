#include "mapping.h"

#include "files/settings_store.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace kestrova {

namespace {

constexpr std::array<const char*, 4> kKindNames = {"slider", "gamepad", "midi", "osc"};

// The key of a project file's mapping: a hash of its path keeps the key's
// name within what every store accepts.
std::string MappingKey(const std::string& projectFile) {
    uint64_t hash = 1469598103934665603ull;
    for (const unsigned char c : projectFile) hash = (hash ^ c) * 1099511628211ull;
    char name[24];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return std::string(kProgramKey) + "\\Capture\\" + name;
}

cRegistry At(const StoreLocation& store, const std::string& key, const char* value, int32_t type) {
    cRegistry registry(store);
    registry.SetSectionKey(key);
    registry.SetValueKey(value);
    registry.SetValueType(type);
    return registry;
}

int32_t ReadNumber(const StoreLocation& store, const char* name, int32_t fallback, int32_t low, int32_t high) {
    cRegistry registry = At(store, kProgramKey, name, kRegNumber);
    const RegistryValue value = registry.Value();
    if (std::holds_alternative<std::monostate>(value)) return fallback;
    return std::clamp(RegistryValueToInt32(value), low, high);
}

}  // namespace

std::string BindingText(const Binding& binding) {
    const ControlId& c = binding.control;
    return std::string(kKindNames[size_t(c.kind)]) + "|" + std::to_string(c.control) + "|" +
           (binding.invert ? "1" : "0") + "|" + c.device;
}

Binding ParseBinding(std::string_view text) {
    Binding binding;
    const size_t a = text.find('|');
    const size_t b = a == text.npos ? a : text.find('|', a + 1);
    const size_t c = b == text.npos ? b : text.find('|', b + 1);
    if (c == text.npos) return binding;
    const std::string_view kind = text.substr(0, a);
    const auto found = std::find(kKindNames.begin(), kKindNames.end(), kind);
    int32_t control = 0;
    const std::string_view number = text.substr(a + 1, b - a - 1);
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), control);
    if (found == kKindNames.end() || error != std::errc() || end != number.data() + number.size() || control < 0)
        return binding;
    binding.control = ControlId{SourceKind(found - kKindNames.begin()), std::string(text.substr(c + 1)), control};
    binding.invert = text.substr(b + 1, c - b - 1) == "1";
    return binding;
}

int32_t ServoPosition(double value, const ServoRecord& servo, bool invert) {
    if (!std::isfinite(value)) value = 0.5;
    value = std::clamp(value, 0.0, 1.0);
    if (invert) value = 1.0 - value;
    const double position = servo.Min + value * double(servo.Max - servo.Min);
    return std::clamp(int32_t(std::lround(position)), std::min(servo.Min, servo.Max), std::max(servo.Min, servo.Max));
}

Mapping LoadMapping(const StoreLocation& store, const std::string& projectFile) {
    Mapping mapping;
    const std::string key = MappingKey(projectFile);
    for (int s = 0; s < kServoCount; ++s) {
        const std::string name = "Servo " + std::to_string(s + 1);
        cRegistry registry = At(store, key, name.c_str(), kRegText);
        mapping[size_t(s)] = ParseBinding(RegistryValueText(registry.Value()));
    }
    return mapping;
}

std::optional<RegistryError> SaveMapping(const StoreLocation& store, const std::string& projectFile,
                                         const Mapping& mapping) {
    const std::string key = MappingKey(projectFile);
    if (auto error = At(store, key, "File", kRegText).SetValue(projectFile)) return error;
    for (int s = 0; s < kServoCount; ++s) {
        const std::string name = "Servo " + std::to_string(s + 1);
        if (auto error = At(store, key, name.c_str(), kRegText).SetValue(BindingText(mapping[size_t(s)]))) return error;
    }
    return std::nullopt;
}

CaptureSettings LoadCaptureSettings(const StoreLocation& store) {
    CaptureSettings s;
    s.offsetMs = ReadNumber(store, "Capture Offset", s.offsetMs, 0, 1000);
    s.leadIn = ReadNumber(store, "Capture Lead-in", s.leadIn, 0, 300);
    s.tolerance = ReadNumber(store, "Capture Tolerance", s.tolerance, 0, 10);
    s.oscPort = ReadNumber(store, "OSC Port", s.oscPort, 1, 65535);
    s.deadZone = ReadNumber(store, "Dead Zone", s.deadZone, 0, 50);
    cRegistry address = At(store, kProgramKey, "OSC Address", kRegText);
    if (const std::string text = RegistryValueText(address.Value()); !text.empty()) s.oscAddress = text;
    return s;
}

std::optional<RegistryError> SaveCaptureSettings(const StoreLocation& store, const CaptureSettings& s) {
    const std::pair<const char*, int32_t> numbers[] = {{"Capture Offset", s.offsetMs}, {"Capture Lead-in", s.leadIn},
                                                       {"Capture Tolerance", s.tolerance}, {"OSC Port", s.oscPort},
                                                       {"Dead Zone", s.deadZone}};
    for (const auto& [name, value] : numbers) {
        if (auto error = At(store, kProgramKey, name, kRegNumber).SetValue(value)) return error;
    }
    return At(store, kProgramKey, "OSC Address", kRegText).SetValue(s.oscAddress);
}

}  // namespace kestrova
