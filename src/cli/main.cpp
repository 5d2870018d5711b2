#include "cli.h"
#include "cli_support.h"

#include <QCoreApplication>

#include <iostream>

namespace {

// Qt's own warnings (no audio device, and the like) are not the user's
// business on the command line; critical and fatal messages still show.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << kestrova::cli::Printable(text.toStdString()) << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(&QuietQtMessages);
    // The serial port and the sounds want an application object.
    QCoreApplication app(argc, argv);
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    const int code = kestrova::cli::Run(args, std::cout, std::cerr);
    std::cout.flush();
    return code;
}
