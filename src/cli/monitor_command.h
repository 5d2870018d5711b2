#pragma once
// kestrova-cli monitor: listens on a serial device as a Mini-SSC controller
// would and prints what it understood.

#include <iosfwd>
#include <string>
#include <vector>

namespace kestrova::cli {

// monitor --device PATH [--baud N] [--synch B] [--live]
int Monitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestrova::cli
