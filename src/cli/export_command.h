#pragma once
// kestrova-cli export: a built show as an Arduino sketch folder.

#include <iosfwd>
#include <string>
#include <vector>

namespace kestrova::cli {

int Export(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestrova::cli
