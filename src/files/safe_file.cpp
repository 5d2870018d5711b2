#include "safe_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova {

namespace {

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool Fail(std::string& reason, int error) {
    reason = std::strerror(error);
    return false;
}

bool TooLarge(std::string& reason) {
    reason = std::string(std::strerror(EFBIG)) + " (project files are limited to " +
             std::to_string(kMaxProjectFileBytes >> 20) + " MB)";
    return false;
}

}  // namespace

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& reason) {
    // O_NONBLOCK keeps the open from waiting for a writer on a named pipe;
    // reading then blocks as usual.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) return Fail(reason, errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return Fail(reason, errno);
    if (S_ISDIR(info.st_mode)) return Fail(reason, EISDIR);
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return Fail(reason, errno);

    if (S_ISREG(info.st_mode) && static_cast<unsigned long long>(info.st_size) > kMaxProjectFileBytes) {
        return TooLarge(reason);
    }
    std::string content;
    constexpr size_t kChunk = 1 << 16;
    // The size is only a hint: devices and pipes report none, and a file may
    // grow while it is read. The limit holds whatever it says. Room for one
    // chunk more: the read that finds the end asks for a whole chunk, and
    // growing the string then would double it.
    content.reserve(S_ISREG(info.st_mode) ? static_cast<size_t>(info.st_size) + kChunk : 0);
    for (;;) {
        const size_t used = content.size();
        content.resize(used + kChunk);
        const ssize_t got = ::read(file.get(), content.data() + used, kChunk);
        if (got < 0) {
            if (errno == EINTR) {
                content.resize(used);
                continue;
            }
            return Fail(reason, errno);
        }
        content.resize(used + static_cast<size_t>(got));
        if (got == 0) break;
        if (content.size() > kMaxProjectFileBytes) return TooLarge(reason);
    }
    bytes = std::move(content);
    reason.clear();
    return true;
}

namespace {

// The file a path names once symbolic links are followed; the path itself
// when it names nothing yet (or a link to nothing: the link is replaced).
std::string ResolvedTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string resolved(real);
    std::free(real);
    return resolved;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Removes the temporaries "<stem><pid>-<n>" in `folder` whose process has
// ended: a save that was killed leaves its temporary behind, and nothing
// else would ever remove it. A process that still runs may be saving now.
void RemoveStaleTemporaries(const std::string& folder, const std::string& stem) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (!name.starts_with(stem)) continue;
        const std::string_view rest = name.substr(stem.size());
        const size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string_view::npos || dash + 1 == rest.size()) continue;
        if (rest.find_first_not_of("0123456789-") != std::string_view::npos || rest.find('-', dash + 1) != std::string_view::npos)
            continue;
        if (dash > 9) continue;  // no process number is that long
        const pid_t pid = static_cast<pid_t>(std::stol(std::string(rest.substr(0, dash))));
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        const std::string path = folder + "/" + std::string(name);
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
    }
    ::closedir(dir);
}

}  // namespace

bool WriteFileSafely(const std::string& path, std::string_view bytes, std::string& reason, const WriteCalls& calls,
                     LinkHandling links) {
    const auto write = calls.write ? calls.write : [](int fd, const void* data, size_t size) {
        return ::write(fd, data, size);
    };
    const auto sync = calls.fsync ? calls.fsync : [](int fd) { return ::fsync(fd); };
    const auto close = calls.close ? calls.close : [](int fd) { return ::close(fd); };
    const auto rename = calls.rename ? calls.rename : [](const char* from, const char* to) {
        return ::rename(from, to);
    };

    if (path.empty()) return Fail(reason, ENOENT);
    const bool follow = links == LinkHandling::Follow;
    const std::string target = follow ? ResolvedTarget(path) : path;
    struct stat old {};
    const bool exists = (follow ? ::stat(target.c_str(), &old) : ::lstat(target.c_str(), &old)) == 0;
    // A link that is replaced, not followed, counts as no file.
    const bool replacesLink = exists && S_ISLNK(old.st_mode);
    if (!exists && errno != ENOENT) return Fail(reason, errno);
    if (exists && S_ISDIR(old.st_mode)) return Fail(reason, EISDIR);
    if (exists && !replacesLink && !S_ISREG(old.st_mode)) {
        reason = "It is not a regular file (a device or a named pipe), so it is not replaced";
        return false;
    }

    // A fresh name beside the target, so that the rename stays on one file
    // system; O_EXCL never takes over a file that is there.
    const size_t slash = target.rfind('/');
    const std::string name = "." + target.substr(slash == std::string::npos ? 0 : slash + 1) + ".saving-";
    RemoveStaleTemporaries(FolderOf(target), name);
    const std::string stem =
        target.substr(0, slash == std::string::npos ? 0 : slash + 1) + name + std::to_string(::getpid()) + "-";
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temporary = stem + std::to_string(attempt);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt >= 100)) return Fail(reason, errno);
    }
    const auto abandon = [&](int error, bool open) {
        if (open) close(fd);
        ::unlink(temporary.c_str());
        return Fail(reason, error);
    };
    if (exists && !replacesLink) {
        // The replaced file's owner where the system allows it (a save by
        // root of another user's file), then its permissions.
        [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid);
        if (::fchmod(fd, old.st_mode & 07777) != 0) return abandon(errno, true);
    }

    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t wrote = write(fd, data, left);
        if (wrote < 0 && errno == EINTR) continue;
        // A write that takes nothing and reports no error would loop forever.
        if (wrote <= 0) return abandon(wrote < 0 ? errno : ENOSPC, true);
        data += wrote;
        left -= static_cast<size_t>(wrote);
    }
    // Only the sync and the close tell whether the bytes reached the disk
    // (a full disk, a network file system).
    if (sync(fd) != 0) return abandon(errno, true);
    if (close(fd) != 0) return abandon(errno, false);
    if (rename(temporary.c_str(), target.c_str()) != 0) return abandon(errno, false);

    // The rename itself is made lasting; a folder that cannot be synced
    // does not undo a save that has happened.
    const int folder = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    reason.clear();
    return true;
}

}  // namespace kestrova
