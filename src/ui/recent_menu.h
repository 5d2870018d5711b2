#pragma once
// The recent-files items of the File menu: "&1 path", "&2 path", ... built
// from the list in the store, or one disabled "(No Recent Files)" item.

#include "files/recent_files.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <vector>

class QAction;
class QMenu;

namespace kestrova {

class clsRecentMenu : public QObject {
    Q_OBJECT
public:
    // The items go into `menu` in front of `before` (the action that follows
    // them, e.g. the separator above Exit).
    clsRecentMenu(QMenu* menu, QAction* before, QObject* parent = nullptr);

    int32_t MaxItems() const { return list_.MaxItems; }
    void SetMaxItems(int32_t lMax) { list_.MaxItems = lMax; }
    const std::string& RegKey() const { return list_.RegKey; }
    void SetRegKey(const std::string& sKey) { list_.RegKey = sKey; }
    // The store that keeps the list.
    void SetStore(StoreLocation store) { list_.Location = std::move(store); }

    // Rebuilds the items from the store.
    void RefreshMenuItems();
    // Puts the name on top of the stored list (the menu is not touched).
    void AddMenuItem(const std::string& sFilename);

    // miRecent(0) and the items after it, as the menu shows them now.
    const std::vector<QAction*>& Items() const { return items_; }

signals:
    // An item was chosen; its caption is "&" number, a blank, the path (the
    // path as the file system's bytes, whatever their encoding).
    void RecentChosen(const QByteArray& caption);

private:
    static QByteArray Caption(const QAction* item);

    QMenu* menu_;
    QAction* before_;
    RecentFilesList list_;
    std::vector<QAction*> items_;
};

}  // namespace kestrova
