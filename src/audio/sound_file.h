#pragma once
// A sound file read as interleaved 32-bit float samples, whatever its format
// (PCM or float WAV, FLAC, Ogg, AIFF, and MP3 where the installed libsndfile
// reads it). Errors are reported as data: Open and Read return false or -1
// and ErrorString() says why.
//
// The frame count comes from the file's header and may lie (a truncated file,
// or a header claiming gigabytes): read until Read returns 0 instead of
// trusting it, and never size a buffer from it without a bound.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova::audio {

struct SoundInfo {
    int channels = 0;
    int sampleRate = 0;
    int64_t frames = 0;  // as the header claims
};

class SoundFile {
public:
    SoundFile() = default;
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    // Opens `path` (the operating system's bytes). False with ErrorString()
    // set when the file is missing or not a sound this library decodes.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

    const SoundInfo& Info() const { return info_; }

    // Reads up to `frames` frames into `out` (frames * channels floats).
    // Returns the frames read, 0 at the end of the data, -1 on a read error.
    int64_t Read(float* out, int64_t frames);
    // Moves to `frame` from the start; false when the file cannot seek there.
    bool Seek(int64_t frame);

    const std::string& ErrorString() const { return error_; }

private:
    void* handle_ = nullptr;  // SNDFILE*
    SoundInfo info_;
    std::string error_;
};

// A whole sound in memory.
struct DecodedSound {
    int channels = 0;
    int sampleRate = 0;
    std::vector<float> samples;  // interleaved
    int64_t Frames() const { return channels > 0 ? int64_t(samples.size()) / channels : 0; }
};

// Decodes all of `path`, at most `maxFrames` frames (the rest is left out and
// `truncated` set when given). False with `error` set when it cannot be read;
// a file whose data ends before its header says is not an error: what is
// there is returned.
bool DecodeSound(const std::string& path, DecodedSound& out, std::string& error,
                 int64_t maxFrames = int64_t(48000) * 60 * 30, bool* truncated = nullptr);

}  // namespace kestrova::audio
