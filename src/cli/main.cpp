#include "cli.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char** argv) {
    // The serial port and the sounds want an application object.
    QCoreApplication app(argc, argv);
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    const int code = kestrova::cli::Run(args, std::cout, std::cerr);
    std::cout.flush();
    return code;
}
