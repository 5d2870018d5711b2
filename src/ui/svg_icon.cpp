#include "svg_icon.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <map>

// The bundled icons live in this static library; its resources must be
// registered before first use.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace kestrova {

namespace {

QList<double> Numbers(const QString& text) {
    static const QRegularExpression number(QStringLiteral(R"([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)"));
    QList<double> values;
    for (auto it = number.globalMatch(text); it.hasNext();) values.append(it.next().captured().toDouble());
    return values;
}

// Absolute path commands only: M, L, H, V, Z (lower case taken as upper).
QPainterPath PathOf(const QString& d) {
    static const QRegularExpression part(QStringLiteral(R"(([MLHVZmlhvz])([^MLHVZmlhvz]*))"));
    QPainterPath path;
    QPointF at;
    for (auto it = part.globalMatch(d); it.hasNext();) {
        const auto match = it.next();
        const QChar command = match.captured(1).at(0).toUpper();
        const QList<double> v = Numbers(match.captured(2));
        if (command == u'Z') {
            path.closeSubpath();
            continue;
        }
        if (command == u'H' || command == u'V') {
            for (double value : v) {
                at = command == u'H' ? QPointF(value, at.y()) : QPointF(at.x(), value);
                path.lineTo(at);
            }
            continue;
        }
        for (qsizetype k = 0; k + 1 < v.size(); k += 2) {
            at = QPointF(v[k], v[k + 1]);
            if (command == u'M' && k == 0) path.moveTo(at);
            else path.lineTo(at);
        }
    }
    return path;
}

QPolygonF PointsOf(const QString& text) {
    const QList<double> v = Numbers(text);
    QPolygonF polygon;
    for (qsizetype k = 0; k + 1 < v.size(); k += 2) polygon << QPointF(v[k], v[k + 1]);
    return polygon;
}

const std::map<QString, const char*>& ThemeNames() {
    static const std::map<QString, const char*> names = {
        {QStringLiteral("new"), "document-new"},   {QStringLiteral("open"), "document-open"},
        {QStringLiteral("save"), "document-save"}, {QStringLiteral("cut"), "edit-cut"},
        {QStringLiteral("copy"), "edit-copy"},     {QStringLiteral("paste"), "edit-paste"},
    };
    return names;
}

}  // namespace

QPixmap RenderSimpleSvg(const QString& path, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return pixmap;
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QXmlStreamAttributes a = xml.attributes();
        const QString name = xml.name().toString();
        if (name == u"svg") {
            const QList<double> box = Numbers(a.value(QLatin1String("viewBox")).toString());
            if (box.size() == 4 && box[2] > 0 && box[3] > 0) {
                painter.scale(size / box[2], size / box[3]);
                painter.translate(-box[0], -box[1]);
            }
            continue;
        }
        auto number = [&a](const char* key, double fallback = 0) {
            const QString text = a.value(QLatin1String(key)).toString();
            return text.isEmpty() ? fallback : text.toDouble();
        };
        const QString fill = a.value(QLatin1String("fill")).toString();
        const QString stroke = a.value(QLatin1String("stroke")).toString();
        painter.setBrush(fill == u"none" ? QBrush(Qt::NoBrush) : QBrush(QColor(fill.isEmpty() ? QStringLiteral("#000") : fill)));
        if (stroke.isEmpty() || stroke == u"none") {
            painter.setPen(Qt::NoPen);
        } else {
            QPen pen{QColor(stroke), number("stroke-width", 1)};
            pen.setJoinStyle(a.value(QLatin1String("stroke-linejoin")) == u"round" ? Qt::RoundJoin : Qt::MiterJoin);
            pen.setCapStyle(a.value(QLatin1String("stroke-linecap")) == u"round" ? Qt::RoundCap : Qt::FlatCap);
            painter.setPen(pen);
        }
        if (name == u"rect") {
            const QRectF r(number("x"), number("y"), number("width"), number("height"));
            const double rx = number("rx");
            painter.drawRoundedRect(r, rx, rx);
        } else if (name == u"circle") {
            const double r = number("r");
            painter.drawEllipse(QPointF(number("cx"), number("cy")), r, r);
        } else if (name == u"line") {
            painter.drawLine(QPointF(number("x1"), number("y1")), QPointF(number("x2"), number("y2")));
        } else if (name == u"polyline") {
            painter.drawPolyline(PointsOf(a.value(QLatin1String("points")).toString()));
        } else if (name == u"polygon") {
            painter.drawPolygon(PointsOf(a.value(QLatin1String("points")).toString()));
        } else if (name == u"path") {
            painter.drawPath(PathOf(a.value(QLatin1String("d")).toString()));
        }
    }
    return pixmap;
}

QIcon SvgIcon(const QString& key) {
    static const bool registered = (InitIconResources(), true);
    (void)registered;
    const auto theme = ThemeNames().find(key);
    if (theme != ThemeNames().end() && QIcon::hasThemeIcon(QString::fromLatin1(theme->second)))
        return QIcon::fromTheme(QString::fromLatin1(theme->second));
    const QString path = QStringLiteral(":/icons/") + key + QStringLiteral(".svg");
    if (QImageReader::supportedImageFormats().contains("svg")) return QIcon(path);
    QIcon icon;
    for (int size : {16, 24, 32, 48}) icon.addPixmap(RenderSimpleSvg(path, size));
    return icon;
}

}  // namespace kestrova
