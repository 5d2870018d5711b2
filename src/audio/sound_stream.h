#pragma once
// The rest of a long sound, after the first part that Load converts ahead:
// read from its file and converted a piece at a time while it plays, so a
// sound of any length holds only a few seconds in memory.

#include "sound_player.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace kestrova::audio {

class SoundFile;

class SoundStream : public std::enable_shared_from_this<SoundStream> {
public:
    // `file` is positioned at input frame `from`, just after the first
    // part; `converter` is the conversion as it stood there. Input frames
    // from `limit` on are left out.
    SoundStream(std::unique_ptr<SoundFile> file, int64_t from, int64_t limit, const SoundConverter& converter);
    ~SoundStream();

    // One playing of the rest. Several may read the same stream at once:
    // each keeps its own place in the file.
    class Cursor {
    public:
        // Appends the next piece (some thousands of frames) in the output's
        // format to `out`; false once the sound has ended, after its last
        // piece. A read error ends the sound quietly where it happened.
        bool ReadMore(std::vector<char>& out);

    private:
        friend class SoundStream;
        Cursor(std::shared_ptr<SoundStream> stream, const SoundConverter& converter, int64_t at);

        std::shared_ptr<SoundStream> stream_;
        SoundConverter converter_;
        int64_t at_;  // the next input frame
        std::vector<float> chunk_;
    };

    Cursor Start();

private:
    // Reads up to `frames` input frames from `at` into `out`: the count,
    // 0 at the end, -1 on an error.
    int64_t ReadAt(int64_t at, float* out, int64_t frames);

    std::mutex mutex_;
    std::unique_ptr<SoundFile> file_;
    int64_t position_;  // where the file stands; -1: not known
    const int64_t from_, limit_;
    const int channels_;
    const SoundConverter converter_;
};

}  // namespace kestrova::audio
