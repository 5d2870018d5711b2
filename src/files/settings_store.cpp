#include "settings_store.h"

#include <algorithm>
#include <array>

namespace kestrova {

namespace {

struct SettingField {
    const char* valueName;
    int32_t ProjectSettings::*field;
};

// The store's order of the six values, used for reading and writing alike.
constexpr std::array<SettingField, 6> kFields{{
    {kValueAutoDisable, &ProjectSettings::AutoDisable},
    {kValueBaudRate, &ProjectSettings::BaudRate},
    {kValueCOMPort, &ProjectSettings::COMPort},
    {kValueSSCMode, &ProjectSettings::SSCMode},
    {kValueSynchByte, &ProjectSettings::SynchByte},
    {kValueSystemPriority, &ProjectSettings::SystemPriority},
}};

cRegistry ProgramKey(const StoreLocation& store) {
    cRegistry registry(store);
    registry.SetClassKey(kHkeyCurrentUser);
    registry.SetSectionKey(kProgramKey);
    registry.SetValueType(kRegNumber);
    return registry;
}

}  // namespace

void LoadSettings(const StoreLocation& store, ProjectSettings& settings) {
    cRegistry registry = ProgramKey(store);
    for (const SettingField& f : kFields) {
        registry.SetValueKey(f.valueName);
        settings.*f.field = RegistryValueToInt32(registry.Value());
    }
    if (settings.COMPort == 0) settings.COMPort = 1;
}

std::optional<RegistryError> SaveSettings(const StoreLocation& store, const ProjectSettings& settings) {
    cRegistry registry = ProgramKey(store);
    for (const SettingField& f : kFields) {
        registry.SetValueKey(f.valueName);
        if (auto error = registry.SetValue(settings.*f.field)) return error;
    }
    return std::nullopt;
}

namespace {

cRegistry PortTable(const StoreLocation& store, int32_t n) {
    cRegistry registry(store);
    registry.SetClassKey(kHkeyCurrentUser);
    registry.SetSectionKey(kPortsKey);
    registry.SetValueKey("COM" + std::to_string(n));
    registry.SetValueType(kRegText);
    return registry;
}

}  // namespace

std::string StoredPortEntry(const StoreLocation& store, int32_t n) {
    return RegistryValueText(PortTable(store, n).Value());
}

std::function<std::string(int32_t n)> StoredPortTable(StoreLocation store) {
    return [store = std::move(store)](int32_t n) { return StoredPortEntry(store, n); };
}

std::optional<RegistryError> MapPortToDevice(const StoreLocation& store, int32_t n, const std::string& device) {
    cRegistry table = PortTable(store, n);
    return table.SetValue(device);
}

}  // namespace kestrova

namespace kestrova {

int32_t LoadSoundOffset(const StoreLocation& store) {
    cRegistry registry = ProgramKey(store);
    registry.SetValueKey(kValueSoundOffset);
    return std::clamp(RegistryValueToInt32(registry.Value()), -kSoundOffsetLimit, kSoundOffsetLimit);
}

std::optional<RegistryError> SaveSoundOffset(const StoreLocation& store, int32_t ms) {
    cRegistry registry = ProgramKey(store);
    registry.SetValueKey(kValueSoundOffset);
    return registry.SetValue(std::clamp(ms, -kSoundOffsetLimit, kSoundOffsetLimit));
}

}  // namespace kestrova
