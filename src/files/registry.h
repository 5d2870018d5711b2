#pragma once
// cRegistry: the small accessor of the current user's settings store, used
// by the program settings and by the recent-files list.
//
// The store is the per-user settings of Qt (QSettings, native format). A key
// path "Software\<organisation>\<application>\<group>\..." below the
// current user's root maps onto the settings of that organisation and
// application, the components after the application being nested groups:
// on Windows that is the registry key of the same name below
// HKEY_CURRENT_USER, elsewhere the per-user settings file
// "<config>/<organisation>/<application>.conf". Only the current user's root
// is supported; any other root, or a key path outside "Software\...", can be
// neither read nor written.
//
// A settings file cannot record a value's type, so there a stored text that
// is exactly a signed 32-bit decimal number ("0", "-12", "300") reads back
// as a 32-bit number; every other text reads back as text.

#include "core/messages.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kestrova {

// The predefined root handle of the current user's hive (0x80000001).
inline constexpr int32_t kHkeyCurrentUser = static_cast<int32_t>(0x80000001u);

// Value types as the store names them.
inline constexpr int32_t kRegText = 1;        // REG_SZ
inline constexpr int32_t kRegExpandText = 2;  // REG_EXPAND_SZ
inline constexpr int32_t kRegBinary = 3;      // REG_BINARY
inline constexpr int32_t kRegNumber = 4;      // REG_DWORD

// A stored value: empty (nothing stored), a 32-bit number, a text or bytes.
using RegistryValue = std::variant<std::monostate, int32_t, std::string, std::vector<uint8_t>>;

// The value as text: a number in decimal, a text as it is, bytes as the
// characters of those bytes, empty as "".
std::string RegistryValueText(const RegistryValue& value);

// The value as a signed 32-bit integer: a number as it is, a numeric text by
// the program's numeric text rules, anything else (empty, other text,
// bytes) as 0.
int32_t RegistryValueToInt32(const RegistryValue& value);

// The error a failed or refused write raises.
inline constexpr int32_t kRegistryWriteError = 26001;

struct RegistryError {
    int32_t number = kRegistryWriteError;
    std::string source;       // "Kestrova.cRegistry"
    std::string description;  // "Failed to set registry value Key: '...',Section: ..."
};

// The message a registry error is reported with, once.
Message RegistryErrorMessage(const RegistryError& error);

// Where the store lives. An empty folder is the user's own settings; a
// folder holds the whole store below it instead ("<folder>/<organisation>/
// <application>.conf", in the settings file format on every platform), so
// that tests never touch the user's settings.
struct StoreLocation {
    std::string folder;
};

class cRegistry {
public:
    cRegistry() = default;
    explicit cRegistry(StoreLocation location) : location_(std::move(location)) {}

    int32_t ClassKey() const { return classKey_; }
    void SetClassKey(int32_t root) { classKey_ = root; }

    // Path of the key below the root, components separated by "\".
    const std::string& SectionKey() const { return sectionKey_; }
    void SetSectionKey(std::string path) { sectionKey_ = std::move(path); }

    const std::string& ValueKey() const { return valueKey_; }
    void SetValueKey(std::string name) { valueKey_ = std::move(name); }

    // The type used when writing; reading sets it to the type found.
    int32_t ValueType() const { return valueType_; }
    void SetValueType(int32_t type) { valueType_ = type; }

    // Returned by Value() when the value cannot be read; empty unless set.
    const RegistryValue& Default() const { return default_; }
    void SetDefault(RegistryValue value) { default_ = std::move(value); }

    // Reads the value named by the three keys: a number, a text or (for any
    // other stored kind) bytes, and sets ValueType to the type found; the
    // Default when the key or the value cannot be read.
    RegistryValue Value();

    // Writes the value by ValueType: 1 as text (a number as its decimal
    // text); 4 a number, while a value of any other kind writes nothing and
    // is no failure; any other type is refused. A write that fails or is
    // refused returns error 26001; the values already stored stay as they
    // were.
    [[nodiscard]] std::optional<RegistryError> SetValue(const RegistryValue& value);

    // The key SectionKey can be opened for reading.
    bool KeyExists() const;

    // Lists the value names of the key in the store's order: names[1] to
    // names[count] (element 0 exists and is empty). False, with count 0,
    // when the key cannot be opened.
    bool EnumerateValues(std::vector<std::string>& names, int32_t& count) const;

private:
    RegistryError WriteError(const RegistryValue& value) const;

    StoreLocation location_;
    int32_t classKey_ = kHkeyCurrentUser;
    std::string sectionKey_;
    std::string valueKey_;
    int32_t valueType_ = kRegText;
    RegistryValue default_;
};

}  // namespace kestrova
