#pragma once
// kestrova-cli fit: a trace of positions, one per frame, printed as the Mov
// and Wait lines that rebuild it within a tolerance.

#include <iosfwd>
#include <string>
#include <vector>

namespace kestrova::cli {

int Fit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestrova::cli
