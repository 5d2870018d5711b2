#pragma once
// The six program settings in the current user's store, under the
// program's own key, and the names of that key's layout.

#include "core/project.h"
#include "files/registry.h"

#include <cstdint>
#include <functional>
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
void LoadSettings(const StoreLocation& store, ProjectSettings& settings);

// Writes the six values, in the order AutoDisable, BaudRate, COM Port,
// SSCMode, SynchByte, System Priority. The first write that fails stops
// the rest and is returned (error 26001); the caller reports it once and
// keeps the values in force.
[[nodiscard]] std::optional<RegistryError> SaveSettings(const StoreLocation& store, const ProjectSettings& settings);

// The port table: the device entered for port n, empty when none.
std::string StoredPortEntry(const StoreLocation& store, int32_t n);
// StoredPortEntry of that store, as a serial link's table of entries.
std::function<std::string(int32_t n)> StoredPortTable(StoreLocation store);

// Enters device as port n's device in the port table; an empty device
// returns the port to its platform default.
[[nodiscard]] std::optional<RegistryError> MapPortToDevice(const StoreLocation& store, int32_t n,
                                                           const std::string& device);

}  // namespace kestrova

namespace kestrova {

// The per-user "Sound offset": milliseconds by which every cue starts later
// (earlier when negative) than its frame, -500 to 500. It stays with the
// user's machine (audio and servo latency), not with the project.
inline constexpr const char* kValueSoundOffset = "Sound Offset";
inline constexpr int32_t kSoundOffsetLimit = 500;
// A missing value reads as 0; a value beyond the limits as the nearest limit.
int32_t LoadSoundOffset(const StoreLocation& store);
[[nodiscard]] std::optional<RegistryError> SaveSoundOffset(const StoreLocation& store, int32_t ms);

}  // namespace kestrova
