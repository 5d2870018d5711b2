#include "program_diagnostics.h"

#include "kvx_edit_ctrl.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <string>
#include <utility>

namespace kestrova {

ProgramDiagnostics::ProgramDiagnostics(const Project& project, const std::array<KvxEditCtrl*, kServoCount>& editors,
                                       QObject* parent)
    : QObject(parent), project_(project), editors_(editors) {
    pause_.setSingleShot(true);
    pause_.setInterval(kPauseMs);
    connect(&pause_, &QTimer::timeout, this, &ProgramDiagnostics::StartChecks);
    // One check at a time keeps a second core free for playback and typing.
    pool_.setMaxThreadCount(1);
}

ProgramDiagnostics::~ProgramDiagnostics() { pool_.waitForDone(); }

void ProgramDiagnostics::Schedule(int servo) {
    scheduled_.set(servo);
    pause_.start();
}

void ProgramDiagnostics::ScheduleAll() {
    ++settingsGeneration_;
    scheduled_.set();
    pause_.start();
}

ProgramDiagnostics::Job ProgramDiagnostics::JobFor(int servo) const {
    return Job{servo, editors_[servo]->EditCount(), settingsGeneration_};
}

void ProgramDiagnostics::StartChecks() {
    for (int s = 0; s < kServoCount; ++s) {
        // A servo still being checked is checked again when that ends.
        if (!scheduled_.test(s) || running_.test(s)) continue;
        scheduled_.reset(s);
        running_.set(s);
        const Job job = JobFor(s);
        // The copy is taken here, on the editor's thread; the compile runs
        // on the worker.
        std::string text = editors_[s]->Text();
        const ServoRecord record = project_.Servos[s];
        pool_.start([this, job, record, text = std::move(text)]() mutable {
            ProgramCheck check = CheckProgram(job.servo, record, std::move(text));
            QMetaObject::invokeMethod(
                this, [this, job, check = std::move(check)]() mutable { Finish(job, std::move(check)); },
                Qt::QueuedConnection);
        });
    }
}

void ProgramDiagnostics::RunNow() {
    pause_.stop();
    pool_.waitForDone();
    QCoreApplication::sendPostedEvents(this);
    for (int s = 0; s < kServoCount; ++s) {
        if (!scheduled_.test(s)) continue;
        scheduled_.reset(s);
        running_.set(s);
        Finish(JobFor(s), CheckProgram(s, project_.Servos[s], editors_[s]->Text()));
    }
}

void ProgramDiagnostics::Finish(const Job& job, ProgramCheck check) {
    const int s = job.servo;
    running_.reset(s);
    KvxEditCtrl* editor = editors_[s];
    if (job.revision != editor->EditCount() || job.settings != settingsGeneration_) {
        // Typed over or settings changed meanwhile: check again.
        Schedule(s);
        return;
    }
    if (check.error) {
        editor->ShowDiagnostic(check.error->Start, check.error->End, QString::fromStdString(check.error->message));
    } else {
        editor->ClearDiagnostic();
    }
    editor->ShowWarnings(check.warnings);
    results_[s] = std::move(check);
    if (scheduled_.test(s) && !pause_.isActive()) pause_.start();
    emit Updated();
}

int32_t ProgramDiagnostics::ShowFrames() const {
    int32_t frames = 1;
    for (const auto& result : results_) {
        if (result) frames = std::max(frames, result->frames);
    }
    return frames;
}

}  // namespace kestrova
