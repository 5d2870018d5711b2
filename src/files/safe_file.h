#pragma once
// Reading and writing whole project files, with the operating system's
// reason when that fails.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace kestrova {

// Project files larger than this are refused rather than read into memory.
constexpr size_t kMaxProjectFileBytes = 256u << 20;

// Reads the whole file into bytes. On failure returns false and puts the
// reason into reason ("No such file or directory", "Is a directory",
// "Permission denied", "File too large ...").
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& reason);

// What a safe write does with a path that is a symbolic link.
enum class LinkHandling {
    Follow,   // the file the link names is replaced
    Replace,  // the link itself is replaced; the file it names is left alone
};

// The system calls a safe write makes once its temporary file is open. An
// empty one is the real call; tests put in calls that fail.
struct WriteCalls {
    std::function<ssize_t(int fd, const void* data, size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(int fd)> close;
    std::function<int(const char* from, const char* to)> rename;
};

// Writes bytes to a temporary file in the same folder, syncs it and renames
// it over path, so that a failure at any point (a full disk included) leaves
// the old file as it was and no half-written file behind. Every write, the
// sync and the close are checked. The path is used as the operating
// system's bytes. A target that exists and is not a regular file (a device,
// a named pipe, a folder) is refused; a symbolic link is followed and the
// file it names replaced, or with LinkHandling::Replace the link itself
// replaced. A new file gets the usual permissions, a replaced one keeps its
// own. Temporary files of earlier saves of the same file whose process is
// gone (killed while saving) are removed. On failure returns false with the
// reason.
bool WriteFileSafely(const std::string& path, std::string_view bytes, std::string& reason,
                     const WriteCalls& calls = {}, LinkHandling links = LinkHandling::Follow);

}  // namespace kestrova
