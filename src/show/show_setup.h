#pragma once
// The projects a show file names, read and built, with every problem named
// by its entry before anything plays. With skipBrokenEntries a broken show
// is left out (and a sound that cannot be read is left out of its show);
// the problems are then warnings and the runner starts with what is left.

#include "runner.h"
#include "show_file.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrova::show {

struct ShowSetup {
    std::optional<RunnerProject> idle;
    std::vector<RunnerProject> shows;
    std::vector<ShowFileProblem> problems;  // any of these stops the start
    std::vector<ShowFileProblem> warnings;  // entries left out
    bool ok() const { return problems.empty() && !shows.empty(); }
};

ShowSetup LoadShowSetup(const ShowFile& file);

// Reads and builds one project; the problem's text when it cannot.
std::optional<RunnerProject> LoadRunnerProject(const std::string& path, const std::string& name, std::string& problem,
                                               std::vector<std::string>& unreadableSounds);

}  // namespace kestrova::show
