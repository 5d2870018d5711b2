#include "show_setup.h"

#include "core/compiler.h"
#include "core/cue_path.h"
#include "files/kva_reader.h"
#include "files/safe_file.h"
#include "link/serial_link.h"

#include <filesystem>
#include <fstream>

namespace kestrova::show {

std::optional<RunnerProject> LoadRunnerProject(const std::string& path, const std::string& name, std::string& problem,
                                               std::vector<std::string>& unreadableSounds) {
    std::string bytes;
    std::string reason;
    if (!ReadFileBytes(path, bytes, reason)) {
        problem = "the project " + path + " cannot be read: " + reason;
        return std::nullopt;
    }
    RunnerProject loaded{name, {}};
    Project& project = loaded.project;
    StartNewProject(project);
    const LoadResult load = LoadProjectBytes(std::move(bytes), project);
    if (load.notAnimation || !load.ok) {
        problem = "the file " + path + " is not a project that can be opened";
        if (!load.messages.empty()) problem += ": " + load.messages.back().text;
        return std::nullopt;
    }
    const BuildResult built = BuildAnimation(project);
    if (built.outcome != BuildOutcome::Success) {
        problem = "the project " + path + " does not build: " + built.error.message;
        if (built.outcome == BuildOutcome::Failed) problem += " (servo " + std::to_string(built.error.servo + 1) + ")";
        return std::nullopt;
    }
    const std::string folder = ProjectFolder(std::filesystem::absolute(path).string());
    for (int32_t k = 1; k <= UpperBound(project.WavCues); ++k) {
        WavCue& cue = project.WavCues[size_t(k)];
        cue.Path = ResolveCuePath(cue.Path, folder);
        if (!cue.Path.empty() && !std::ifstream(cue.Path, std::ios::binary)) unreadableSounds.push_back(cue.Path);
    }
    return loaded;
}

ShowSetup LoadShowSetup(const ShowFile& file) {
    ShowSetup setup;
    auto report = [&](const std::string& entry, const std::string& text, bool skippable) {
        (skippable && file.skipBroken ? setup.warnings : setup.problems).push_back({entry, text});
    };
    auto load = [&](const std::string& entry, const std::string& relative) -> std::optional<RunnerProject> {
        std::string problem;
        std::vector<std::string> sounds;
        std::optional<RunnerProject> project = LoadRunnerProject(file.Resolve(relative), relative, problem, sounds);
        if (!project) {
            report(entry, problem + (file.skipBroken ? "; left out" : ""), true);
            return std::nullopt;
        }
        for (const std::string& sound : sounds) {
            report(entry, "the sound " + sound + " cannot be read" + (file.skipBroken ? "; it plays without it" : ""),
                   true);
        }
        return project;
    };
    if (!file.idle.empty()) setup.idle = load("idle", file.idle);
    for (size_t i = 0; i < file.shows.size(); ++i) {
        if (auto show = load("shows[" + std::to_string(i) + "].project", file.shows[i].project)) {
            setup.shows.push_back(std::move(*show));
        }
    }
    if (setup.shows.empty() && setup.problems.empty()) setup.problems.push_back({"shows", "no show is left to play"});
    // The virtual controller is no file: a dry run without hardware.
    if (file.device && *file.device != kVirtualControllerDevice && !std::filesystem::exists(*file.device)) {
        report("port.device", "the device " + *file.device + " does not exist" +
                                  (file.skipBroken ? "; the runner tries it every few seconds" : ""),
               true);
    }
    return setup;
}

}  // namespace kestrova::show
