#pragma once
// The six program settings in the current user's store, under the
// program's own key, and the names of that key's layout.

#include "core/project.h"
#include "files/registry.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrova {

// The program's key below the current user's root.
inline constexpr const char* kProgramKey = "Software\\Talvenor Electronics\\Kestrova v2.0";
// Below it: the recent-files list, and the table that maps port numbers to
// serial devices (value "COM" + number = device path).
inline constexpr const char* kRecentKey = "Software\\Talvenor Electronics\\Kestrova v2.0\\Recent";
inline constexpr const char* kPortsKey = "Software\\Talvenor Electronics\\Kestrova v2.0\\Ports";

// Value names of the six settings (32-bit numbers). Two differ from the
// project-file keys: "COM Port" and "System Priority".
inline constexpr const char* kValueAutoDisable = "AutoDisable";
inline constexpr const char* kValueBaudRate = "BaudRate";
inline constexpr const char* kValueCOMPort = "COM Port";
inline constexpr const char* kValueSSCMode = "SSCMode";
inline constexpr const char* kValueSynchByte = "SynchByte";
inline constexpr const char* kValueSystemPriority = "System Priority";

// Fills settings from the store: a missing value reads as 0, and a port of
// 0 becomes 1. No other value is checked (a stored port 17 stays 17).
void LoadSettings(ProjectSettings& settings);

// Writes the six values, in the order AutoDisable, BaudRate, COM Port,
// SSCMode, SynchByte, System Priority. The first write that fails stops
// the rest and is returned (error 26001); the caller reports it once and
// keeps the values in force.
[[nodiscard]] std::optional<RegistryError> SaveSettings(const ProjectSettings& settings);

// The port table: the device entered for port n, empty when none. A serial
// link is given this as its table of entries.
std::string StoredPortEntry(int32_t n);

// Enters device as port n's device in the port table; an empty device
// returns the port to its platform default.
[[nodiscard]] std::optional<RegistryError> MapPortToDevice(int32_t n, const std::string& device);

}  // namespace kestrova
