#pragma once
// Files the tests make: a folder of their own, removed afterwards; whole-file
// reads and writes; and PCM WAV files built byte by byte, so that a header
// can claim more data than there is.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kestrova::testing {

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A new folder in the temporary folder, removed with all it holds.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrova-files-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Dir() const { return path_; }
    std::string Path(const std::string& name) const { return (path_ / name).string(); }
    // Writes `bytes` to `name` in the folder and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }

private:
    std::filesystem::path path_;
};

// A 16-bit PCM WAV of interleaved `samples`; the header claims
// `claimedBytes` of data (by default what is there).
inline std::string WavBytes(const std::vector<int16_t>& samples, uint32_t rate, uint16_t channels = 1,
                            int64_t claimedBytes = -1) {
    const uint32_t data = claimedBytes < 0 ? uint32_t(samples.size() * 2) : uint32_t(claimedBytes);
    std::string wav;
    auto put = [&wav](uint32_t value, int size) {
        for (int i = 0; i < size; ++i) wav.push_back(char(value >> (8 * i)));
    };
    wav += "RIFF";
    put(36 + data, 4);
    wav += "WAVEfmt ";
    put(16, 4), put(1, 2), put(channels, 2), put(rate, 4), put(rate * channels * 2, 4), put(channels * 2, 2), put(16, 2);
    wav += "data";
    put(data, 4);
    for (int16_t s : samples) put(uint16_t(s), 2);
    return wav;
}

// `frames` frames of a square wave of `amplitude` that turns every `half` frames.
inline std::vector<int16_t> Square(size_t frames, int16_t amplitude, size_t half = 10) {
    std::vector<int16_t> samples(frames);
    for (size_t i = 0; i < frames; ++i) samples[i] = (i / half) % 2 ? amplitude : int16_t(-amplitude);
    return samples;
}

}  // namespace kestrova::testing
