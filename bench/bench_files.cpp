// Loading and saving large project files, measured against the plainest
// possible pass over the same text: splitting it into lines.
//
// Each load or save reports "x_split", its time per run divided by the
// time to split the same text into lines in the same process, and the 20 MB
// runs report "x_10MB", their time divided by the 10 MB run's.

#include "core/project.h"
#include "files/kva_reader.h"
#include "files/kva_writer.h"
#include "files/safe_file.h"
#include "files/text_encoding.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace kestrova {
namespace {

constexpr size_t kMegabyte = 1u << 20;

// A project whose file is about `bytes` long: 16 servos with long recorded
// programs of Mov and Wait lines, comments and blank lines, as the recording
// buttons and a user's edits leave them.
std::unique_ptr<Project> MakeProject(size_t bytes) {
    auto project = std::make_unique<Project>();
    StartNewProject(*project);
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    for (int servo = 0; servo < kServoCount; ++servo) {
        project->Servos[servo].Name = "Servo " + std::to_string(servo + 1) + " (recorded)";
        std::string& program = project->Programs[servo];
        program.reserve(bytes / kServoCount + 64);
        int take = 0;
        while (program.size() < bytes / kServoCount) {
            const uint32_t kind = next(100);
            if (kind < 60) {
                program += "Mov " + std::to_string(next(255)) + ", " + std::to_string(1 + next(30)) + "\r\n";
            } else if (kind < 90) {
                program += "Wait " + std::to_string(1 + next(20)) + "\r\n";
            } else if (kind < 97) {
                program += "' take " + std::to_string(++take) + ": slow sweep back to the middle\r\n";
            } else {
                program += "\r\n";
            }
        }
    }
    for (int k = 1; k <= 20; ++k) {
        project->WavCues.push_back(WavCue{k * 100, k * 100 + 50, "C:\\Sounds\\cue" + std::to_string(k) + ".wav"});
    }
    return project;
}

// The saved text of the MakeProject project for a size in MB, made once.
const std::string& ProjectText(int megabytes) {
    static std::map<int, std::string> texts;
    auto found = texts.find(megabytes);
    if (found == texts.end()) {
        found = texts.emplace(megabytes, SaveText(*MakeProject(static_cast<size_t>(megabytes) * kMegabyte))).first;
    }
    return found->second;
}

// Seconds per run, by benchmark and size, for the ratios.
std::map<std::string, double>& Seconds() {
    static std::map<std::string, double> seconds;
    return seconds;
}

std::string Key(const char* name, int megabytes) { return std::string(name) + "/" + std::to_string(megabytes); }

// Times the runs itself so that the ratios can be reported as counters.
template <typename Body>
void Measure(benchmark::State& state, const char* name, Body body) {
    const int megabytes = static_cast<int>(state.range(0));
    const std::string& text = ProjectText(megabytes);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) body(text);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / static_cast<double>(state.iterations());
    Seconds()[Key(name, megabytes)] = seconds;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    if (std::string(name) != "split") {
        const auto split = Seconds().find(Key("split", megabytes));
        if (split != Seconds().end()) state.counters["x_split"] = seconds / split->second;
        const auto ten = Seconds().find(Key(name, 10));
        if (megabytes == 20 && ten != Seconds().end()) state.counters["x_10MB"] = seconds / ten->second;
    }
}

void BM_SplitLines(benchmark::State& state) {
    std::vector<std::string_view> lines;
    Measure(state, "split", [&lines](const std::string& text) {
        lines.clear();
        const std::string_view all(text);
        size_t start = 0;
        for (size_t end; (end = all.find("\r\n", start)) != std::string_view::npos; start = end + 2) {
            lines.push_back(all.substr(start, end - start));
        }
        lines.push_back(all.substr(start));
        benchmark::DoNotOptimize(lines.data());
    });
}

void BM_Load(benchmark::State& state) {
    Project project;
    Measure(state, "load", [&project](const std::string& text) {
        const LoadResult result = LoadProjectBytes(text, project);
        if (!result.ok) throw std::runtime_error("the benchmark project did not load");
        benchmark::DoNotOptimize(project.Programs[0].data());
    });
}

void BM_Save(benchmark::State& state) {
    std::string folder = (std::filesystem::temp_directory_path() / "kestrova-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) throw std::runtime_error("no temporary folder");
    const std::string path = folder + "/project.kva";
    Project project;
    LoadFile(ProjectText(static_cast<int>(state.range(0))), project);
    Measure(state, "save", [&](const std::string&) {
        std::string reason;
        if (!WriteFileSafely(path, SaveText(project), reason)) throw std::runtime_error(reason);
    });
    std::filesystem::remove_all(folder);
}

BENCHMARK(BM_SplitLines)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Load)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Save)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kestrova

BENCHMARK_MAIN();
