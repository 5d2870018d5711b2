#pragma once
// A show file: what an unattended prop plays and what starts it. JSON with
// a fixed set of keys; every problem is reported with the entry it is in
// ("shows[2].project", "triggers[0].port"), all of them, before anything runs.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::show {

enum class Order { InTurn, Random, ByTrigger };
enum class TriggerKind { Key, Osc, Http, Modem, Gpio };
enum class StopAction { IdleFirstFrame, Hold };

struct ShowEntry {
    std::string project;  // path as written, relative to the show file's folder
    std::string trigger;  // by-trigger order: the trigger name that starts it
};

struct TriggerSetup {
    TriggerKind kind = TriggerKind::Key;
    std::string name;         // reported in the log; chooses the show in by-trigger order
    int32_t port = 0;         // OSC and HTTP
    std::string address;      // HTTP: the address bound (127.0.0.1 unless given)
    std::string secret;       // HTTP: required from anything but the loopback address
    std::string line;         // modem: CTS, DSR, DCD or RI
    std::string chip;         // GPIO: /dev/gpiochipN
    int32_t offset = -1;      // GPIO: the line's offset on the chip
    bool activeLow = false;   // modem and GPIO
    bool fromAnywhere = false;  // OSC: take messages from other machines too
};

// Minutes after local midnight; from > to wraps over midnight.
struct QuietHours {
    int32_t from = 0, to = 0;
    bool Contains(int32_t minuteOfDay) const {
        if (from == to) return false;
        return from < to ? minuteOfDay >= from && minuteOfDay < to : minuteOfDay >= from || minuteOfDay < to;
    }
};

struct ShowFile {
    std::string folder;                 // where relative paths are taken from
    std::optional<std::string> device;  // the serial device; the projects' own port when absent
    std::optional<int32_t> portNumber;
    std::optional<int32_t> baud;
    int32_t framesPerSecond = 15;
    std::string idle;                   // empty: no idle, the servos hold between shows
    std::vector<ShowEntry> shows;
    Order order = Order::InTurn;
    std::vector<TriggerSetup> triggers;
    double cooldownMs = 0;
    double warmUpMs = 0;
    double minPulseMs = 0;
    std::optional<QuietHours> quiet;
    StopAction onStop = StopAction::Hold;
    std::string log;                    // empty: standard error
    bool skipBroken = false;            // start without the entries that fail their checks

    // The path of a file the show file names.
    std::string Resolve(const std::string& path) const;
};

struct ShowFileProblem {
    std::string entry;  // "shows[1].project"; empty for the file as a whole
    std::string text;
    std::string Line() const { return entry.empty() ? text : entry + ": " + text; }
};

struct ShowFileRead {
    ShowFile file;
    std::vector<ShowFileProblem> problems;
    bool ok() const { return problems.empty(); }
};

// Parses the text of a show file found in `folder`.
ShowFileRead ParseShowFile(std::string_view text, const std::string& folder);
// Reads and parses; an unreadable file is a problem of the file as a whole.
ShowFileRead ReadShowFile(const std::string& path);
// The text of a show file (the editor's "Make Show File...").
std::string ComposeShowFile(const ShowFile& file);

const char* OrderName(Order order);
const char* TriggerKindName(TriggerKind kind);

}  // namespace kestrova::show
