// The editor's entry point: the start-up sequence, then the event loop of
// the main window.
//
//   kestrova [FILE.kva]    opens FILE after the start-up sequence
#include "files/settings_store.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Talvenor Electronics"));
    QApplication::setApplicationName(QStringLiteral("Kestrova v2.0"));
    QApplication::setApplicationVersion(QStringLiteral(KESTROVA_VERSION));

    kestrova::ProjectSettings settings;
    kestrova::LoadSettings(kestrova::StoreLocation{}, settings);
    kestrova::frmMain window;
    window.project().Settings = settings;
    kestrova::ApplyProjectToLink(window.link(), window.project());
    window.NewFile();
    window.show();

    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) window.OpenFile(arguments.at(1));
    return QApplication::exec();
}
