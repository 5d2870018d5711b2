#include "help_file.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>

namespace kestrova {

QString HelpFilePath() {
    const QString name = QStringLiteral("Kestrova v2 Help.html");
    QDir dir(QCoreApplication::applicationDirPath());
    if (dir.exists(name)) return dir.absoluteFilePath(name);
    do {
        if (dir.exists(QStringLiteral("docs/") + name)) return dir.absoluteFilePath(QStringLiteral("docs/") + name);
    } while (dir.cdUp());
    return {};
}

QUrl ProjectPageUrl() {
    const QString manual = HelpFilePath();
    if (manual.isEmpty()) return {};
    QUrl url = QUrl::fromLocalFile(manual);
    url.setFragment(QStringLiteral("project-page"));
    return url;
}

std::optional<Message> OpenHelp(const QUrl& url, const char* what) {
    if (url.isEmpty()) {
        return Message{"The user manual (\"Kestrova v2 Help.html\") was not found next to the program.", "Help",
                       MessageIcon::Exclamation, MessageButtons::Ok};
    }
    if (QDesktopServices::openUrl(url)) return std::nullopt;
    const QString place = url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString();
    std::string text = std::string("No program was found to open ") + what + ". Open this file in a web browser:\r\n" +
                       place.toStdString();
    if (url.hasFragment()) text += "\r\n(section \"" + url.fragment().toStdString() + "\")";
    return Message{text, "Help", MessageIcon::Information, MessageButtons::Ok};
}

}  // namespace kestrova
