#pragma once
// kestrova-cli: builds, checks and rewrites project files without any window,
// on the same libraries as the editor.

#include <iosfwd>
#include <string>
#include <vector>

namespace kestrova::cli {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitCompileError = 1;
constexpr int kExitFailure = 2;  // bad usage, unreadable file, severe load problem

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestrova::cli
