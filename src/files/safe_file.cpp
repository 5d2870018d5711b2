#include "safe_file.h"

#include <QSaveFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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
    // The size is only a hint: devices and pipes report none, and a file may
    // grow while it is read. The limit holds whatever it says.
    content.reserve(S_ISREG(info.st_mode) ? static_cast<size_t>(info.st_size) : 0);
    constexpr size_t kChunk = 1 << 16;
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

bool WriteFileSafely(const std::string& path, std::string_view bytes, std::string& reason) {
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString().toStdString();
        return false;
    }
    const qint64 size = static_cast<qint64>(bytes.size());
    if (file.write(bytes.data(), size) != size) {
        reason = file.errorString().toStdString();
        file.cancelWriting();
        return false;
    }
    // commit() flushes, syncs and renames over the old file; when it fails
    // the temporary file is removed and the old file stays.
    if (!file.commit()) {
        reason = file.errorString().toStdString();
        return false;
    }
    reason.clear();
    return true;
}

}  // namespace kestrova
