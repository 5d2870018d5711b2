#include "audio/sound_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova::audio {

SoundFile::~SoundFile() { Close(); }

bool SoundFile::Open(const std::string& path) {
    Close();
    // Only a regular file is read: a named pipe or a device could block the
    // open or the reads for ever. O_NONBLOCK keeps the open itself from
    // waiting for a pipe's writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error_ = S_ISDIR(status.st_mode) ? std::strerror(EISDIR) : "it is not a regular file (a named pipe or a device)";
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    SF_INFO sfinfo{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &sfinfo, SF_TRUE);
    if (!file) {
        error_ = sf_strerror(nullptr);
        return false;
    }
    if (sfinfo.channels <= 0 || sfinfo.samplerate <= 0) {
        sf_close(file);
        error_ = "the file has no channels or no sample rate";
        return false;
    }
    handle_ = file;
    info_.channels = sfinfo.channels;
    info_.sampleRate = sfinfo.samplerate;
    info_.frames = std::max<int64_t>(0, sfinfo.frames);
    error_.clear();
    return true;
}

void SoundFile::Close() {
    if (handle_) sf_close(static_cast<SNDFILE*>(handle_));
    handle_ = nullptr;
    info_ = {};
}

int64_t SoundFile::Read(float* out, int64_t frames) {
    if (!handle_) {
        error_ = "the file is not open";
        return -1;
    }
    if (frames <= 0) return 0;
    auto* file = static_cast<SNDFILE*>(handle_);
    const sf_count_t got = sf_readf_float(file, out, frames);
    if (got < 0 || (got == 0 && sf_error(file) != SF_ERR_NO_ERROR)) {
        error_ = sf_strerror(file);
        return -1;
    }
    return got;
}

bool SoundFile::Seek(int64_t frame) {
    if (!handle_) return false;
    if (sf_seek(static_cast<SNDFILE*>(handle_), frame, SEEK_SET) < 0) {
        error_ = sf_strerror(static_cast<SNDFILE*>(handle_));
        return false;
    }
    return true;
}

bool DecodeSound(const std::string& path, DecodedSound& out, std::string& error,
                 int64_t maxFrames, bool* truncated) {
    out = {};
    if (truncated) *truncated = false;
    SoundFile file;
    if (!file.Open(path)) {
        error = file.ErrorString();
        return false;
    }
    const int channels = file.Info().channels;
    out.channels = channels;
    out.sampleRate = file.Info().sampleRate;
    // Reserve from the header only within the bound; the header may lie.
    out.samples.reserve(size_t(std::min(file.Info().frames, std::min<int64_t>(maxFrames, int64_t(1) << 22))) *
                        size_t(channels));
    constexpr int64_t kChunk = 16384;
    std::vector<float> chunk(size_t(kChunk) * size_t(channels));
    int64_t total = 0;
    while (total < maxFrames) {
        const int64_t want = std::min(kChunk, maxFrames - total);
        const int64_t got = file.Read(chunk.data(), want);
        if (got < 0) {
            // Data that ends in a read error still plays what came before it.
            if (total > 0) break;
            error = file.ErrorString();
            return false;
        }
        if (got == 0) break;
        out.samples.insert(out.samples.end(), chunk.begin(), chunk.begin() + got * channels);
        total += got;
    }
    if (total >= maxFrames && truncated) {
        if (file.Read(chunk.data(), 1) > 0) *truncated = true;
    }
    return true;
}

}  // namespace kestrova::audio
