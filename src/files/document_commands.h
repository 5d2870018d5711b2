#pragma once
// The document commands of the main window without the window: New, Open,
// Save, Save As, opening a recent file, and "Save Changes?" that guards every
// command that would throw away unsaved work. They keep the file name, the
// caption, the Save command's state, the recent-files list and the flags
// consistent; the window supplies the dialogs and the widgets, and shows the
// messages the commands return.

#include "core/messages.h"
#include "core/project.h"

#include <string>

namespace kestrova {

// What a document command did, and what it has to tell the user (open and
// save errors, a loaded file's repairs), in order.
struct [[nodiscard]] CommandResult {
    bool done = false;
    Messages messages;
};

// The answer to "Save Changes?" and the messages of a save it started.
struct [[nodiscard]] SaveQuery {
    MessageAnswer answer = MessageAnswer::Ok;
    Messages messages;
};

class DocumentView {
public:
    virtual ~DocumentView() = default;
    // The file dialogs: an empty name when cancelled. The save dialog asks
    // before overwriting.
    virtual std::string AskOpenFileName() = 0;
    virtual std::string AskSaveFileName() = 0;
    // Asks a question ("Save Changes?") and returns the answer.
    virtual MessageAnswer Ask(const Message& question) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetSaveEnabled(bool enabled) = 0;
    // The servos were reset to their new-project values: sliders to Home.
    virtual void ServosReset() = 0;
    // The model's program texts replaced the editors' texts.
    virtual void ProgramsReplaced() = 0;
    // Applies the serial settings in force to the port.
    virtual void ApplyCommSettings() = 0;
    // The servo panel shows the servos' names and ranges.
    virtual void UpdateServoSettings() = 0;
    // Puts the path on top of the recent-files list and rebuilds the menu.
    virtual void AddRecentFile(const std::string& path) = 0;
    virtual void UpdateEditCommands() = 0;
    // Edits the view holds back (typing not yet written to the project) go
    // into the project; called before the project is written.
    virtual void CommitEdits() {}
    // Whether there are unsaved changes changed (the window-modified mark).
    virtual void SetModified(bool /*modified*/) {}
};

// The main window's caption for a document name: "Kestrova v2 - [NAME]".
std::string DocumentCaption(const std::string& name);
// A caption as a Qt window title whose "[*]" shows the window-modified mark
// at its end; a "[*]" in the caption itself stays as it is.
std::string WithModifiedMark(const std::string& caption);

class DocumentCommands {
public:
    DocumentCommands(Project& project, DocumentView& view) : project_(project), view_(view) {}

    // "Save Changes?": nothing asked (Ok) when there is nothing to save,
    // else Yes, No or Cancel. A Yes whose save did not happen (the Save As
    // dialog cancelled, or the save failed) comes back as Cancel, so the
    // caller abandons its command and the work stays.
    SaveQuery QuerySave();

    CommandResult NewFile();
    // The open dialog, then OpenFile.
    CommandResult Open();
    CommandResult OpenFile(const std::string& name);
    // A recent-files item's caption: "&" number, a blank, the path.
    CommandResult OpenRecent(const std::string& caption);
    // Save when the name is a path, Save As otherwise (the toolbar's rule).
    CommandResult Save();
    CommandResult SaveAs();
    // Writes the project to sFilename and runs the after-save steps; on a
    // failure says why and changes nothing else.
    CommandResult SaveFile();
    // Closing the window: not done when the user cancelled.
    CommandResult QueryClose();

    void SetFileName(const std::string& name);

    // A name holds a directory separator.
    static bool IsPath(const std::string& name);

private:
    // The commands, adding what they have to tell to `messages`.
    MessageAnswer QuerySave(Messages& messages);
    bool OpenFile(const std::string& name, Messages& messages);
    bool SaveAs(Messages& messages);
    bool SaveFile(Messages& messages);

    Project& project_;
    DocumentView& view_;
};

}  // namespace kestrova
