// The editor's entry point; the start-up sequence comes with the main window.
#include "ui/message_box.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Talvenor Electronics"));
    QApplication::setApplicationName(QStringLiteral("Kestrova v2.0"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kestrova"));
    kestrova::InstallMessageBoxHandler();
    return 0;
}
