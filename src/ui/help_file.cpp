#include "help_file.h"

#include <QCoreApplication>
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

}  // namespace kestrova
