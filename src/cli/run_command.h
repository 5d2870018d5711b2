#pragma once
// kestrova-cli run SHOWFILE: the show runner, headless.

#include <iosfwd>
#include <string>
#include <vector>

namespace kestrova::cli {

int RunShow(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestrova::cli
