#pragma once
// A ten-minute 44.1 kHz stereo sound for the benchmarks: speech-like bursts
// of a tone, written once into the temporary folder and kept there.

#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrova::bench {

inline std::string LongSound() {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "kestrova_bench_10min.wav";
    constexpr int kRate = 44100;
    constexpr int64_t kFrames = int64_t(kRate) * 600;
    if (std::filesystem::exists(path) && std::filesystem::file_size(path) > uint64_t(kFrames) * 4) return path.string();
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = kRate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> chunk(size_t(kRate) * 2);
    for (int64_t second = 0; second < 600; ++second) {
        for (int i = 0; i < kRate; ++i) {
            const double t = double(second * kRate + i) / kRate;
            const double envelope = std::fmod(t, 0.7) < 0.4 ? 0.3 + 0.3 * std::sin(t * 5.0) : 0.0;
            const float v = float(envelope * std::sin(t * 2 * M_PI * 220.0));
            chunk[size_t(i) * 2] = v;
            chunk[size_t(i) * 2 + 1] = -v;
        }
        sf_writef_float(file, chunk.data(), kRate);
    }
    sf_close(file);
    return path.string();
}

}  // namespace kestrova::bench
