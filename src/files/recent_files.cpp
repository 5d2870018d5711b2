#include "recent_files.h"

#include <QByteArray>
#include <QString>
#include <QUtf8StringView>

namespace kestrova {

namespace {

// The store keeps text, so a path whose bytes are not UTF-8 (a file system
// in another encoding) is kept percent-encoded behind a marker, and comes
// back as the same bytes.
constexpr std::string_view kRawMarker = "\x01bytes:";

bool IsUtf8(const std::string& text) { return QUtf8StringView(text).isValidUtf8(); }

std::string ToStored(const std::string& path) {
    if (IsUtf8(path)) return path;
    return std::string(kRawMarker) + QByteArray::fromStdString(path).toPercentEncoding("/ ").toStdString();
}

std::string FromStored(const std::string& text) {
    if (text.rfind(kRawMarker, 0) != 0) return text;
    return QByteArray::fromPercentEncoding(QByteArray::fromStdString(text.substr(kRawMarker.size()))).toStdString();
}

// Paths name the same file when they match without regard to letter case;
// paths that are not text match only byte for byte.
bool SamePath(const std::string& a, const std::string& b) {
    if (!IsUtf8(a) || !IsUtf8(b)) return a == b;
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

cRegistry RecentFilesList::Store() const {
    cRegistry store(Location);
    store.SetClassKey(kHkeyCurrentUser);
    store.SetSectionKey(RegKey + "\\Recent");
    store.SetValueType(kRegText);
    return store;
}

std::vector<std::string> RecentFilesList::Items() const {
    cRegistry store = Store();
    std::vector<std::string> names;
    int32_t count = 0;
    if (!store.EnumerateValues(names, count)) count = 0;
    if (count > MaxItems) count = MaxItems;
    std::vector<std::string> items;
    for (int32_t k = 0; k < count; ++k) {
        store.SetValueKey(std::to_string(k));
        items.push_back(FromStored(RegistryValueText(store.Value())));
    }
    return items;
}

std::optional<RegistryError> RecentFilesList::AddMenuItem(const std::string& sFilename) const {
    cRegistry store = Store();
    std::vector<std::string> names;
    int32_t count = 0;
    if (!store.EnumerateValues(names, count)) count = 0;

    auto read = [&store](int32_t index) {
        store.SetValueKey(std::to_string(index));
        return RegistryValueText(store.Value());
    };
    auto write = [&store](int32_t index, const std::string& text) {
        store.SetValueKey(std::to_string(index));
        store.SetValueType(kRegText);
        return store.SetValue(RegistryValue(text));
    };

    // The i-th name visited is taken to be the value named i - 1.
    int32_t found = 0;
    for (int32_t i = 1; i <= count; ++i) {
        store.SetValueKey(names[static_cast<size_t>(i)]);
        if (SamePath(FromStored(RegistryValueText(store.Value())), sFilename)) {
            found = i;
            break;
        }
    }

    if (found > 0) {
        store.SetValueKey(names[static_cast<size_t>(found)]);
        const std::string stored = RegistryValueText(store.Value());
        for (int32_t j = found - 1; j >= 1; --j) {
            const std::string above = read(j - 1);
            if (j < MaxItems) {
                if (auto error = write(j, above)) return error;
            }
        }
        return write(0, stored);
    }

    const int32_t n = count < MaxItems ? count : MaxItems;
    for (int32_t j = n; j >= 1; --j) {
        if (auto error = write(j, read(j - 1))) return error;
    }
    return write(0, ToStored(sFilename));
}

}  // namespace kestrova
