// Sound during playback, heard at a PulseAudio null sink of the benchmark's
// own (its monitor recorded with parec): a 3 s tone cued at frame 5 of a
// 15 fps show whose window work takes 20 ms a frame and never runs the event
// loop, then six short tones cued 10 frames apart.
//
// Figures: gaps, silent stretches over 2 ms inside the 3 s tone, and the
// longest; onset_median_ms and onset_p99_ms, from a cue's frame commands to
// its first sound at the monitor (this includes the output's fixed latency,
// which the "Sound offset" setting makes up for).
#include "core/compiler.h"
#include "link/serial_link.h"
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"
#include "playback/sound_player.h"

#include "../tests/support/null_sink.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <pty.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace kestrova;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr int kFps = 15;

double NowMs() { return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(); }

void WriteTone(const std::string& path, double seconds) {
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = kRate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> data(size_t(seconds * kRate));
    for (size_t i = 0; i < data.size(); ++i) data[i] = 0.5f * float(std::sin(2 * M_PI * 440.0 * double(i) / kRate));
    sf_writef_float(f, data.data(), sf_count_t(data.size()));
    sf_close(f);
}

// Records the monitor: samples, and the wall time at which each chunk arrived.
class Recorder {
public:
    explicit Recorder(const char* source) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            const std::string device = std::string("--device=") + source;
            execlp("parec", "parec", device.c_str(), "--format=s16le", "--rate=48000", "--channels=1",
                   "--latency-msec=5", "--raw", nullptr);
            _exit(127);
        }
        close(fds[1]);
        pipe_ = fdopen(fds[0], "r");
        reader_ = std::thread([this] {
            int16_t buffer[240];
            for (;;) {
                const size_t n = fread(buffer, 2, 240, pipe_);
                if (n == 0) break;
                const double at = NowMs();
                std::lock_guard lock(mutex_);
                samples_.insert(samples_.end(), buffer, buffer + n);
                stamps_.push_back({samples_.size(), at});
            }
        });
    }
    // Waits until the recording flows.
    void WaitForData() {
        for (int i = 0; i < 500; ++i) {
            {
                std::lock_guard lock(mutex_);
                if (samples_.size() > kRate / 10) return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // Stops and returns the samples; WallOf(i) gives sample i's wall time.
    std::vector<int16_t> Finish() {
        kill(pid_, SIGINT);
        reader_.join();
        waitpid(pid_, nullptr, 0);
        fclose(pipe_);
        return samples_;
    }
    double WallOf(size_t index) const {
        auto it = std::lower_bound(stamps_.begin(), stamps_.end(), index + 1,
                                   [](const Stamp& s, size_t i) { return s.end < i; });
        if (it == stamps_.end()) return 0;
        return it->at - double(it->end - 1 - index) * 1000.0 / kRate;
    }

private:
    struct Stamp {
        size_t end;
        double at;
    };
    FILE* pipe_ = nullptr;
    pid_t pid_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::vector<int16_t> samples_;
    std::vector<Stamp> stamps_;
};

struct BusyView : QuietPlaybackView {
    BusyView() : QuietPlaybackView(kFps) {}
    void Pump() override {
        const auto until = Clock::now() + std::chrono::milliseconds(20);
        while (Clock::now() < until) {
        }
    }
};

struct CueTimes {
    std::vector<int32_t> frames;
    std::vector<double> at;
    static void Hook(void* self, int32_t frame) {
        auto* me = static_cast<CueTimes*>(self);
        if (std::find(me->frames.begin(), me->frames.end(), frame) != me->frames.end()) me->at.push_back(NowMs());
    }
};

void BM_SoundDuringPlayback(benchmark::State& state) {
    static kestrova::testing::NullSink sink;
    if (!sink.Ready()) {
        state.SkipWithError("pulseaudio did not start");
        return;
    }
    const std::string dir = "/tmp/kestrova-bench-sound";
    std::filesystem::create_directories(dir);
    WriteTone(dir + "/long.wav", 3.0);
    WriteTone(dir + "/short.wav", 0.2);

    Project project;
    StartNewProject(project);
    project.Programs[0] = "Wait 129";
    project.WavCues = {WavCue{}, WavCue{5, 999, "long.wav"}};
    for (int32_t k = 0; k < 6; ++k) project.WavCues.push_back(WavCue{60 + 10 * k, 999, "short.wav"});
    BuildAnimation(project);

    std::vector<double> onsets;
    int gaps = 0;
    double longestGap = 0;
    for (auto _ : state) {
        int master = -1, slave = -1;
        char name[256] = {};
        openpty(&master, &slave, name, nullptr, nullptr);
        SerialLink link;
        link.ApplyCommSettings(project.Settings);
        link.SetDeviceOverride(name);
        SerialLinkOutput output(link);
        QtSoundOutput sound(dir);
        BusyView view;
        PlaybackEngine engine(project, output, sound, view);
        engine.SetPrioritySetter([](int32_t) {});
        CueTimes cues{{5, 60, 70, 80, 90, 100, 110}, {}};
        engine.SetFrameSentHook(&CueTimes::Hook, &cues);
        Recorder recorder(kestrova::testing::NullSink::Monitor());
        recorder.WaitForData();
        engine.PlayAnimation(1, 130);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const std::vector<int16_t> samples = recorder.Finish();
        close(master);
        close(slave);

        // Sound starts: a loud sample after 50 ms of quiet.
        std::vector<size_t> starts;
        size_t quiet = kRate;
        for (size_t i = 0; i < samples.size(); ++i) {
            if (std::abs(samples[i]) > 3000) {
                if (quiet > size_t(kRate / 20)) starts.push_back(i);
                quiet = 0;
            } else {
                ++quiet;
            }
        }
        // Each cue against the first sound start after its frame's commands.
        for (double cue : cues.at) {
            for (size_t start : starts) {
                const double onset = recorder.WallOf(start) - cue;
                if (onset < -20) continue;
                if (onset < 600) onsets.push_back(onset);
                break;
            }
        }
        if (std::getenv("KESTROVA_BENCH_VERBOSE")) {
            for (double cue : cues.at) std::fprintf(stderr, "cue %.1f\n", cue - cues.at[0]);
            for (size_t start : starts) std::fprintf(stderr, "start %.1f\n", recorder.WallOf(start) - cues.at[0]);
        }
        // Inside the 3 s tone: stretches below a hundredth of its level.
        if (!starts.empty()) {
            size_t run = 0;
            for (size_t i = starts[0] + 480; i < starts[0] + size_t(2.95 * kRate) && i < samples.size(); ++i) {
                if (std::abs(samples[i]) < 160) {
                    ++run;
                } else {
                    if (run > size_t(kRate / 500)) {
                        ++gaps;
                        longestGap = std::max(longestGap, double(run) * 1000.0 / kRate);
                    }
                    run = 0;
                }
            }
        }
        state.counters["sound_starts"] = double(starts.size());
    }
    std::sort(onsets.begin(), onsets.end());
    state.counters["gaps"] = gaps;
    state.counters["longest_gap_ms"] = longestGap;
    state.counters["cues_heard"] = double(onsets.size()) / double(state.iterations());
    if (!onsets.empty()) {
        state.counters["onset_median_ms"] = onsets[onsets.size() / 2];
        state.counters["onset_p99_ms"] = onsets[size_t(0.99 * double(onsets.size() - 1))];
    }
}
BENCHMARK(BM_SoundDuringPlayback)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
