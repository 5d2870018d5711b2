#include "run_command.h"

#include "cli.h"
#include "cli_support.h"
#include "files/settings_store.h"
#include "link/live_output.h"
#include "link/serial_link.h"
#include "playback/serial_link_output.h"
#include "playback/sound_player.h"
#include "show/runner.h"
#include "show/show_setup.h"
#include "show/trigger_factory.h"

#include <QCoreApplication>

#include <systemd/sd-daemon.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <iostream>
#include <random>

namespace kestrova::cli {

namespace {

show::ShowRunner* runningShow = nullptr;
void OnStopSignal(int) {
    if (runningShow) runningShow->RequestStop();
}

void PumpEvents() { QCoreApplication::processEvents(); }

}  // namespace

int RunShow(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string file;
    std::string device;
    bool check = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--device" && i + 1 < args.size()) {
            device = args[++i];
        } else if (args[i] == "--check") {
            check = true;
        } else if (file.empty() && args[i].rfind("-", 0) != 0) {
            file = args[i];
        } else {
            return Usage(err, "unexpected argument '" + args[i] + "'");
        }
    }
    if (file.empty()) return Usage(err, "run needs a show file");

    show::ShowFileRead read = show::ReadShowFile(file);
    if (!device.empty()) read.file.device = device;
    for (const show::ShowFileProblem& p : read.problems) err << Printable(file) << ": " << Printable(p.Line()) << '\n';
    if (!read.ok()) return kExitFailure;
    const show::ShowFile& showFile = read.file;
    show::ShowSetup setup = show::LoadShowSetup(showFile);
    for (const show::ShowFileProblem& p : setup.problems) err << Printable(file) << ": " << Printable(p.Line()) << '\n';
    for (const show::ShowFileProblem& p : setup.warnings) {
        err << Printable(file) << ": warning: " << Printable(p.Line()) << '\n';
    }
    if (!setup.ok()) return kExitFailure;
    if (check) {
        out << "The show file is ready to run: " << setup.shows.size() << " show(s)"
            << (setup.idle ? ", an idle" : "") << ".\n";
        return kExitOk;
    }

    std::ofstream logFile;
    if (!showFile.log.empty()) {
        logFile.open(showFile.Resolve(showFile.log), std::ios::app);
        if (!logFile) {
            err << Printable(file) << ": log: the file " << Printable(showFile.log) << " cannot be written\n";
            return kExitFailure;
        }
    }
    show::ShowLog log(logFile.is_open() ? static_cast<std::ostream&>(logFile) : err);

    ProjectSettings settings = setup.shows.front().project.Settings;
    if (showFile.portNumber) settings.COMPort = *showFile.portNumber;
    SerialLink link(StoredPortTable(StoreLocation{}));
    link.ApplyCommSettings(settings);
    if (showFile.device) link.SetDeviceOverride(*showFile.device);
    SerialLinkOutput output(link);
    QtSoundOutput sound;
    show::SteadyRunnerClock clock(&PumpEvents);
    show::TriggerInbox inbox;
    show::ShowRunner runner(showFile, std::move(setup.idle), std::move(setup.shows), output, sound, clock, inbox, log,
                            uint32_t(std::random_device{}()));
    runner.UseMotion(link.Live().Motion());

    show::TriggerContext context{inbox, [&runner] { return runner.StatusJson(); }, &link,
                                 showFile.device.value_or(link.DevicePath()), 0,
                                 [&log](const std::string& text) { log.Line(text); }};
    std::vector<std::unique_ptr<show::TriggerSource>> sources;
    for (size_t i = 0; i < showFile.triggers.size(); ++i) {
        // A modem line is read through the open port, which must be there from the start.
        std::string reason = "this kind of trigger is not available in this build";
        if (showFile.triggers[i].kind == show::TriggerKind::Modem && !link.Open(reason)) {
            err << Printable(file) << ": triggers[" << i << "]: " << Printable(link.FailureMessage(reason)) << '\n';
            return kExitFailure;
        }
        std::unique_ptr<show::TriggerSource> source = show::MakeTrigger(showFile.triggers[i], context);
        if (!source || !source->Start(reason)) {
            err << Printable(file) << ": triggers[" << i << "]: " << Printable(reason) << '\n';
            return kExitFailure;
        }
        log.Line("Listening: " + showFile.triggers[i].name + " - " + source->Describe());
        sources.push_back(std::move(source));
    }

    // The watchdog hears from the runner at most once a second; a runner
    // stuck anywhere stops the signs of life and is restarted.
    auto lastBeat = std::chrono::steady_clock::time_point{};
    runner.SetHeartbeat([&lastBeat] {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastBeat < std::chrono::seconds(1)) return;
        lastBeat = now;
        sd_notify(0, "WATCHDOG=1");
    });
    sd_notify(0, "READY=1");

    runningShow = &runner;
    auto previousTerm = std::signal(SIGTERM, &OnStopSignal);
    auto previousInt = std::signal(SIGINT, &OnStopSignal);
    const int code = runner.Run();
    std::signal(SIGTERM, previousTerm);
    std::signal(SIGINT, previousInt);
    runningShow = nullptr;
    sd_notify(0, "STOPPING=1");
    sources.clear();
    return code;
}

}  // namespace kestrova::cli
