#pragma once
// The commands of kestrova-cli that drive the serial link: play, send, ports.

#include <iosfwd>
#include <string>
#include <vector>

namespace kestrova::cli {

int Play(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Send(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Ports(std::ostream& out);

}  // namespace kestrova::cli
