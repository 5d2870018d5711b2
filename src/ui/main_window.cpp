#include "main_window.h"

#include "compile_window.h"
#include "core/cap_warnings.h"
#include "core/compiler.h"
#include "core/messages.h"
#include "core/timing_pc.h"
#include "files/settings_store.h"
#include "about_dialog.h"
#include "arduino_export_dialog.h"
#include "capture_menu.h"
#include "help_file.h"
#include "kvx_edit_ctrl.h"
#include "message_box.h"
#include "execution/execution_window.h"
#include "position_watch.h"
#include "program_diagnostics.h"
#include "timeline/timeline_geometry.h"
#include "recent_menu.h"
#include "recording.h"
#include "servo_panel.h"
#include "settings_dialog.h"
#include "show_file_dialog.h"
#include "svg_icon.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDesktopServices>
#include <QFile>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

namespace kestrova {

namespace {

// The two filters of the project file dialogs.
const QString kProjectFilters = QStringLiteral("Kestrova v2 Animation Files (*.kva);;All Files (*)");

}  // namespace

namespace {

constexpr int kControlPaneWidth = 4950;  // twips, fixed
constexpr int kPaneGap = 60;
constexpr int kWaitButtonWidth = 735;
constexpr int kWaitButtonHeight = 255;
constexpr int kWaitButtonMargin = 25;
constexpr int kWavButtonOffset = 840;

}  // namespace

frmMain::frmMain(QWidget* parent, Dependencies dependencies)
    : QMainWindow(parent),
      messages_(dependencies.messages ? std::move(dependencies.messages) : MessageHandler(&AskMessageBox)),
      store_(std::move(dependencies.store)),
      fileDialog_(std::move(dependencies.fileDialog)),
      framesPrompt_(std::move(dependencies.framesPrompt)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kestrova v2.0"));
    setWindowIcon(SvgIcon(QStringLiteral("run")));

    if (!framesPrompt_) {
        framesPrompt_ = [this](QWidget* owner) {
            frmTime prompt(owner, messages_);
            prompt.exec();
            return prompt.Answer();
        };
    }

    BuildMenus();
    BuildToolbar();
    BuildPanes();
    BuildStatusBar();
    BuildControllerDock();

    project_.lServo = 0;
    project_.Built = false;
    project_.ModifiedSinceBuild = false;
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &frmMain::UpdateEditCommands);
    resize(Twips(kControlPaneWidth) + 560, 620);
    Form_Resize();
    HighlightPane(1);
    UpdateEditCommands();
}

frmMain::~frmMain() {
    closing_ = true;
    // The controller view reads the link and the project: it goes first.
    delete controllerDock_;
    // The execution window is a window of its own; it goes with the program.
    delete exeWindow_.data();
}

void frmMain::BuildMenus() {
    auto item = [this](QMenu* menu, const char* name, const QString& caption, void (frmMain::*slot)(),
                       const QKeySequence& shortcut = {}) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        if (!shortcut.isEmpty()) action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    auto separator = [](QMenu* menu, const char* name) { menu->addSeparator()->setObjectName(QString::fromLatin1(name)); };
    auto topMenu = [this](const char* name, const QString& caption) { QMenu* m = menuBar()->addMenu(caption); m->setObjectName(QString::fromLatin1(name)); return m; };

    QMenu* miFile = topMenu("miFile", QStringLiteral("&File"));
    miNew_ = item(miFile, "miNew", QStringLiteral("&New"), &frmMain::miNew_Click, QKeySequence(Qt::CTRL | Qt::Key_N));
    miOpen_ = item(miFile, "miOpen", QStringLiteral("&Open..."), &frmMain::miOpen_Click,
                   QKeySequence(Qt::CTRL | Qt::Key_O));
    miSave_ = item(miFile, "miSave", QStringLiteral("&Save"), &frmMain::miSave_Click, QKeySequence(Qt::CTRL | Qt::Key_S));
    miSaveAs_ = item(miFile, "miSaveAs", QStringLiteral("Save &As..."), &frmMain::miSaveAs_Click);
    item(miFile, "miExportArduino", QStringLiteral("Export for A&rduino..."), &frmMain::miExportArduino_Click);
    AddShowFileItem(miFile, this, [this] { return project_.sFilename; });
    separator(miFile, "miFileLine3");
    miBuild_ = item(miFile, "miBuild", QStringLiteral("&Build Animation"), &frmMain::miBuild_Click,
                    QKeySequence(Qt::CTRL | Qt::Key_B));
    separator(miFile, "miFileLine1");
    QAction* miFileLine2 = miFile->addSeparator();
    miFileLine2->setObjectName(QStringLiteral("miFileLine2"));
    miExit_ = item(miFile, "miExit", QStringLiteral("E&xit"), &frmMain::miExit_Click);
    oRecentMenu_ = new clsRecentMenu(miFile, miFileLine2, this);
    oRecentMenu_->SetRegKey(kProgramKey);
    oRecentMenu_->SetStore(store_);
    oRecentMenu_->SetMaxItems(5);
    oRecentMenu_->RefreshMenuItems();
    miRecent_ = oRecentMenu_->Items().front();
    connect(oRecentMenu_, &clsRecentMenu::RecentChosen, this,
            [this](const QByteArray& caption) {
                ReplacingProject([&] { return Shown(documents_.OpenRecent(caption.toStdString())); });
            });

    QMenu* miEdit = topMenu("miEdit", QStringLiteral("&Edit"));
    AddUndoCommands(miEdit);
    miCut_ = item(miEdit, "miCut", QStringLiteral("C&ut"), &frmMain::miCut_Click);
    miCopy_ = item(miEdit, "miCopy", QStringLiteral("&Copy"), &frmMain::miCopy_Click);
    miPaste_ = item(miEdit, "miPaste", QStringLiteral("&Paste"), &frmMain::miPaste_Click);
    separator(miEdit, "miEditLine2");
    miServoSettings_ = item(miEdit, "miServoSettings", QStringLiteral("Ser&vo Settings"), &frmMain::miServoSettings_Click);
    miSettings_ = item(miEdit, "miSettings", QStringLiteral("&Settings"), &frmMain::miSettings_Click);
    separator(miEdit, "miEditLine3");
    item(miEdit, "miMouthMoves", QStringLiteral("&Generate Moves from Sound..."), &frmMain::miMouthMoves_Click);

    QMenu* miHelp = topMenu("miHelp", QStringLiteral("&Help"));
    miHelpContents_ = item(miHelp, "miHelpContents", QStringLiteral("&Contents..."), &frmMain::miHelpContents_Click,
                           QKeySequence(Qt::Key_F1));
    separator(miHelp, "miHelpLine1");
    QMenu* miOnTheWeb = miHelp->addMenu(QStringLiteral("&On The Web"));
    miOnTheWeb->setObjectName(QStringLiteral("miOnTheWeb"));
    miOnTheWeb->menuAction()->setObjectName(QStringLiteral("miOnTheWeb"));
    miGoToOrvanis_ = item(miOnTheWeb, "miGoToOrvanis", QStringLiteral("Talvenor Electronics"), &frmMain::miGoToOrvanis_Click);
    miOnTheWeb->setToolTipsVisible(true);
    miGoToOrvanis_->setToolTip(frmAbout::WebSiteToolTip());
    separator(miHelp, "miHelpLine2");
    miAbout_ = item(miHelp, "miAbout", QStringLiteral("&About..."), &frmMain::miAbout_Click);
    new CaptureMenu(*this, store_, messages_);  // Record, before Help
}

void frmMain::BuildToolbar() {
    tbrMain_ = addToolBar(QStringLiteral("Main"));
    tbrMain_->setObjectName(QStringLiteral("tbrMain"));
    tbrMain_->setMovable(false);
    tbrMain_->setIconSize(QSize(16, 16));
    struct Button {
        const char* key;
        const char* tooltip;
    };
    const Button buttons[] = {
        {"new", "New Animation Project"},
        {"open", "Open Animation Project..."},
        {"save", "Save Animation Project"},
        {nullptr, nullptr},
        {"cut", "Cut"},
        {"copy", "Copy"},
        {"paste", "Paste"},
        {nullptr, nullptr},
        {"build", "Build Animation"},
        {"run", "Show Animation Execution Dialog"},
        {nullptr, nullptr},
    };
    for (const Button& button : buttons) {
        if (!button.key) {
            tbrMain_->addSeparator();
            continue;
        }
        const QString key = QString::fromLatin1(button.key);
        QAction* action = tbrMain_->addAction(SvgIcon(key), QString());
        action->setObjectName(QStringLiteral("tbr_") + key);
        action->setData(key);
        action->setToolTip(QString::fromLatin1(button.tooltip));
        connect(action, &QAction::triggered, this, [this, key] { tbrMain_ButtonClick(key); });
        toolbarButtons_[key] = action;
    }
}

QAction* frmMain::ToolbarButton(const QString& key) const {
    const auto found = toolbarButtons_.find(key);
    return found == toolbarButtons_.end() ? nullptr : found->second;
}

void frmMain::BuildPanes() {
    central_ = new QWidget(this);
    central_->setObjectName(QStringLiteral("central"));
    central_->setMinimumSize(Twips(kControlPaneWidth + kPaneGap) + 120, Twips(7465 + 160));
    central_->installEventFilter(this);
    setCentralWidget(central_);

    // The servo control pane (fixed width, docked left), and the stop over every window.
    panel_ = new ServoPanel(central_);
    new MotionStop(this, link_, project_, store_);
    new PositionWatch(*panel_, link_, this);
    ConnectPanel();

    // The instructions pane: the rest of the width, docked right.
    picServoInstructionsBG_ = new QWidget(central_);
    picServoInstructionsBG_->setObjectName(QStringLiteral("picServoInstructionsBG"));
    picServoInstructions_ = new QWidget(picServoInstructionsBG_);
    picServoInstructions_->setObjectName(QStringLiteral("picServoInstructions"));
    picServoInstructions_->setFont(PaneFont());
    lblServoInstructions_ = new QLabel(QStringLiteral("Servo Instructions - 0"), picServoInstructions_);
    lblServoInstructions_->setObjectName(QStringLiteral("lblServoInstructions"));
    lblServoInstructions_->setAutoFillBackground(true);
    lblServoInstructions_->setIndent(Twips(120));
    cmdWAV_ = new QPushButton(QStringLiteral("W&av"), picServoInstructions_);
    cmdWAV_->setObjectName(QStringLiteral("cmdWAV"));
    cmdWAV_->resize(Twips(kWaitButtonWidth), Twips(kWaitButtonHeight));
    cmdWait_ = new QPushButton(QStringLiteral("&Wait"), picServoInstructions_);
    cmdWait_->setObjectName(QStringLiteral("cmdWait"));
    cmdWait_->resize(Twips(kWaitButtonWidth), Twips(kWaitButtonHeight));
    connect(cmdWAV_, &QPushButton::clicked, this, &frmMain::cmdWAV_Click);
    connect(cmdWait_, &QPushButton::clicked, this, &frmMain::cmdWait_Click);

    for (int i = 0; i < kServoCount; ++i) {
        auto* editor = new KvxEditCtrl(picServoInstructionsBG_);
        editor->setObjectName(QStringLiteral("rtb"));
        editor->setProperty("index", i);
        editor->BindProgram(&project_.Programs[i]);
        editor->setVisible(i == 0);
        connect(editor, &KvxEditCtrl::GotFocus, this, &frmMain::EditorGotFocus);
        connect(editor, &KvxEditCtrl::SelChange, this, &frmMain::UpdateEditCommands);
        connect(editor, &KvxEditCtrl::Change, this, [this, i] { EditorChanged(i); });
        connect(editor, &QPlainTextEdit::cursorPositionChanged, this, [this, i] {
            if (i == project_.lServo) UpdateCaretStatus();
        });
        rtb_[i] = editor;
    }
    diagnostics_ = new ProgramDiagnostics(project_, rtb_, this);
    connect(diagnostics_, &ProgramDiagnostics::Updated, this, &frmMain::UpdateStatusBar);
}

void frmMain::ConnectPanel() {
    connect(panel_, &ServoPanel::servoSelected, this, [this](int servo) { SelectServo(servo, 0); });
    connect(panel_, &ServoPanel::positionChanged, this, &frmMain::ServoSliderMoved);
    connect(panel_, &ServoPanel::jumpRequested, this, [this](int servo, ServoPanel::Jump to) {
        const ServoRecord& record = project_.Servos[servo];
        const int before = panel_->Position(servo);
        panel_->MoveSlider(servo, to == ServoPanel::Jump::Home  ? record.Home
                                  : to == ServoPanel::Jump::Min ? record.Min
                                                                : record.Max);
        // A slider can show a position its servo was never sent: a jump sends.
        if (panel_->Position(servo) == before) ServoSliderMoved(servo, before);
    });
    connect(panel_, &ServoPanel::logRequested, this, &frmMain::RecordPosition);
    connect(panel_, &ServoPanel::portClicked, this, &frmMain::chkCOM_Click);
}

void frmMain::ServoSliderMoved(int servo, int value) {
    ServoSliderChanged(link_, project_.Settings, project_.Servos[servo], servo, value, *this);
}

void frmMain::SetPositionLabel(int servo, const std::string& text) {
    panel_->SetPositionText(servo, QString::fromStdString(text));
}

void frmMain::SetPositionUnsent(int servo, const std::string& reason) {
    panel_->SetPositionWarning(servo, QString::fromStdString(reason));
}

void frmMain::UpdateServoSettings() {
    link_.SetControllerSetup(SetupOf(project_));
    // New limits never move a servo: a slider pushed into its new range only
    // shows where it went, and the servo stays until the user moves it.
    panel_->ShowServos(project_.Servos);
    for (int servo = 0; servo < kServoCount; ++servo)
        ShowSliderPosition(project_.Servos[servo], servo, panel_->Position(servo), *this);
    ShowInstructionsCaption();
    // Limits and Home decide what the programs compile to.
    diagnostics_->ScheduleAll();
    if (project_.ExeWindowOpen) UpdateExecutionGraph(false);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == central_ && event->type() == QEvent::Resize) Form_Resize();
    return QMainWindow::eventFilter(watched, event);
}

bool frmMain::event(QEvent* event) {
    const bool result = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate) Form_Activate();
    return result;
}

void frmMain::Form_Activate() {
    // Coming back from a dialog puts the user where they were typing, unless
    // a control of the window already holds the focus.
    QWidget* focus = QApplication::focusWidget();
    if (!focus || focus->window() != this || qobject_cast<KvxEditCtrl*>(focus)) rtb_[project_.lServo]->setFocus();
}

void frmMain::Form_Resize() {
    if (!central_) return;
    const int innerWidth = central_->width();
    const int innerHeight = central_->height();
    const int controlWidth = Twips(kControlPaneWidth);
    panel_->setGeometry(0, 0, controlWidth, innerHeight);

    // Each step stands alone: a width that comes out negative (a very narrow
    // window) skips that step and the rest still run.
    const int instructionsWidth = innerWidth - controlWidth - Twips(kPaneGap);
    if (instructionsWidth >= 0)
        picServoInstructionsBG_->setGeometry(innerWidth - instructionsWidth, 0, instructionsWidth, innerHeight);
    const int paneWidth = picServoInstructionsBG_->width();
    const int stripHeight = Twips(kCaptionStripHeight);

    KvxEditCtrl* front = rtb_[project_.lServo];
    for (KvxEditCtrl* editor : rtb_) {
        if (editor != front && editor->isVisible()) editor->hide();
    }
    front->raise();
    const int editorHeight = picServoInstructionsBG_->height() - stripHeight;
    if (editorHeight >= 0) front->setGeometry(0, stripHeight, paneWidth, editorHeight);
    front->show();

    picServoInstructions_->setGeometry(0, 0, paneWidth, stripHeight);
    lblServoInstructions_->setGeometry(0, 0, paneWidth, stripHeight);
    const int waitLeft = paneWidth - cmdWait_->width() - Twips(kWaitButtonMargin);
    cmdWait_->move(waitLeft, Twips(kWaitButtonMargin));
    cmdWAV_->move(waitLeft - Twips(kWavButtonOffset), cmdWait_->y());
    ShowInstructionsCaption();
}

void frmMain::ShowInstructionsCaption() {
    const QString caption = QStringLiteral("Servo Instructions: \"") +
                            QString::fromStdString(project_.Servos[project_.lServo].Name) + QStringLiteral("\"");
    // The strip's colour runs under the Wav and Wait buttons; its text stops
    // before them and is shortened with "..." when the pane is narrow.
    QLabel* label = lblServoInstructions_;
    label->setContentsMargins(0, 0, std::max(0, label->width() - cmdWAV_->x()), 0);
    const int room = std::max(0, label->contentsRect().width() - label->indent() - 2);
    label->setText(label->fontMetrics().elidedText(caption, Qt::ElideRight, room));
    label->setToolTip(label->text() == caption ? QString() : caption);
}

void frmMain::HighlightPane(int pane) {
    panel_->SetCaptionActive(pane == 0);
    PaintPaneCaption(lblServoInstructions_, palette(), pane != 0);
}

void frmMain::SelectServo(int servo, int pane) {
    if (servo < 0 || servo >= kServoCount) return;
    HighlightPane(pane);
    project_.lServo = servo;
    Form_Resize();
    UpdateEditCommands();
    UpdateStatusBar();
}

void frmMain::UpdateEditCommands() {
    const KvxEditCtrl* editor = rtb_[project_.lServo];
    const bool canCopy = editor->CanCopy();
    const bool canPaste = editor->CanPaste();
    toolbarButtons_.at(QStringLiteral("cut"))->setEnabled(canCopy);
    miCut_->setEnabled(canCopy);
    toolbarButtons_.at(QStringLiteral("copy"))->setEnabled(canCopy);
    miCopy_->setEnabled(canCopy);
    toolbarButtons_.at(QStringLiteral("paste"))->setEnabled(canPaste);
    miPaste_->setEnabled(canPaste);
    miUndo_->setEnabled(editor->document()->isUndoAvailable());
    miRedo_->setEnabled(editor->document()->isRedoAvailable());
}

void frmMain::EditorGotFocus() {
    HighlightPane(1);
    UpdateEditCommands();
}

void frmMain::EditorChanged(int servo) {
    project_.ModifiedSinceBuild = true;
    project_.bNeedToSave = true;
    setWindowModified(true);
    diagnostics_->Schedule(servo);
    UpdateEditCommands();
}

void frmMain::ReloadEditorsFromProject() {
    for (KvxEditCtrl* editor : rtb_) editor->ReloadFromProgram();
    diagnostics_->ScheduleAll();
}

void frmMain::CommitEdits() {
    for (const KvxEditCtrl* editor : rtb_) {
        if (editor) editor->CommitText();
    }
}

void frmMain::SetModified(bool modified) { setWindowModified(modified); }

void frmMain::SetFileName(const std::string& name) { documents_.SetFileName(name); }

void frmMain::NewFile() {
    ReplacingProject([this] { return Shown(documents_.NewFile()); });
}

// Paths go to the files layer as the operating system's bytes.
bool frmMain::OpenFile(const QString& path) {
    bool opened = false;
    ReplacingProject([&] { return opened = Shown(documents_.OpenFile(QFile::encodeName(path).toStdString())); });
    return opened;
}

std::string frmMain::AskOpenFileName() {
    if (fileDialog_) return QFile::encodeName(fileDialog_(this, false)).toStdString();
    return QFile::encodeName(
               QFileDialog::getOpenFileName(this, QStringLiteral("Open Animation..."), QString(), kProjectFilters))
        .toStdString();
}

std::string frmMain::AskSaveFileName() {
    if (fileDialog_) return QFile::encodeName(fileDialog_(this, true)).toStdString();
    QFileDialog dialog(this, QStringLiteral("Save Animation..."), QString(), kProjectFilters);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The extension is added before the dialog checks for an existing file,
    // so the overwrite question names the file that would be replaced.
    dialog.setDefaultSuffix(QStringLiteral("kva"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
}

void frmMain::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(WithModifiedMark(caption)));
}

// Save stays enabled: on a project without a file it is Save As.
void frmMain::SetSaveEnabled(bool) {}

void frmMain::ServosReset() {
    for (int i = 0; i < kServoCount; ++i) panel_->MoveSlider(i, project_.Servos[i].Home);
}

void frmMain::ProgramsReplaced() {
    ReloadEditorsFromProject();
    // The execution window shows the animation of the project before: it
    // closes rather than offer to play what no longer belongs to anything.
    if (exeWindow_ && !exeWindow_->Playing()) {
        exeWindow_->close();
        exeWindow_.clear();
    }
}

void frmMain::ApplyCommSettings() { ApplyProjectToLink(link_, project_); }

void frmMain::AddRecentFile(const std::string& path) {
    oRecentMenu_->AddMenuItem(path);
    oRecentMenu_->RefreshMenuItems();
}

void frmMain::BuildAnimation() {
    frmCompile progress(this);
    // On the screen before the build, which then processes no events.
    progress.ShowPainted();
    CommitEdits();
    CTimingPC timer;
    if (!timer.Available()) Tell(CTimingPC::UnavailableMessage());
    const BuildResult result = kestrova::BuildAnimation(project_, [&](int servo) {
        if (servo > 0) timer.WaitFor(15);
        progress.SetCaption("Compiling " + project_.Servos[servo].Name + "...");
    });
    switch (result.outcome) {
    case BuildOutcome::Failed:
        ReportCompileError(result.error);
        break;
    case BuildOutcome::NothingToCompile:
        timer.WaitFor(15);
        progress.SetCaption("Compiling Stopped.");
        Tell({result.error.message, result.error.title, MessageIcon::Exclamation, MessageButtons::Ok});
        break;
    case BuildOutcome::Success:
        timer.WaitFor(15);
        // Moves beyond their caps build as written; the output limits them.
        const size_t n = CapWarnings(project_).size();
        progress.SetCaption(n ? "Compiling Complete: " + std::to_string(n) + (n == 1 ? " warning." : " warnings.")
                              : std::string("Compiling Complete."));
        timer.WaitFor(500);
        break;
    }
    progress.close();
    if (project_.ExeWindowOpen) UpdateExecutionGraph(true);
}

void frmMain::ReportCompileError(const CompileError& error) {
    if (error.servo < 0 || error.servo >= kServoCount) {
        Tell({error.message, error.title, MessageIcon::Critical, MessageButtons::Ok});
        return;
    }
    SelectServo(error.servo);
    KvxEditCtrl* editor = rtb_[error.servo];
    editor->SetSel(error.Start, error.End);
    Tell({error.message, error.title, MessageIcon::Critical, MessageButtons::Ok});
    panel_->hscServo(error.servo)->setFocus();
    editor->setFocus();
}

void frmMain::InsertMov(int servo, int32_t position, int32_t frames) {
    InsertInstructionLine(*rtb_[servo], MovLine(position, frames));
}

void frmMain::InsertWait(int32_t frames) { InsertInstructionLine(*rtb_[project_.lServo], WaitLine(frames)); }

void frmMain::RecordPosition(int servo, int32_t position) {
    const int32_t answer = framesPrompt_(this);
    if (answer == 0) {
        Tell({"The number of frames for a movement to take must be greater than zero.", "Invalid Frame Amount",
              MessageIcon::Critical, MessageButtons::Ok});
    } else if (answer >= 1) {
        InsertMov(servo, position, answer);
    }
}

void frmMain::cmdWait_Click() {
    const int32_t answer = framesPrompt_(this);
    if (answer == 0) {
        Tell({"The number of frames for a \"Wait\" instruction must be greater than zero.", "Invalid Frame Amount",
              MessageIcon::Critical, MessageButtons::Ok});
    } else if (answer >= 1) {
        InsertWait(answer);
    }
}

void frmMain::chkCOM_Click(bool checked) {
    if (const std::optional<Message> problem = ComToggleClicked(link_, checked, *this)) Tell(*problem);
}

void frmMain::SetComChecked(bool checked) { panel_->SetPortChecked(checked); }

void frmMain::SetComCaption(const std::string& caption) { panel_->SetPortCaption(QString::fromStdString(caption)); }

void frmMain::FocusSelectedEditor() { rtb_[project_.lServo]->setFocus(); }

void frmMain::tbrMain_ButtonClick(const QString& key) {
    if (key == QLatin1String("new")) miNew_Click();
    else if (key == QLatin1String("open")) miOpen_Click();
    else if (key == QLatin1String("save")) miSave_Click();
    else if (key == QLatin1String("cut")) miCut_Click();
    else if (key == QLatin1String("copy")) miCopy_Click();
    else if (key == QLatin1String("paste")) miPaste_Click();
    else if (key == QLatin1String("build")) BuildAnimation();
    else if (key == QLatin1String("run")) ShowExecutionWindow();
}

void frmMain::miNew_Click() { NewFile(); }

// The document commands (open dialog, save, save as, recent files and the
// "Save Changes?" question) are not part of this window yet.
void frmMain::miOpen_Click() {
    ReplacingProject([this] { return Shown(documents_.Open()); });
}
void frmMain::miSave_Click() { Shown(documents_.Save()); }
void frmMain::miSaveAs_Click() { Shown(documents_.SaveAs()); }

bool frmMain::Shown(const CommandResult& result) {
    ShowAll(messages_, result.messages);
    return result.done;
}
void frmMain::miSettings_Click() {
    frmSettings dialog(project_.Settings, [this] { ApplyProjectToLink(link_, project_); }, this, messages_,
                       store_);
    dialog.exec();
}

void frmMain::miBuild_Click() { BuildAnimation(); }

void frmMain::miExportArduino_Click() {
    ExportForArduino(this, project_, [this] {
        BuildAnimation();
        return project_.Built && !project_.ModifiedSinceBuild;
    }, messages_, store_);
}

void frmMain::miExit_Click() { close(); }

void frmMain::miCut_Click() { rtb_[project_.lServo]->Cut(); }
void frmMain::miCopy_Click() { rtb_[project_.lServo]->Copy(); }
void frmMain::miPaste_Click() { rtb_[project_.lServo]->Paste(); }

void frmMain::miHelpContents_Click() {
    const QString help = HelpFilePath();
    if (const auto problem = OpenHelp(help.isEmpty() ? QUrl() : QUrl::fromLocalFile(help), "the user manual"))
        Tell(*problem);
}

void frmMain::miGoToOrvanis_Click() {
    QApplication::beep();
    if (const auto problem = OpenHelp(frmAbout::WebSite(), "the project's page")) Tell(*problem);
}

void frmMain::closeEvent(QCloseEvent* event) {
    // An animation that plays or is paused is stopped first; the close
    // comes back, with its usual question, once the playback has ended.
    if (exeWindow_ && exeWindow_->Playing()) {
        event->ignore();
        connect(exeWindow_, &frmExe::playbackRunning, this, [this](bool running) {
            if (!running) QTimer::singleShot(0, this, &QWidget::close);
        }, Qt::SingleShotConnection);
        exeWindow_->ToolbarClick(QStringLiteral("stop"));
        return;
    }
    if (!Shown(documents_.QueryClose())) {
        event->ignore();
        return;
    }
    // Every other window of the program goes with the main window.
    closing_ = true;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window != controllerDock_ && window->isVisible() && !window->close()) {
            closing_ = false;
            event->ignore();
            return;
        }
    }
    event->accept();
}

}  // namespace kestrova
