#include "show_file.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace kestrova::show {

namespace {

constexpr size_t kMaxFileBytes = 1 << 20;
constexpr double kMaxSeconds = 24 * 3600;

class Reader {
public:
    explicit Reader(std::vector<ShowFileProblem>& problems) : problems_(problems) {}

    void Problem(const std::string& entry, const std::string& text) { problems_.push_back({entry, text}); }

    // Reports every key of `object` that is not one of `known`.
    void OnlyKnown(const QJsonObject& object, const std::string& entry, std::initializer_list<const char*> known) {
        std::set<QString> names;
        for (const char* k : known) names.insert(QString::fromLatin1(k));
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!names.count(it.key())) Problem(Join(entry, it.key().toStdString()), "unknown key");
        }
    }

    std::optional<std::string> Text(const QJsonObject& o, const char* key, const std::string& entry, bool required) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) {
            if (required) Problem(Join(entry, key), "missing");
            return std::nullopt;
        }
        if (!v.isString() || v.toString().isEmpty()) {
            Problem(Join(entry, key), "must be a text that is not empty");
            return std::nullopt;
        }
        return v.toString().toStdString();
    }

    std::optional<double> Number(const QJsonObject& o, const char* key, const std::string& entry, double low,
                                 double high, bool whole) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) return std::nullopt;
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || !(d >= low && d <= high) || (whole && std::floor(d) != d)) {
            Problem(Join(entry, key), std::string("must be ") + (whole ? "a whole number" : "a number") + " from " +
                                          Plain(low) + " to " + Plain(high));
            return std::nullopt;
        }
        return d;
    }

    std::optional<bool> Flag(const QJsonObject& o, const char* key, const std::string& entry) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) return std::nullopt;
        if (!v.isBool()) {
            Problem(Join(entry, key), "must be true or false");
            return std::nullopt;
        }
        return v.toBool();
    }

    static std::string Join(const std::string& entry, const std::string& key) {
        return entry.empty() ? key : entry + "." + key;
    }

private:
    static std::string Plain(double d) {
        std::string s = std::to_string(d);
        s.erase(s.find_last_not_of('0') + 1);
        if (!s.empty() && s.back() == '.') s.pop_back();
        return s;
    }
    std::vector<ShowFileProblem>& problems_;
};

std::optional<int32_t> ClockMinutes(const std::string& text) {
    // "HH:MM", 00:00 to 23:59.
    if (text.size() != 5 || text[2] != ':') return std::nullopt;
    for (size_t i : {0u, 1u, 3u, 4u}) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    }
    const int h = (text[0] - '0') * 10 + (text[1] - '0');
    const int m = (text[3] - '0') * 10 + (text[4] - '0');
    if (h > 23 || m > 59) return std::nullopt;
    return h * 60 + m;
}

std::pair<int, int> LineColumn(std::string_view text, int offset) {
    int line = 1, column = 1;
    for (int i = 0; i < offset && i < int(text.size()); ++i) {
        if (text[size_t(i)] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return {line, column};
}

void ReadTrigger(Reader& r, const QJsonValue& value, const std::string& entry, ShowFile& file) {
    if (!value.isObject()) {
        r.Problem(entry, "must be an object");
        return;
    }
    const QJsonObject o = value.toObject();
    TriggerSetup t;
    const std::optional<std::string> type = r.Text(o, "type", entry, true);
    if (!type) return;
    static const std::pair<const char*, TriggerKind> kinds[] = {{"key", TriggerKind::Key},
                                                                {"osc", TriggerKind::Osc},
                                                                {"http", TriggerKind::Http},
                                                                {"modem", TriggerKind::Modem},
                                                                {"gpio", TriggerKind::Gpio}};
    bool known = false;
    for (const auto& [name, kind] : kinds) {
        if (*type == name) {
            t.kind = kind;
            known = true;
        }
    }
    if (!known) {
        r.Problem(Reader::Join(entry, "type"), "must be key, osc, http, modem or gpio");
        return;
    }
    t.name = r.Text(o, "name", entry, false).value_or(*type);
    switch (t.kind) {
    case TriggerKind::Key: r.OnlyKnown(o, entry, {"type", "name"}); break;
    case TriggerKind::Osc:
        r.OnlyKnown(o, entry, {"type", "name", "port", "fromAnywhere"});
        t.port = int32_t(r.Number(o, "port", entry, 1, 65535, true).value_or(9000));
        t.fromAnywhere = r.Flag(o, "fromAnywhere", entry).value_or(false);
        break;
    case TriggerKind::Http: {
        r.OnlyKnown(o, entry, {"type", "name", "port", "address", "secret"});
        t.port = int32_t(r.Number(o, "port", entry, 1, 65535, true).value_or(8080));
        t.address = r.Text(o, "address", entry, false).value_or("127.0.0.1");
        t.secret = r.Text(o, "secret", entry, false).value_or("");
        const bool loopback = t.address == "127.0.0.1" || t.address == "::1" || t.address == "localhost";
        if (!loopback && t.secret.size() < 8) {
            r.Problem(Reader::Join(entry, "secret"),
                      "an address other than the loopback needs a secret of at least 8 characters");
        }
        break;
    }
    case TriggerKind::Modem: {
        r.OnlyKnown(o, entry, {"type", "name", "line", "activeLow"});
        t.line = r.Text(o, "line", entry, true).value_or("");
        if (!t.line.empty() && t.line != "CTS" && t.line != "DSR" && t.line != "DCD" && t.line != "RI") {
            r.Problem(Reader::Join(entry, "line"), "must be CTS, DSR, DCD or RI");
        }
        t.activeLow = r.Flag(o, "activeLow", entry).value_or(false);
        break;
    }
    case TriggerKind::Gpio:
        r.OnlyKnown(o, entry, {"type", "name", "chip", "line", "activeLow"});
        t.chip = r.Text(o, "chip", entry, false).value_or("/dev/gpiochip0");
        if (!o.contains("line")) r.Problem(Reader::Join(entry, "line"), "missing");
        t.offset = int32_t(r.Number(o, "line", entry, 0, 1023, true).value_or(-1));
        t.activeLow = r.Flag(o, "activeLow", entry).value_or(false);
        break;
    }
    file.triggers.push_back(std::move(t));
}

}  // namespace

std::string ShowFile::Resolve(const std::string& path) const {
    const std::filesystem::path p(path);
    return p.is_absolute() || folder.empty() ? path : (std::filesystem::path(folder) / p).string();
}

const char* OrderName(Order order) {
    switch (order) {
    case Order::InTurn: return "in-turn";
    case Order::Random: return "random";
    case Order::ByTrigger: return "by-trigger";
    }
    return "";
}

const char* TriggerKindName(TriggerKind kind) {
    switch (kind) {
    case TriggerKind::Key: return "key";
    case TriggerKind::Osc: return "osc";
    case TriggerKind::Http: return "http";
    case TriggerKind::Modem: return "modem";
    case TriggerKind::Gpio: return "gpio";
    }
    return "";
}

ShowFileRead ParseShowFile(std::string_view text, const std::string& folder) {
    ShowFileRead read;
    read.file.folder = folder;
    Reader r(read.problems);
    if (text.size() > kMaxFileBytes) {
        r.Problem("", "the file is larger than 1 MB; a show file is a few lines");
        return read;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(text.data(), qsizetype(text.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        const auto [line, column] = LineColumn(text, error.offset);
        r.Problem("", "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                          error.errorString().toStdString());
        return read;
    }
    if (!document.isObject()) {
        r.Problem("", "must be a JSON object");
        return read;
    }
    const QJsonObject o = document.object();
    ShowFile& f = read.file;
    r.OnlyKnown(o, "", {"port", "framesPerSecond", "idle", "shows", "order", "triggers", "cooldownSeconds",
                        "warmUpSeconds", "minPulseMs", "quietHours", "onStop", "log", "skipBrokenEntries"});

    if (o.contains("port")) {
        const QJsonValue v = o.value("port");
        if (!v.isObject()) {
            r.Problem("port", "must be an object");
        } else {
            const QJsonObject p = v.toObject();
            r.OnlyKnown(p, "port", {"device", "number", "baud"});
            f.device = r.Text(p, "device", "port", false);
            if (auto n = r.Number(p, "number", "port", 1, 255, true)) f.portNumber = int32_t(*n);
            if (auto b = r.Number(p, "baud", "port", 300, 4'000'000, true)) f.baud = int32_t(*b);
        }
    }
    f.framesPerSecond = int32_t(r.Number(o, "framesPerSecond", "", 1, 30, true).value_or(15));
    f.idle = r.Text(o, "idle", "", false).value_or("");

    const QJsonValue shows = o.value("shows");
    if (!shows.isArray() || shows.toArray().isEmpty()) {
        r.Problem("shows", shows.isUndefined() ? "missing" : "must be a list of one or more projects");
    } else {
        const QJsonArray list = shows.toArray();
        for (qsizetype i = 0; i < list.size(); ++i) {
            const std::string entry = "shows[" + std::to_string(i) + "]";
            ShowEntry show;
            if (list[i].isString() && !list[i].toString().isEmpty()) {
                show.project = list[i].toString().toStdString();
            } else if (list[i].isObject()) {
                const QJsonObject s = list[i].toObject();
                r.OnlyKnown(s, entry, {"project", "trigger"});
                show.project = r.Text(s, "project", entry, true).value_or("");
                show.trigger = r.Text(s, "trigger", entry, false).value_or("");
            } else {
                r.Problem(entry, "must be a project path or an object with \"project\"");
            }
            f.shows.push_back(std::move(show));
        }
    }

    if (auto order = r.Text(o, "order", "", false)) {
        if (*order == "in-turn") f.order = Order::InTurn;
        else if (*order == "random") f.order = Order::Random;
        else if (*order == "by-trigger") f.order = Order::ByTrigger;
        else r.Problem("order", "must be in-turn, random or by-trigger");
    }

    const QJsonValue triggers = o.value("triggers");
    if (!triggers.isUndefined() && !triggers.isArray()) {
        r.Problem("triggers", "must be a list");
    } else {
        const QJsonArray list = triggers.toArray();
        for (qsizetype i = 0; i < list.size(); ++i) ReadTrigger(r, list[i], "triggers[" + std::to_string(i) + "]", f);
    }
    if (f.triggers.empty() && !triggers.isArray()) {
        TriggerSetup key;
        key.name = "key";
        f.triggers.push_back(key);
    }
    std::set<std::pair<TriggerKind, int32_t>> ports;
    for (size_t i = 0; i < f.triggers.size(); ++i) {
        const TriggerSetup& t = f.triggers[i];
        if ((t.kind == TriggerKind::Osc || t.kind == TriggerKind::Http) && !ports.insert({t.kind, t.port}).second) {
            r.Problem("triggers[" + std::to_string(i) + "].port", "is used by an earlier trigger of the same type");
        }
    }
    if (f.order == Order::ByTrigger) {
        for (size_t i = 0; i < f.shows.size(); ++i) {
            if (f.shows[i].trigger.empty()) {
                r.Problem("shows[" + std::to_string(i) + "].trigger", "by-trigger order needs the trigger's name");
            }
        }
    }

    f.cooldownMs = 1000 * r.Number(o, "cooldownSeconds", "", 0, kMaxSeconds, false).value_or(0);
    f.warmUpMs = 1000 * r.Number(o, "warmUpSeconds", "", 0, kMaxSeconds, false).value_or(0);
    f.minPulseMs = r.Number(o, "minPulseMs", "", 0, 60'000, false).value_or(0);

    if (o.contains("quietHours")) {
        const QJsonValue v = o.value("quietHours");
        if (!v.isObject()) {
            r.Problem("quietHours", "must be an object with \"from\" and \"to\"");
        } else {
            const QJsonObject q = v.toObject();
            r.OnlyKnown(q, "quietHours", {"from", "to"});
            const auto from = r.Text(q, "from", "quietHours", true);
            const auto to = r.Text(q, "to", "quietHours", true);
            const auto a = from ? ClockMinutes(*from) : std::nullopt;
            const auto b = to ? ClockMinutes(*to) : std::nullopt;
            if (from && !a) r.Problem("quietHours.from", "must be a time of day as HH:MM");
            if (to && !b) r.Problem("quietHours.to", "must be a time of day as HH:MM");
            if (a && b) f.quiet = QuietHours{*a, *b};
        }
    }
    if (auto stop = r.Text(o, "onStop", "", false)) {
        if (*stop == "hold") f.onStop = StopAction::Hold;
        else if (*stop == "idle-first-frame") f.onStop = StopAction::IdleFirstFrame;
        else r.Problem("onStop", "must be hold or idle-first-frame");
    }
    f.log = r.Text(o, "log", "", false).value_or("");
    f.skipBroken = r.Flag(o, "skipBrokenEntries", "").value_or(false);
    return read;
}

ShowFileRead ReadShowFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ShowFileRead read;
        read.problems.push_back({"", "the show file " + path + " cannot be read"});
        return read;
    }
    std::string text;
    text.resize(kMaxFileBytes + 1);
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    return ParseShowFile(text, std::filesystem::absolute(path).parent_path().string());
}

std::string ComposeShowFile(const ShowFile& f) {
    QJsonObject o;
    if (f.device || f.portNumber || f.baud) {
        QJsonObject p;
        if (f.device) p["device"] = QString::fromStdString(*f.device);
        if (f.portNumber) p["number"] = *f.portNumber;
        if (f.baud) p["baud"] = *f.baud;
        o["port"] = p;
    }
    o["framesPerSecond"] = f.framesPerSecond;
    if (!f.idle.empty()) o["idle"] = QString::fromStdString(f.idle);
    QJsonArray shows;
    for (const ShowEntry& s : f.shows) {
        if (s.trigger.empty()) {
            shows.append(QString::fromStdString(s.project));
        } else {
            shows.append(QJsonObject{{"project", QString::fromStdString(s.project)},
                                     {"trigger", QString::fromStdString(s.trigger)}});
        }
    }
    o["shows"] = shows;
    o["order"] = OrderName(f.order);
    QJsonArray triggers;
    for (const TriggerSetup& t : f.triggers) {
        QJsonObject j{{"type", TriggerKindName(t.kind)}};
        if (t.name != TriggerKindName(t.kind)) j["name"] = QString::fromStdString(t.name);
        if (t.kind == TriggerKind::Osc || t.kind == TriggerKind::Http) j["port"] = t.port;
        if (t.kind == TriggerKind::Http && t.address != "127.0.0.1") j["address"] = QString::fromStdString(t.address);
        if (!t.secret.empty()) j["secret"] = QString::fromStdString(t.secret);
        if (t.kind == TriggerKind::Modem) j["line"] = QString::fromStdString(t.line);
        if (t.kind == TriggerKind::Gpio) {
            j["chip"] = QString::fromStdString(t.chip);
            j["line"] = t.offset;
        }
        if (t.activeLow) j["activeLow"] = true;
        if (t.fromAnywhere) j["fromAnywhere"] = true;
        triggers.append(j);
    }
    o["triggers"] = triggers;
    o["cooldownSeconds"] = f.cooldownMs / 1000;
    o["warmUpSeconds"] = f.warmUpMs / 1000;
    o["minPulseMs"] = f.minPulseMs;
    if (f.quiet) {
        auto hm = [](int32_t m) {
            char text[16];
            std::snprintf(text, sizeof text, "%02d:%02d", int(m / 60), int(m % 60));
            return QString::fromLatin1(text);
        };
        o["quietHours"] = QJsonObject{{"from", hm(f.quiet->from)}, {"to", hm(f.quiet->to)}};
    }
    o["onStop"] = f.onStop == StopAction::Hold ? "hold" : "idle-first-frame";
    if (!f.log.empty()) o["log"] = QString::fromStdString(f.log);
    if (f.skipBroken) o["skipBrokenEntries"] = true;
    return QJsonDocument(o).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace kestrova::show
