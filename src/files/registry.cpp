#include "registry.h"

#include "core/numeric_text.h"

#include <QByteArray>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <charconv>
#include <memory>

namespace kestrova {

namespace {

constexpr const char* kErrorSource = "Kestrova.cRegistry";

// Where a key lives: the organisation and application whose settings hold
// it, and the group path inside them ("" for the application's own key).
struct KeyLocation {
    QString organisation;
    QString application;
    QString group;
};

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

bool EqualsNoCase(const std::string& a, const char* b) {
    return QString::fromStdString(a).compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

std::optional<KeyLocation> Locate(int32_t root, const std::string& sectionKey) {
    if (root != kHkeyCurrentUser) return std::nullopt;
    const std::vector<std::string> parts = SplitPath(sectionKey);
    if (parts.size() < 2 || !EqualsNoCase(parts[0], "Software")) return std::nullopt;
    KeyLocation location;
    for (size_t i = 1; i < parts.size(); ++i) {
        // "/" separates groups in the settings; a key name holding one has
        // no place there.
        if (parts[i].find('/') != std::string::npos) return std::nullopt;
        const QString name = QString::fromStdString(parts[i]);
        if (i == 1) {
            location.organisation = name;
        } else if (i == 2) {
            location.application = name;
        } else {
            if (!location.group.isEmpty()) location.group += QLatin1Char('/');
            location.group += name;
        }
    }
    return location;
}

bool IsValidValueName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}

// The settings that hold a key, or nothing for a key outside the store.
// fileStore tells whether they live in a settings file, which cannot record
// the types of its values.
struct OpenedStore {
    std::unique_ptr<QSettings> settings;
    bool fileStore = true;
};

OpenedStore OpenStore(const StoreLocation& where, const KeyLocation& location) {
    OpenedStore store;
    const std::string& dir = where.folder;
    if (!dir.empty()) {
        QString path = QString::fromStdString(dir) + QLatin1Char('/') + location.organisation;
        path += location.application.isEmpty()
                    ? QStringLiteral(".conf")
                    : QLatin1Char('/') + location.application + QStringLiteral(".conf");
        store.settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        return store;
    }
#ifdef Q_OS_WIN
    // The registry key itself, so that an organisation-wide key is
    // "Software\<organisation>" and not Qt's "OrganizationDefaults".
    QString path = QStringLiteral("HKEY_CURRENT_USER\\Software\\") + location.organisation;
    if (!location.application.isEmpty()) path += QLatin1Char('\\') + location.application;
    store.settings = std::make_unique<QSettings>(path, QSettings::NativeFormat);
    store.fileStore = false;
#else
    store.settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                 location.organisation, location.application);
#endif
    // Only the current user's own settings: no system-wide or
    // organisation-wide values show through.
    store.settings->setFallbacksEnabled(false);
    return store;
}

bool StoreFileReadable(const OpenedStore& store) {
    if (!store.fileStore) return true;
    const QFileInfo info(store.settings->fileName());
    return info.isFile() && info.isReadable();
}

// A key exists when it holds values or subkeys; the application's own key
// (no group) when its settings exist at all.
bool GroupExists(QSettings& settings, const QString& group) {
    if (group.isEmpty()) return true;
    settings.beginGroup(group);
    const bool exists = !settings.childKeys().isEmpty() || !settings.childGroups().isEmpty();
    settings.endGroup();
    return exists;
}

#ifdef Q_OS_WIN
bool RegistryKeyExists(const KeyLocation& location) {
    // A registry key may exist empty: ask its parent whether it has it.
    QStringList path{location.organisation};
    if (!location.application.isEmpty()) path << location.application;
    if (!location.group.isEmpty()) path << location.group.split(QLatin1Char('/'));
    const QString name = path.takeLast();
    QStringList parent{QStringLiteral("HKEY_CURRENT_USER"), QStringLiteral("Software")};
    parent << path;
    QSettings settings(parent.join(QLatin1Char('\\')), QSettings::NativeFormat);
    return settings.childGroups().contains(name, Qt::CaseInsensitive);
}
#endif

std::optional<int32_t> CanonicalInt32(const QString& text) {
    const std::string s = text.toStdString();
    if (s.empty()) return std::nullopt;
    size_t digits = s[0] == '-' ? 1 : 0;
    if (digits == s.size()) return std::nullopt;
    if (s[digits] == '0' && s.size() > digits + 1) return std::nullopt;  // leading zeros
    if (s == "-0") return std::nullopt;
    int32_t n = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return n;
}

// Converts what the settings returned into a value and its type.
RegistryValue FromVariant(const QVariant& v, bool fileStore, int32_t& type) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        // A 32-bit number keeps its bits whether it came signed or unsigned;
        // a wider one is shown as its decimal text.
        bool isSigned = v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong;
        if (isSigned ? (v.toLongLong() >= INT32_MIN && v.toLongLong() <= int64_t{UINT32_MAX})
                     : v.toULongLong() <= UINT32_MAX) {
            type = kRegNumber;
            return static_cast<int32_t>(static_cast<uint32_t>(v.toLongLong()));
        }
        type = kRegText;
        return v.toString().toStdString();
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = v.toByteArray();
        type = kRegBinary;
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    case QMetaType::QStringList:
        type = kRegText;
        return v.toStringList().join(QLatin1Char(',')).toStdString();
    default: {
        const QString text = v.toString();
        if (fileStore) {
            if (const auto n = CanonicalInt32(text)) {
                type = kRegNumber;
                return *n;
            }
        }
        type = kRegText;
        return text.toStdString();
    }
    }
}

}  // namespace

std::string RegistryValueText(const RegistryValue& value) {
    if (const auto* n = std::get_if<int32_t>(&value)) return std::to_string(*n);
    if (const auto* s = std::get_if<std::string>(&value)) return *s;
    if (const auto* b = std::get_if<std::vector<uint8_t>>(&value))
        return std::string(b->begin(), b->end());
    return {};
}

int32_t RegistryValueToInt32(const RegistryValue& value) {
    if (const auto* n = std::get_if<int32_t>(&value)) return *n;
    if (const auto* s = std::get_if<std::string>(&value)) return ToInt32(*s).value_or(0);
    return 0;
}

Message RegistryErrorMessage(const RegistryError& error) {
    return Message{"Error " + std::to_string(error.number) + ": " + error.description, "Registry Error",
                   MessageIcon::Critical, MessageButtons::Ok};
}

RegistryValue cRegistry::Value() {
    const auto location = Locate(classKey_, sectionKey_);
    if (!location || !IsValidValueName(valueKey_)) return default_;
    OpenedStore store = OpenStore(location_, *location);
    if (!StoreFileReadable(store) || store.settings->status() == QSettings::AccessError)
        return default_;
    QSettings& settings = *store.settings;
    if (!location->group.isEmpty()) settings.beginGroup(location->group);
    const QString key = QString::fromStdString(valueKey_);
    if (!settings.contains(key)) return default_;
    return FromVariant(settings.value(key), store.fileStore, valueType_);
}

std::optional<RegistryError> cRegistry::SetValue(const RegistryValue& value) {
    const auto location = Locate(classKey_, sectionKey_);
    if (!location || !IsValidValueName(valueKey_)) return WriteError(value);

    QVariant stored;
    switch (valueType_) {
    case kRegText:
        stored = QString::fromStdString(RegistryValueText(value));
        break;
    case kRegNumber:
        if (!std::holds_alternative<int32_t>(value)) return std::nullopt;  // nothing to write
        stored = std::get<int32_t>(value);
        break;
    default:
        return WriteError(value);  // type mismatch
    }

    OpenedStore store = OpenStore(location_, *location);
    QSettings& settings = *store.settings;
    if (settings.status() == QSettings::AccessError) return WriteError(value);
    if (!location->group.isEmpty()) settings.beginGroup(location->group);
    settings.setValue(QString::fromStdString(valueKey_), stored);
    settings.sync();
    if (settings.status() != QSettings::NoError) return WriteError(value);
    return std::nullopt;
}

bool cRegistry::KeyExists() const {
    const auto location = Locate(classKey_, sectionKey_);
    if (!location) return false;
#ifdef Q_OS_WIN
    if (location_.folder.empty()) return RegistryKeyExists(*location);
#endif
    OpenedStore store = OpenStore(location_, *location);
    if (!StoreFileReadable(store) || store.settings->status() == QSettings::AccessError)
        return false;
    return GroupExists(*store.settings, location->group);
}

bool cRegistry::EnumerateValues(std::vector<std::string>& names, int32_t& count) const {
    names.assign(1, std::string());
    count = 0;
    if (!KeyExists()) return false;
    const auto location = Locate(classKey_, sectionKey_);
    OpenedStore store = OpenStore(location_, *location);
    QSettings& settings = *store.settings;
    if (!location->group.isEmpty()) settings.beginGroup(location->group);
    for (const QString& key : settings.childKeys()) names.push_back(key.toStdString());
    count = static_cast<int32_t>(names.size()) - 1;
    return true;
}

RegistryError cRegistry::WriteError(const RegistryValue& value) const {
    RegistryError error;
    error.source = kErrorSource;
    error.description = "Failed to set registry value Key: '" + std::to_string(classKey_) +
                        "',Section: '" + sectionKey_ + "',Key: '" + valueKey_ +
                        "' to value: '" + RegistryValueText(value) + "'";
    return error;
}

}  // namespace kestrova
