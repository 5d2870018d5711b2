#include "recent_menu.h"

#include "files/registry.h"

#include <QAction>
#include <QFile>
#include <QMenu>

namespace kestrova {

clsRecentMenu::clsRecentMenu(QMenu* menu, QAction* before, QObject* parent)
    : QObject(parent), menu_(menu), before_(before) {
    auto* first = new QAction(QStringLiteral("(No Recent Files)"), menu_);
    first->setObjectName(QStringLiteral("miRecent"));
    first->setEnabled(false);
    menu_->insertAction(before_, first);
    connect(first, &QAction::triggered, this, [this, first] { emit RecentChosen(Caption(first)); });
    items_.push_back(first);
}

void clsRecentMenu::RefreshMenuItems() {
    const std::vector<std::string> paths = list_.Items();
    while (items_.size() > 1) {
        delete items_.back();
        items_.pop_back();
    }
    QAction* first = items_.front();
    if (paths.empty()) {
        first->setText(QStringLiteral("(No Recent Files)"));
        first->setData(QString());
        first->setEnabled(false);
        return;
    }
    for (size_t k = 0; k < paths.size(); ++k) {
        QAction* item = first;
        if (k > 0) {
            item = new QAction(menu_);
            item->setObjectName(QStringLiteral("miRecent"));
            menu_->insertAction(before_, item);
            connect(item, &QAction::triggered, this, [this, item] { emit RecentChosen(Caption(item)); });
            items_.push_back(item);
        }
        // The caption shows the path as text; the item keeps its bytes.
        const QByteArray path = QByteArray::fromStdString(paths[k]);
        item->setText(QStringLiteral("&%1 %2").arg(k + 1).arg(QFile::decodeName(path)));
        item->setData(path);
        item->setVisible(true);
        item->setEnabled(true);
    }
}

QByteArray clsRecentMenu::Caption(const QAction* item) {
    const QByteArray path = item->data().toByteArray();
    if (path.isEmpty()) return item->text().toUtf8();
    return item->text().section(QLatin1Char(' '), 0, 0).toUtf8() + ' ' + path;
}

void clsRecentMenu::AddMenuItem(const std::string& sFilename) {
    // The list is a convenience: a store that cannot be written is not
    // worth a message here.
    (void)list_.AddMenuItem(sFilename);
}

}  // namespace kestrova
