#pragma once
// Diagnostics while typing: shortly after the typing stops, the changed
// servo programs are compiled on a worker thread with the build's own
// compiler (the project's frame table is not touched). The first error of
// each program is underlined in its editor, and so are the commands that ask
// more than the servo's caps allow (a warning, in another colour); the
// results give each servo's frame count and messages for the status bar. A result that arrives after the
// text or the servo's settings changed again is dropped and the program is
// checked once more.

#include "core/program_check.h"
#include "core/project.h"

#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>

namespace kestrova {

class KvxEditCtrl;

class ProgramDiagnostics : public QObject {
    Q_OBJECT

public:
    ProgramDiagnostics(const Project& project, const std::array<KvxEditCtrl*, kServoCount>& editors,
                       QObject* parent = nullptr);
    // Waits for a check still running.
    ~ProgramDiagnostics() override;

    // The servo's program changed: check it once typing has paused.
    void Schedule(int servo);
    // The servo settings or every program changed.
    void ScheduleAll();
    // Checks every scheduled program at once, on this thread (tests, and
    // where a result is needed now).
    void RunNow();

    // The last result for a servo; nothing before its first check.
    const std::optional<ProgramCheck>& Result(int servo) const { return results_[servo]; }
    using Results = std::array<std::optional<ProgramCheck>, kServoCount>;
    const Results& AllResults() const { return results_; }
    // The longest servo's last frame: the show's length in frames.
    int32_t ShowFrames() const;

    static constexpr int kPauseMs = 350;

signals:
    void Updated();

private:
    struct Job {
        int servo;
        uint64_t revision;
        uint64_t settings;
    };
    void StartChecks();
    void Finish(const Job& job, ProgramCheck check);
    Job JobFor(int servo) const;

    const Project& project_;
    const std::array<KvxEditCtrl*, kServoCount>& editors_;
    Results results_{};
    std::bitset<kServoCount> scheduled_;
    std::bitset<kServoCount> running_;
    // Counts ScheduleAll calls: a result checked against older settings is
    // stale.
    uint64_t settingsGeneration_ = 0;
    QTimer pause_;
    QThreadPool pool_;
};

}  // namespace kestrova
