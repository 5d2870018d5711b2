#include "svg_icon.h"

#include <map>

// The bundled icons live in this static library; its resources must be
// registered before first use.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace kestrova {

namespace {

const std::map<QString, const char*>& ThemeNames() {
    static const std::map<QString, const char*> names = {
        {QStringLiteral("new"), "document-new"},   {QStringLiteral("open"), "document-open"},
        {QStringLiteral("save"), "document-save"}, {QStringLiteral("cut"), "edit-cut"},
        {QStringLiteral("copy"), "edit-copy"},     {QStringLiteral("paste"), "edit-paste"},
    };
    return names;
}

}  // namespace

QIcon SvgIcon(const QString& key) {
    static const bool registered = (InitIconResources(), true);
    (void)registered;
    const auto theme = ThemeNames().find(key);
    if (theme != ThemeNames().end() && QIcon::hasThemeIcon(QString::fromLatin1(theme->second)))
        return QIcon::fromTheme(QString::fromLatin1(theme->second));
    return QIcon(QStringLiteral(":/icons/") + key + QStringLiteral(".svg"));
}

}  // namespace kestrova
