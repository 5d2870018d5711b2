#include "settings_store.h"

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

cRegistry ProgramKey() {
    cRegistry registry;
    registry.SetClassKey(kHkeyCurrentUser);
    registry.SetSectionKey(kProgramKey);
    registry.SetValueType(kRegNumber);
    return registry;
}

}  // namespace

void LoadSettings(ProjectSettings& settings) {
    cRegistry registry = ProgramKey();
    for (const SettingField& f : kFields) {
        registry.SetValueKey(f.valueName);
        settings.*f.field = RegistryValueToInt32(registry.Value());
    }
    if (settings.COMPort == 0) settings.COMPort = 1;
}

std::optional<RegistryError> SaveSettings(const ProjectSettings& settings) {
    cRegistry registry = ProgramKey();
    for (const SettingField& f : kFields) {
        registry.SetValueKey(f.valueName);
        if (auto error = registry.SetValue(settings.*f.field)) return error;
    }
    return std::nullopt;
}

namespace {

cRegistry PortTable(int32_t n) {
    cRegistry registry;
    registry.SetClassKey(kHkeyCurrentUser);
    registry.SetSectionKey(kPortsKey);
    registry.SetValueKey("COM" + std::to_string(n));
    registry.SetValueType(kRegText);
    return registry;
}

}  // namespace

std::string StoredPortEntry(int32_t n) { return RegistryValueText(PortTable(n).Value()); }

std::optional<RegistryError> MapPortToDevice(int32_t n, const std::string& device) {
    cRegistry table = PortTable(n);
    return table.SetValue(device);
}

}  // namespace kestrova
