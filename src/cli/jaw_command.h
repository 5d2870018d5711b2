#pragma once
// kestrova-cli jaw: mouth moves from a sound, printed as a servo program.

#include <iosfwd>
#include <string>
#include <vector>

namespace kestrova::cli {

int Jaw(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestrova::cli
