#pragma once
// The program's own icons: small SVG files bundled as resources
// (":/icons/<name>.svg"). The desktop theme's icon is used where the theme
// has one.

#include <QIcon>
#include <QString>

namespace kestrova {

// The toolbar icon of a key ("new", "open", "save", "cut", "copy", "paste",
// "build", "run").
QIcon SvgIcon(const QString& key);

}  // namespace kestrova
