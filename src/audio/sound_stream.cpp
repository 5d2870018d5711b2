#include "sound_stream.h"

#include "sound_file.h"

#include <algorithm>

namespace kestrova::audio {

namespace {
// The samples read at a time: a piece while playing, a chunk on loading.
constexpr int64_t kPieceSamples = 1 << 15;
constexpr int64_t kChunkSamples = 1 << 16;
// The longest sound played. It is streamed, so the bound is of time, not memory.
constexpr int64_t kMaxSeconds = 6 * 3600;
// The part of a sound converted before it plays; the rest is streamed.
constexpr int kHeadMs = 2000;
}  // namespace

SoundStream::SoundStream(std::unique_ptr<SoundFile> file, int64_t from, int64_t limit, const SoundConverter& converter)
    : file_(std::move(file)), position_(from), from_(from), limit_(limit), channels_(file_->Info().channels),
      converter_(converter) {}

SoundStream::~SoundStream() = default;

SoundStream::Cursor SoundStream::Start() { return Cursor(shared_from_this(), converter_, from_); }

int64_t SoundStream::ReadAt(int64_t at, float* out, int64_t frames) {
    std::lock_guard lock(mutex_);
    if (position_ != at && !file_->Seek(at)) return -1;
    const int64_t got = file_->Read(out, std::min(frames, limit_ - at));
    position_ = got >= 0 ? at + got : -1;
    return got;
}

SoundStream::Cursor::Cursor(std::shared_ptr<SoundStream> stream, const SoundConverter& converter, int64_t at)
    : stream_(std::move(stream)), converter_(converter), at_(at) {}

bool SoundStream::Cursor::ReadMore(std::vector<char>& out) {
    if (!stream_) return false;
    const int channels = stream_->channels_;
    const int64_t frames = std::max<int64_t>(1, kPieceSamples / channels);
    chunk_.resize(size_t(frames) * size_t(channels));
    const int64_t got = at_ < stream_->limit_ ? stream_->ReadAt(at_, chunk_.data(), frames) : 0;
    if (got > 0) {
        converter_.Feed(chunk_.data(), got);
        at_ += got;
    }
    std::vector<char> piece = got > 0 ? converter_.Take() : converter_.Finish().bytes;
    out.insert(out.end(), piece.begin(), piece.end());
    if (got > 0) return true;
    stream_.reset();
    chunk_ = {};
    return false;
}

std::shared_ptr<const PcmSound> LoadSound(const std::string& path, int rate, int channels, bool floatSamples,
                                          std::string& error) {
    auto file = std::make_unique<SoundFile>();
    if (!file->Open(path)) {
        error = file->ErrorString();
        return nullptr;
    }
    const SoundInfo info = file->Info();
    const int64_t limit = int64_t(info.sampleRate) * kMaxSeconds;
    const int64_t head = std::max<int64_t>(1, int64_t(info.sampleRate) * kHeadMs / 1000);
    const int64_t chunkFrames = std::max<int64_t>(1, kChunkSamples / info.channels);
    SoundConverter converter(info.channels, info.sampleRate, rate, channels, floatSamples,
                             std::min(info.frames, head));
    std::vector<float> chunk(size_t(std::min(chunkFrames, head)) * size_t(info.channels));
    int64_t total = 0;
    bool ended = false;  // the data ended (or broke off) within the first part
    while (total < head) {
        const int64_t got = file->Read(chunk.data(), std::min(chunkFrames, head - total));
        if (got < 0 && total == 0) {
            error = file->ErrorString();
            return nullptr;
        }
        // Data that ends in a read error still plays what came before it.
        if (got <= 0) {
            ended = true;
            break;
        }
        converter.Feed(chunk.data(), got);
        total += got;
    }
    if (total == 0) {
        error = "The file holds no sound.";
        return nullptr;
    }
    if (ended || total >= limit) return std::make_shared<const PcmSound>(converter.Finish());
    // A long sound: the rest is read as it plays.
    auto sound = std::make_shared<PcmSound>();
    sound->bytes = converter.Take();
    const int64_t expected = std::clamp(info.frames, total, limit);
    sound->frames = std::max<int64_t>(1, int64_t(double(expected) * rate / info.sampleRate));
    sound->rest = std::make_shared<SoundStream>(std::move(file), total, limit, converter);
    return sound;
}

}  // namespace kestrova::audio
