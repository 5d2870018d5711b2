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

// Draws an SVG file of the simple kind the bundled icons use (rect, circle,
// line, polyline, polygon and path with M, L, H, V and Z, fill, stroke and
// stroke-width) at the given size; used when Qt has no SVG image plugin.
QPixmap RenderSimpleSvg(const QString& path, int size);

}  // namespace kestrova
