#pragma once
// The recent-files list as the store keeps it: values "0", "1", ... of text
// type below the program key's "Recent" group, "0" the most recent.

#include "registry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

class RecentFilesList {
public:
    int32_t MaxItems = 5;
    std::string RegKey;  // the group's parent key; the list lives in RegKey + "\Recent"
    StoreLocation Location;  // the store that keeps it

    // The paths to show, most recent first: at most MaxItems.
    std::vector<std::string> Items() const;

    // Moves the name to the top, or inserts it there: a stored entry that
    // equals it without regard to letter case moves up with its stored text;
    // the entries above it move down by one, those below stay.
    [[nodiscard]] std::optional<RegistryError> AddMenuItem(const std::string& sFilename) const;

private:
    cRegistry Store() const;
};

}  // namespace kestrova
