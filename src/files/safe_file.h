#pragma once
// Reading and writing whole project files, with the operating system's
// reason when that fails.

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrova {

// Project files larger than this are refused rather than read into memory.
constexpr size_t kMaxProjectFileBytes = 256u << 20;

// Reads the whole file into bytes. On failure returns false and puts the
// reason into reason ("No such file or directory", "Is a directory",
// "Permission denied", "File too large ...").
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& reason);

// Writes bytes to a temporary file in the same folder and renames it over
// path, so that a failure at any point leaves the old file as it was and no
// half-written file behind. On failure returns false with the reason.
bool WriteFileSafely(const std::string& path, std::string_view bytes, std::string& reason);

}  // namespace kestrova
