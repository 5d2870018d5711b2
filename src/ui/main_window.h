#pragma once
// frmMain: the window the program lives in. Menus, the toolbar tbrMain, the
// servo control pane on the left (ServoPanel: 16 servo frames with live
// sliders, the port check box chkCOM) and the instructions pane on the
// right, which shows the selected servo's instruction editor. The window
// wires the panel to the link, the editors and the document commands.
//
// The window owns the one project and the one serial link; other windows
// reach them through project() and link().

#include "core/compiler.h"
#include "core/messages.h"
#include "core/project.h"
#include "files/document_commands.h"
#include "files/settings_store.h"
#include "link/port_toggle.h"
#include "link/serial_link.h"
#include "execution/execution_window.h"
#include "twips.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <cstdint>
#include <functional>
#include <map>

class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class QPushButton;
class QToolBar;

namespace kestrova {

class ControllerView;
class KvxEditCtrl;
class ProgramDiagnostics;
class ServoPanel;
class clsRecentMenu;

// What the main window asks the user through; an empty member takes the real
// one (message boxes, Qt's file dialogs, frmTime run modally), and the store
// is the user's own settings unless it names a folder.
struct MainWindowDependencies {
    // The file dialogs: `save` chooses the save dialog; an empty name when
    // cancelled.
    using FileDialog = std::function<QString(QWidget* owner, bool save)>;
    // Asks for a number of frames and returns the frames prompt's answer.
    using FramesPrompt = std::function<int32_t(QWidget* owner)>;

    MessageHandler messages{};
    FileDialog fileDialog{};
    FramesPrompt framesPrompt{};
    StoreLocation store{};
};

class frmMain : public QMainWindow, private PortToggleView, private SliderView, private DocumentView {
    Q_OBJECT

public:
    using FileDialog = MainWindowDependencies::FileDialog;
    using FramesPrompt = MainWindowDependencies::FramesPrompt;
    using Dependencies = MainWindowDependencies;

    explicit frmMain(QWidget* parent = nullptr, Dependencies dependencies = {});
    ~frmMain() override;

    // The project with every editor's typing written into it.
    Project& project() {
        CommitEdits();
        return project_;
    }
    SerialLink& link() { return link_; }

    // Makes servo the selected one (its editor in front, the caption naming
    // it) and marks a pane active (HighlightPane): the instructions pane,
    // or the control pane when a control of the servo's frame selected it.
    void SelectServo(int servo, int pane = 1);
    // Refreshes the 16 servo frames and the instructions caption from the
    // servo records; a slider whose value falls outside its new range takes
    // the nearest bound without sending it: no servo moves by itself.
    void UpdateServoSettings();
    // The data side of New: defaults, the next UntitledN name and caption,
    // sliders to Home, empty editors, cleared flags.
    void NewFile();
    // Opens a project file; false (document unchanged) when it cannot be read
    // or its load fails.
    bool OpenFile(const QString& path);
    // The build with its progress window and error report.
    void BuildAnimation();

    void UpdateEditCommands();
    // 0: the servo control pane looks active; any other value: the
    // instructions pane.
    void HighlightPane(int pane);

    // Recording: a "Mov" line into servo's editor, a "Wait" line into the
    // selected servo's editor.
    void InsertMov(int servo, int32_t position, int32_t frames);
    void InsertWait(int32_t frames);

    // Shows the model's program texts in the 16 editors again.
    void ReloadEditorsFromProject();

    // The document commands (New, Open, Save, Save As, recent files).
    DocumentCommands& Documents() { return documents_; }
    clsRecentMenu* RecentMenu() const { return oRecentMenu_; }

    // Controls, for the other windows and for tests.
    KvxEditCtrl* rtb(int servo) const { return rtb_[servo]; }
    // The servo control pane.
    ServoPanel* Panel() const { return panel_; }
    QWidget* picServoInstructionsBG() const { return picServoInstructionsBG_; }
    QLabel* lblServoInstructions() const { return lblServoInstructions_; }
    QPushButton* cmdWait() const { return cmdWait_; }
    QPushButton* cmdWAV() const { return cmdWAV_; }
    // A toolbar button's action by its key ("new", "cut", "run", ...).
    QAction* ToolbarButton(const QString& key) const;
    // The controller dock (View > Controller) and its view.
    QDockWidget* ControllerDock() const { return controllerDock_; }
    ControllerView* ControllerViewWidget() const { return controllerView_; }
    // The execution window while it is open.
    frmExe* ExecutionWindow() const { return exeWindow_; }
    ProgramDiagnostics* Diagnostics() const { return diagnostics_; }
    // The status bar: the first error, the selected servo's frames, the
    // show's length, the caret.
    QLabel* StatusError() const { return statusError_; }
    QLabel* StatusFrames() const { return statusFrames_; }
    QLabel* StatusShow() const { return statusShow_; }
    QLabel* StatusCaret() const { return statusCaret_; }

public slots:
    void cmdWait_Click();
    void chkCOM_Click(bool checked);
    void tbrMain_ButtonClick(const QString& key);

    void miNew_Click();
    void miOpen_Click();
    void miSave_Click();
    void miSaveAs_Click();
    void miBuild_Click();
    void miExportArduino_Click();
    void miExit_Click();
    void miCut_Click();
    void miCopy_Click();
    void miPaste_Click();
    void miServoSettings_Click();
    void miMouthMoves_Click();
    void miSettings_Click();
    void miHelpContents_Click();
    void miGoToOrvanis_Click();
    void miAbout_Click();
    void cmdWAV_Click();
    void ShowExecutionWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    // Edit > Undo and Redo, on the selected editor (the keys are the editor's).
    void AddUndoCommands(QMenu* menu);
    void BuildToolbar();
    void BuildPanes();
    void ConnectPanel();
    void BuildControllerDock();
    void Form_Resize();
    // The instructions pane's caption, naming the selected servo.
    void ShowInstructionsCaption();
    void Form_Activate();
    void SetFileName(const std::string& name);
    void ReportCompileError(const CompileError& error);
    MessageAnswer Tell(const Message& message) { return kestrova::Ask(messages_, message); }
    // Shows a document command's messages; returns whether it was done.
    bool Shown(const CommandResult& result);
    // A slider's new position: its label, and the controller when the port
    // is open.
    void ServoSliderMoved(int servo, int value);
    // Log: asks for the frames and records a "Mov" to position.
    void RecordPosition(int servo, int32_t position);
    // The execution window's UpdateGraph, when that window is open.
    void UpdateExecutionGraph(bool bDoChecks);
    // Runs a command that may replace the project (New, Open) without the
    // execution window asking to build along the way, then refreshes it.
    void ReplacingProject(const std::function<bool()>& command);
    void EditorGotFocus();
    void EditorChanged(int servo);
    void BuildStatusBar();
    void UpdateStatusBar();
    void UpdateCaretStatus();
    // The frame rate the show's length is given at: the execution window's.
    int FrameRate() const;

    // PortToggleView
    void SetComChecked(bool checked) override;
    void SetComCaption(const std::string& caption) override;
    void FocusSelectedEditor() override;
    // SliderView
    void SetPositionLabel(int servo, const std::string& text) override;
    void SetPositionUnsent(int servo, const std::string& reason) override;

    std::string AskOpenFileName() override;
    std::string AskSaveFileName() override;
    MessageAnswer Ask(const Message& question) override { return Tell(question); }
    void SetCaption(const std::string& caption) override;
    void SetSaveEnabled(bool enabled) override;
    void ServosReset() override;
    void ProgramsReplaced() override;
    void ApplyCommSettings() override;
    void CommitEdits() override;
    void SetModified(bool modified) override;
    // UpdateServoSettings and UpdateEditCommands are public above.
    void AddRecentFile(const std::string& path) override;

    MessageHandler messages_;
    StoreLocation store_;
    Project project_;
    SerialLink link_{StoredPortTable(store_)};
    DocumentCommands documents_{project_, *this};
    clsRecentMenu* oRecentMenu_ = nullptr;
    FileDialog fileDialog_;
    FramesPrompt framesPrompt_;

    QToolBar* tbrMain_ = nullptr;
    std::map<QString, QAction*> toolbarButtons_;
    QWidget* central_ = nullptr;
    ServoPanel* panel_ = nullptr;
    QWidget* picServoInstructionsBG_ = nullptr;
    QWidget* picServoInstructions_ = nullptr;
    QLabel* lblServoInstructions_ = nullptr;
    QPushButton* cmdWAV_ = nullptr;
    QPushButton* cmdWait_ = nullptr;
    std::array<KvxEditCtrl*, kServoCount> rtb_{};

    QAction* miNew_ = nullptr;
    QAction* miOpen_ = nullptr;
    QAction* miSave_ = nullptr;
    QAction* miSaveAs_ = nullptr;
    QAction* miBuild_ = nullptr;
    QAction* miRecent_ = nullptr;
    QAction* miExit_ = nullptr;
    QAction* miUndo_ = nullptr;
    QAction* miRedo_ = nullptr;
    QAction* miCut_ = nullptr;
    QAction* miCopy_ = nullptr;
    QAction* miPaste_ = nullptr;
    QAction* miServoSettings_ = nullptr;
    QAction* miSettings_ = nullptr;
    QAction* miHelpContents_ = nullptr;
    QAction* miGoToOrvanis_ = nullptr;
    QAction* miAbout_ = nullptr;

    QPointer<frmExe> exeWindow_;
    int lastFrameRate_ = 15;

    ProgramDiagnostics* diagnostics_ = nullptr;
    QLabel* statusError_ = nullptr;
    QLabel* statusFrames_ = nullptr;
    QLabel* statusShow_ = nullptr;
    QLabel* statusCaret_ = nullptr;
    QDockWidget* controllerDock_ = nullptr;
    ControllerView* controllerView_ = nullptr;
    bool controllerDockPlaced_ = false;
    bool closing_ = false;  // the window is going: the dock's state stays as stored
};

}  // namespace kestrova
