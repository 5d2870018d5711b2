#include "record_panel.h"

#include "execution_window.h"
#include "timeline/timeline_view.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace kestrova {

RecordPanel::RecordPanel(frmExe& window, Project& project)
    : QGroupBox(QStringLiteral("Record"), &window), window_(window), project_(project) {
    setObjectName(QStringLiteral("fraRecord"));
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    auto* armCaption = new QLabel(QStringLiteral("Arm:"), this);
    grid->addWidget(armCaption, 0, 0, 1, 4);
    for (int s = 0; s < kServoCount; ++s) {
        auto* arm = new QCheckBox(QString::number(s + 1), this);
        arm->setObjectName(QStringLiteral("chkArm%1").arg(s));
        grid->addWidget(arm, 1 + s / 4, s % 4);
        arms_[size_t(s)] = arm;
    }
    auto* leadCaption = new QLabel(QStringLiteral("Lead-in (frames):"), this);
    leadIn_ = new QSpinBox(this);
    leadIn_->setObjectName(QStringLiteral("spnLeadIn"));
    leadIn_->setRange(0, 300);
    leadIn_->setToolTip(QStringLiteral("Frames played before the range, to get going before the recording starts."));
    grid->addWidget(leadCaption, 5, 0, 1, 2);
    grid->addWidget(leadIn_, 5, 2, 1, 2);
    record_ = new QPushButton(QStringLiteral("Record"), this);
    record_->setObjectName(QStringLiteral("cmdRecord"));
    record_->setToolTip(QStringLiteral("Plays from the start marker to the stop marker with the sound; the armed "
                                       "servos follow their inputs and are recorded."));
    grid->addWidget(record_, 6, 0, 1, 4);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lblTake"));
    status_->setWordWrap(true);
    grid->addWidget(status_, 7, 0, 1, 4);
    connect(record_, &QPushButton::clicked, this, [this] {
        if (Recording())
            window_.Engine().bStop = true;
        else
            Record();
    });
    ShowServos();
}

void RecordPanel::ShowServos() {
    for (int s = 0; s < kServoCount; ++s) {
        const ServoRecord& servo = project_.Servos[size_t(s)];
        arms_[size_t(s)]->setToolTip(QString::fromStdString(servo.Name));
        arms_[size_t(s)]->setEnabled(servo.Enabled && !Recording());
        if (!servo.Enabled) arms_[size_t(s)]->setChecked(false);
    }
}

void RecordPanel::SetRecordingLook(bool recording) {
    record_->setText(recording ? QStringLiteral("\u25CF Recording: click to stop") : QStringLiteral("Record"));
    record_->setStyleSheet(recording ? QStringLiteral("QPushButton { background: #d01010; color: white; font-weight: bold; }")
                                     : QString());
    setStyleSheet(recording ? QStringLiteral("QGroupBox#fraRecord { border: 2px solid #d01010; border-radius: 3px; "
                                             "margin-top: 2ex; padding-top: 4px; }"
                                             "QGroupBox#fraRecord::title { subcontrol-origin: margin; left: 6px; "
                                             "color: #d01010; font-weight: bold; }")
                            : QString());
    QString title = window_.windowTitle();
    const QString mark = QStringLiteral(" - RECORDING");
    if (title.endsWith(mark)) title.chop(mark.size());
    window_.setWindowTitle(recording ? title + mark : title);
    for (QCheckBox* arm : arms_) arm->setEnabled(!recording && arm->isEnabled());
    leadIn_->setEnabled(!recording);
    if (!recording) ShowServos();
}

bool RecordPanel::Record() {
    if (!host_ || window_.Playing()) return false;
    TakePlan plan;
    for (int s = 0; s < kServoCount; ++s) plan.armed[size_t(s)] = arms_[size_t(s)]->isChecked();
    if (std::none_of(plan.armed.begin(), plan.armed.end(), [](bool armed) { return armed; })) {
        host_->Ask(Message{"Arm at least one servo to record.", "Record", MessageIcon::Exclamation, MessageButtons::Ok});
        return false;
    }
    if (!project_.Built || project_.ModifiedSinceBuild || project_.Frames.UpperBound() <= 1) {
        host_->Ask(Message{"Build the animation before recording: a take plays the built frames with their sound.",
                           "Record", MessageIcon::Exclamation, MessageButtons::Ok});
        return false;
    }
    const CaptureSettings settings = host_->Settings();
    const int32_t tableEnd = project_.Frames.UpperBound();
    // Frame 1 is every servo's Home: a take starts at frame 2 at the earliest.
    plan.first = std::clamp(window_.Timeline().StartFrame(), 2, tableEnd);
    plan.last = std::clamp(window_.Timeline().StopFrame(), plan.first, tableEnd);
    plan.leadIn = leadIn_->value();
    plan.shift = ShiftFrames(settings.offsetMs, window_.FramesPerSecond());

    const Mapping mapping = host_->CurrentMapping();
    std::vector<InputSource*> sources = host_->Sources();
    for (InputSource* source : sources) source->Poll();  // pads plugged in since the last look
    // A control whose device is not there now would hold its servo still: say so first.
    for (int s = 0; s < kServoCount; ++s) {
        const ControlId& control = mapping[size_t(s)].control;
        if (!plan.armed[size_t(s)] || control.kind == SourceKind::Slider) continue;
        const bool present = std::any_of(sources.begin(), sources.end(), [&](InputSource* source) {
            return source->Kind() == control.kind && source->Connected(control.device);
        });
        if (!present) {
            host_->Ask(Message{"Servo " + std::to_string(s + 1) + " is mapped to " + ControlText(control) +
                                   ", which is not connected. Connect it or choose another input in Record > Inputs...",
                               "Record", MessageIcon::Exclamation, MessageButtons::Ok});
            return false;
        }
    }

    CaptureSession session(project_, mapping, std::move(sources), [this](int s) { return host_->SliderPosition(s); },
                           plan, [this] { window_.Engine().bStop = true; });
    session_ = &session;
    SetRecordingLook(true);
    status_->setText(QStringLiteral("Recording frames %1 to %2...").arg(plan.first).arg(plan.last));
    window_.PlayTake(plan.PlayFirst(), plan.PlayLast(tableEnd), &session);
    session_ = nullptr;
    SetRecordingLook(false);
    const TakeRecording& take = session.Recording();
    const bool complete = session.Unplugged().empty() && take.FramesCaptured() == take.FramesInRange();
    status_->setText(QStringLiteral("Frames captured: %1 of %2").arg(take.FramesCaptured()).arg(take.FramesInRange()));
    Finish(take, complete, session.Unplugged());
    return true;
}

void RecordPanel::Finish(const TakeRecording& take, bool complete, const std::string& unplugged) {
    const int32_t last = take.CoveredLast(complete);
    if (last < take.Plan().first) {
        if (!unplugged.empty())
            host_->Ask(Message{unplugged + " was unplugged before the range began; nothing was recorded.", "Record",
                               MessageIcon::Exclamation, MessageButtons::Ok});
        return;
    }
    if (!complete) {
        const std::string why = unplugged.empty() ? "The take was stopped" : unplugged + " was unplugged";
        const MessageAnswer answer =
            host_->Ask(Message{why + " at frame " + std::to_string(last) + ". Keep frames " +
                                   std::to_string(take.Plan().first) + " to " + std::to_string(last) + "?",
                               "Record", MessageIcon::Question, MessageButtons::YesNo});
        if (answer != MessageAnswer::Yes) {
            status_->setText(status_->text() + QStringLiteral(" - discarded"));
            return;
        }
    }
    const TakeOutcome outcome = FitTake(project_, take, complete, host_->Settings().tolerance);
    for (const std::string& refusal : outcome.refusals)
        host_->Ask(Message{"The take was not put into the program.\r\n" + refusal, "Record", MessageIcon::Exclamation,
                           MessageButtons::Ok});
    if (std::any_of(outcome.programs.begin(), outcome.programs.end(), [](const auto& p) { return p.has_value(); }))
        host_->ApplyPrograms(outcome.programs);
}

}  // namespace kestrova
