// A build of 16 servos of a million frames each, against a plain loop that
// writes a frame table of the same size once; and a build that fails at the
// first of 50 MB of words.
#include "core/compiler.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <string>
#include <vector>

using namespace kestrova;

namespace {

// 999,999 frames after frame 1: 4,999 pairs of 100-frame moves and a wait.
std::string MillionFrameProgram() {
    std::string program = "' back and forth\r\n";
    for (int i = 0; i < 4999; ++i) program += "Mov 200, 100\r\nMov 50, 100\r\n";
    program += "Wait 199\r\n";
    return program;
}

Project MillionFrameProject() {
    Project project;
    StartNewProject(project);
    const std::string program = MillionFrameProgram();
    for (int s = 0; s < kServoCount; ++s) {
        project.Servos[s].Home = 50;
        project.Programs[s] = program;
    }
    return project;
}

void BM_Build16ServosOfAMillionFrames(benchmark::State& state) {
    Project project = MillionFrameProject();
    for (auto _ : state) {
        const BuildResult result = BuildAnimation(project);
        if (result.outcome != BuildOutcome::Success || project.Frames.UpperBound() != kMaxFrames) {
            state.SkipWithError("build failed");
            break;
        }
        benchmark::DoNotOptimize(project.Frames[kMaxFrames][15]);
    }
    state.counters["frames"] = project.Frames.UpperBound();
    state.counters["table_MB"] = static_cast<double>(project.Frames.MemoryBytes()) / 1e6;
}
BENCHMARK(BM_Build16ServosOfAMillionFrames)->Unit(benchmark::kMillisecond);

// The reference: allocate a table of the same size and write every slot once.
void BM_PlainLoopWritesTheTable(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::array<int32_t, kFrameSlots>> table(kMaxFrames + 1);
        for (int32_t f = 1; f <= kMaxFrames; ++f) {
            for (int s = 0; s < kServoCount; ++s) table[f][s] = f + s;
        }
        benchmark::DoNotOptimize(table.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlainLoopWritesTheTable)->Unit(benchmark::kMillisecond);

// 50 MB of one-letter words: a build that fails at its first word.
constexpr size_t kHostileBytes = 50u << 20;
Project HostileProject() {
    Project project;
    StartNewProject(project);
    project.Programs[0].reserve(kHostileBytes);
    while (project.Programs[0].size() < kHostileBytes) project.Programs[0] += "a ";
    return project;
}

// Peak memory of a build in a fresh child process (with the project made
// but not built when build is false).
long ChildPeakKilobytes(bool build, Project (*make)() = &MillionFrameProject, bool made = true) {
    const pid_t child = fork();
    if (child == 0) {
        if (made) {
            Project project = make();
            if (build) BuildAnimation(project);
        }
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return usage.ru_maxrss;
}

void BM_BuildPeakMemory(benchmark::State& state) {
    long idle = 0, built = 0;
    for (auto _ : state) {
        idle = ChildPeakKilobytes(false, &MillionFrameProject, false);
        built = ChildPeakKilobytes(true);
    }
    const double tableBytes = double(kMaxFrames + 1) * sizeof(FrameRecord);
    state.counters["table_MB"] = tableBytes / 1e6;
    state.counters["build_peak_MB"] = double(built - idle) * 1024 / 1e6;
    state.counters["peak_over_table"] = double(built - idle) * 1024 / tableBytes;
}
BENCHMARK(BM_BuildPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// What a build adds to a project holding 50 MB of words: it stops at the
// first word without reading the rest.
void BM_HostileProgramBuildMemory(benchmark::State& state) {
    long loaded = 0, built = 0;
    for (auto _ : state) {
        loaded = ChildPeakKilobytes(false, &HostileProject);
        built = ChildPeakKilobytes(true, &HostileProject);
    }
    state.counters["text_MB"] = double(kHostileBytes) / 1e6;
    state.counters["build_adds_MB"] = double(built - loaded) * 1024 / 1e6;
}
BENCHMARK(BM_HostileProgramBuildMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// The time of that failing build.
void BM_HostileProgramBuild(benchmark::State& state) {
    Project project = HostileProject();
    for (auto _ : state) {
        if (BuildAnimation(project).outcome != BuildOutcome::Failed) state.SkipWithError("build did not fail");
    }
}
BENCHMARK(BM_HostileProgramBuild)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
