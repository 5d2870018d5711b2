#include "play_commands.h"

#include "cli.h"
#include "cli_support.h"
#include "core/compiler.h"
#include "core/limiter.h"
#include "core/messages.h"
#include "core/numeric_text.h"
#include "core/servo_caps.h"
#include "files/settings_store.h"
#include "link/live_output.h"
#include "link/serial_link.h"
#include "playback/line_load.h"
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"
#include "playback/sound_player.h"

#include <QCoreApplication>

#include <chrono>
#include <csignal>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>

#include <unistd.h>

namespace kestrova::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;
// The first Ctrl+C stops the play cleanly; a second one, when the first
// could not (something still waits), ends the program at once.
void OnInterrupt(int signal) {
    if (interrupted) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    interrupted = 1;
}

// Restores the default Ctrl+C handling when the play is over.
class InterruptGuard {
public:
    InterruptGuard() {
        interrupted = 0;
        previousInt_ = std::signal(SIGINT, &OnInterrupt);
        previousTerm_ = std::signal(SIGTERM, &OnInterrupt);
    }
    ~InterruptGuard() {
        std::signal(SIGINT, previousInt_);
        std::signal(SIGTERM, previousTerm_);
    }

private:
    void (*previousInt_)(int);
    void (*previousTerm_)(int);
};

// The command line as the engine's window: a progress line on a terminal,
// Ctrl+C as the stop button.
class ConsoleView : public QuietPlaybackView {
public:
    ConsoleView(PlaybackEngine*& engine, int fps, bool loop, int32_t lastFrame, std::ostream& err)
        : QuietPlaybackView(fps), engine_(engine), fps_(fps), loop_(loop), last_(lastFrame), err_(err),
          terminal_(::isatty(STDERR_FILENO)) {}

    // Printed once the port is open and playback begins.
    std::string header;
    void ShowPlayMarker() override { err_ << header; }
    void MovePlayMarker(int32_t frame) override { frame_ = frame; }
    void HidePlayMarker() override {
        if (terminal_ && shown_) err_ << '\n';
        shown_ = false;
    }
    void SetPositionCaption(const std::string&) override {
        // A few updates a second are enough for a person to follow.
        if (!terminal_ || (frame_ % std::max(1, fps_ / 5) != 0 && frame_ != last_)) return;
        err_ << "\rPlaying frame " << frame_ << " of " << last_ << (loop_ ? " (loop, Ctrl+C stops)" : "")
             << "   " << std::flush;
        shown_ = true;
    }
    bool LoopPressed() override { return loop_ && !interrupted; }
    // A message box as a line of its own, below the progress line.
    void Tell(const Message& message) override {
        if (terminal_ && shown_) err_ << '\n';
        shown_ = false;
        err_ << OneLine(message) << '\n';
    }
    void Pump() override {
        QCoreApplication::processEvents();
        if (interrupted && engine_) engine_->bStop = true;
    }
    bool StopPressed() override { return interrupted != 0; }

private:
    PlaybackEngine*& engine_;
    int fps_;
    bool loop_;
    int32_t frame_ = 0;
    int32_t last_;
    std::ostream& err_;
    bool terminal_;
    bool shown_ = false;
};

// Sleeps until `due`; a signal (Ctrl+C) ends the sleep at once.
void SleepUntil(std::chrono::steady_clock::time_point due) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch()).count();
    timespec until{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    while (!interrupted && ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

// The value after a flag, as a whole number within limits.
std::optional<int32_t> NumberArgument(const std::vector<std::string>& args, size_t& i, int32_t low, int32_t high) {
    if (i + 1 >= args.size()) return std::nullopt;
    const std::optional<int32_t> value = ToInt32(args[++i]);
    if (!value || *value < low || *value > high) return std::nullopt;
    return value;
}

struct PortChoice {
    std::optional<int32_t> port;
    std::optional<std::string> device;
    std::optional<int32_t> protocol;
};

// Takes --port N, --device PATH and --protocol NAME; true when args[i] was
// one of them.
bool TakePortArgument(const std::vector<std::string>& args, size_t& i, PortChoice& choice, bool& bad) {
    if (args[i] == "--protocol") {
        choice.protocol = i + 1 < args.size() ? ProtocolOfWord(args[++i]) : std::nullopt;
        bad = bad || !choice.protocol;
        return true;
    }
    if (args[i] == "--port") {
        choice.port = NumberArgument(args, i, 1, 255);
        bad = bad || !choice.port;
        return true;
    }
    if (args[i] == "--device") {
        if (i + 1 >= args.size()) {
            bad = true;
        } else {
            choice.device = args[++i];
        }
        return true;
    }
    return false;
}

void ApplyPortChoice(SerialLink& link, ProjectSettings& settings, const PortChoice& choice) {
    if (choice.port) settings.COMPort = *choice.port;
    if (choice.protocol) settings.Protocol = *choice.protocol;
    link.ApplyCommSettings(settings);
    if (choice.device) link.SetDeviceOverride(*choice.device);
}

}  // namespace

int Play(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
    std::string file;
    PortChoice portChoice;
    std::optional<int32_t> fps, from, to, baud;
    bool loop = false;
    bool bad = false;
    for (size_t i = 1; i < args.size() && !bad; ++i) {
        if (TakePortArgument(args, i, portChoice, bad)) continue;
        if (args[i] == "--fps") {
            fps = NumberArgument(args, i, 1, 30);
            bad = !fps;
        } else if (args[i] == "--from") {
            from = NumberArgument(args, i, 1, kMaxFrames);
            bad = !from;
        } else if (args[i] == "--to") {
            to = NumberArgument(args, i, 1, kMaxFrames);
            bad = !to;
        } else if (args[i] == "--baud") {
            baud = NumberArgument(args, i, 300, 4'000'000);
            bad = !baud;
        } else if (args[i] == "--loop") {
            loop = true;
        } else if (file.empty() && args[i].rfind("-", 0) != 0) {
            file = args[i];
        } else {
            return Usage(err, "unexpected argument '" + args[i] + "'");
        }
    }
    if (bad) return Usage(err, "--port takes 1 to 255, --fps 1 to 30, --from and --to 1 to 1000000, --baud 300 to 4000000, "
                                "--device a path, --protocol mini-ssc, pololu, pololu-chain or ssc32");
    if (file.empty()) return Usage(err, "play needs a project file");

    std::optional<LoadedProject> loaded = ReadProject(file, err);
    if (!loaded) return kExitFailure;
    Project& project = loaded->project;
    const int built = BuildProject(*loaded, file, err);
    if (built != kExitOk) return built;

    SerialLink link(StoredPortTable(StoreLocation{}));
    ApplyPortChoice(link, project.Settings, portChoice);
    SerialLinkOutput output(link);
    const std::string folder = std::filesystem::absolute(file).parent_path().string();
    QtSoundOutput sound(folder);

    const int32_t last = project.Frames.UpperBound();
    PlaybackEngine* enginePointer = nullptr;
    ConsoleView view(enginePointer, fps.value_or(15), loop, to.value_or(last), err);
    PlaybackEngine engine(project, output, sound, view);
    enginePointer = &engine;

    if (baud) engine.SetLineBaud(*baud);
    engine.SetSoundOffset(LoadSoundOffset(StoreLocation{}));

    // What the line carries: a show that needs more is thinned, not delayed.
    const LineLoad load = ProjectLineLoad(project, fps.value_or(15), engine.LineBaud());
    view.header = load.text + '\n';
    if (load.percent > 100.0 + 1e-9) {
        view.header += "Warning: the line is slower than the show; servos take turns and each gets its newest "
                       "position (a faster line, fewer frames a second or fewer servos avoid this).\n";
    }

    InterruptGuard guard;
    const bool played = engine.PlayAnimation(from.value_or(1), to.value_or(last));
    if (interrupted) err << "Stopped.\n";
    if (engine.DroppedFrames() > 0) {
        err << "Dropped " << engine.DroppedFrames() << " frame(s) that were too late to keep time.\n";
    }
    return played ? kExitOk : kExitFailure;
}

int Send(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
    PortChoice portChoice;
    std::optional<int32_t> synch, from, fps;
    std::optional<std::string> projectFile;
    std::vector<std::string> numbers;
    bool bad = false;
    for (size_t i = 1; i < args.size() && !bad; ++i) {
        if (TakePortArgument(args, i, portChoice, bad)) continue;
        if (args[i] == "--synch") {
            synch = NumberArgument(args, i, 0, 255);
            bad = !synch;
        } else if (args[i] == "--from") {
            from = NumberArgument(args, i, 0, 255);
            bad = !from;
        } else if (args[i] == "--fps") {
            fps = NumberArgument(args, i, 1, 30);
            bad = !fps;
        } else if (args[i] == "--project") {
            bad = i + 1 >= args.size();
            if (!bad) projectFile = args[++i];
        } else {
            numbers.push_back(args[i]);
        }
    }
    if (bad || numbers.size() != 2) {
        return Usage(err, "send needs SERVO (1 to 16) and POSITION (0 to 255); --from takes 0 to 255, --fps 1 to 30, "
                          "--project a project file, --protocol mini-ssc, pololu, pololu-chain or ssc32");
    }
    const std::optional<int32_t> servo = ToInt32(numbers[0]);
    const std::optional<int32_t> position = ToInt32(numbers[1]);
    if (!servo || *servo < 1 || *servo > 16 || !position || *position < 0 || *position > 255) {
        return Usage(err, "send needs SERVO (1 to 16) and POSITION (0 to 255)");
    }
    const int s = *servo - 1;

    // Without a project nothing is known of the servo: the command goes out
    // as it is. With one, its limits and caps hold, as for the sliders.
    Project project;
    SerialLink link(StoredPortTable(StoreLocation{}));
    if (projectFile) {
        std::optional<LoadedProject> loaded = ReadProject(*projectFile, err);
        if (!loaded) return kExitFailure;
        project = std::move(loaded->project);
        ApplyProjectToLink(link, project);
        const ServoRecord& record = project.Servos[s];
        if (*position < record.Min || *position > record.Max) {
            err << "Servo " << *servo << ": " << *position << " is outside its limits (" << record.Min << " to "
                << record.Max << "); nothing was sent.\n";
            return kExitFailure;
        }
    }
    ApplyPortChoice(link, project.Settings, portChoice);
    const int32_t synchByte = synch.value_or(projectFile ? project.Settings.SynchByte : 0);
    const Caps caps = projectFile ? ServoCaps(project.Servos[s]) : Caps{};
    Limiter limiter(caps, fps.value_or(kLiveFps));
    if (from) limiter.Place(*from);
    if (limiter.Capped() && !from) {
        err << "Servo " << *servo << ": position unknown, sent once without the caps.\n";
    }

    std::string reason;
    auto fail = [&] {
        PrintMessage(Message{link.FailureMessage(reason), "Error", MessageIcon::Critical, MessageButtons::Ok});
        return kExitFailure;
    };
    if (!link.Open(reason)) return fail();
    InterruptGuard guard;
    // One step a frame on the frame's schedule until the servo rests on the
    // target; a servo without caps, or unknown, gets the target at once.
    const double period = 1.0 / fps.value_or(kLiveFps);
    const auto start = std::chrono::steady_clock::now();
    for (int64_t frame = 0;; ++frame) {
        if (frame > 0) {
            const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                         std::chrono::duration<double>(period * double(frame)));
            SleepUntil(due);
        }
        if (interrupted) break;
        const int32_t before = limiter.Position();
        const int32_t next = limiter.Capped() && limiter.Known() ? limiter.Next(*position) : *position;
        if ((frame == 0 || next != before) && !link.WriteServo(synchByte, s, next, reason)) return fail();
        if (!limiter.Capped() || !from || limiter.RestsAt(*position)) break;
    }
    link.Close();
    if (interrupted) err << "Stopped at " << limiter.Position() << ".\n";
    return kExitOk;
}

int Ports(std::ostream& out) {
    const std::vector<SerialDevice> devices = AvailableSerialDevices();
    out << "Serial devices found:\n";
    if (devices.empty()) out << "  (none)\n";
    for (const SerialDevice& device : devices) {
        out << "  " << Printable(device.path);
        if (!device.description.empty()) out << "  " << Printable(device.description);
        if (!device.manufacturer.empty()) out << " (" << Printable(device.manufacturer) << ")";
        out << '\n';
    }
    out << "Port numbers:\n";
    for (int32_t n = 1; n <= 16; ++n) out << "  COM" << n << " -> " << Printable(DeviceForPort(StoredPortTable(StoreLocation{}), n)) << '\n';
    return kExitOk;
}

}  // namespace kestrova::cli
