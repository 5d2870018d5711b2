#pragma once
// KvxEditCtrl: the instruction editor of one servo.
//
// A plain text editor bound to that servo's program text in the project
// model. A keystroke only marks the model's copy stale, so typing costs the
// change and not the size of the program; Text() and CommitText() write the
// editor's text back (with CR LF line breaks) before anyone reads it.
// Offsets (GetSel, SetSel) count characters
// (code points) from 0 with a line break counted as one character, the unit
// of the compiler's word offsets.

#include "core/program_check.h"

#include <QColor>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class QSyntaxHighlighter;

namespace kestrova {

class KvxEditCtrl : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit KvxEditCtrl(QWidget* parent = nullptr);

    // Binds the editor to a program text of the model and shows that text.
    // From then on every change of the editor is written to *program.
    void BindProgram(std::string* program);

    // Shows the model's current text again (after a load or a new project):
    // no Change notification, and the undo history starts afresh.
    void ReloadFromProgram();

    // The whole text with CR LF line breaks (brings the model up to date).
    const std::string& Text() const;
    // Writes pending edits to the bound program text; cheap when there are
    // none.
    void CommitText() const;
    bool HasPendingText() const { return pending_; }
    // Counts changes of the text, loads included.
    uint64_t EditCount() const { return editCount_; }

    // The wavy red underline of a compile error on the characters start to
    // end (offsets as SetSel), with the message as the words' tool tip.
    void ShowDiagnostic(int32_t start, int32_t end, const QString& message);
    void ClearDiagnostic();
    // The diagnostic's range in document positions and its message; an
    // empty message when there is none.
    const QString& DiagnosticMessage() const { return diagnosticMessage_; }
    QTextCursor DiagnosticRange() const { return diagnostic_; }

    // The wavy amber underlines (on a faint amber ground) of the commands
    // that ask more than the servo's caps allow, each with its warning as
    // the words' tool tip. An error's underline is drawn over them.
    struct Warning {
        QTextCursor range;
        QString message;
    };
    void ShowWarnings(const std::vector<ProgramWarning>& warnings);
    const std::vector<Warning>& Warnings() const { return warnings_; }

    static inline const QColor kErrorUnderline{220, 0, 0};
    static inline const QColor kWarningUnderline{225, 135, 0};

    // The caret's line and column, both from 1 (a column counts characters).
    int CaretLine() const;
    int CaretColumn() const;
    // Line and column (from 1) of a character offset.
    std::pair<int, int> LineColumnOf(int32_t offset) const;
    // Replaces the whole text as one undoable edit (raises Change).
    void SetText(const std::string& text);

    // Selection start and end; start is the caret when nothing is selected.
    void GetSel(int32_t& start, int32_t& end) const;
    // Selects start to end (the caret at end); offsets beyond the text mean
    // its end, negative ones its start. start == end places the caret.
    void SetSel(int32_t start, int32_t end);
    // Replaces the selection by text, or inserts it at the caret. The flag
    // asks for the change to be undoable; the editor makes every change
    // undoable, so it is accepted for callers written against that form.
    void ReplaceSel(int flag, const std::string& text);

    void Cut();
    void Copy();
    void Paste();
    bool CanCopy() const;
    bool CanPaste() const;

    // Length of the text in characters (a line break counts as one).
    int32_t Length() const;

    // Character offset (code points, line break = 1) of a document position
    // and back.
    int32_t OffsetOfPosition(int position) const;
    int PositionOfOffset(int32_t offset) const;

signals:
    void GotFocus();
    void SelChange();
    void Change();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // Writes the editor's text to the model.
    void SyncToProgram() const;
    void OnContentsChange(int position, int removed, int added);
    // The document range of the characters start to end (offsets).
    QTextCursor RangeOf(int32_t start, int32_t end) const;
    // The underlines of the warnings and the error, the error's on top.
    void ShowMarks();

    std::string ownText_;
    std::string* program_ = &ownText_;
    // The model's text trails the editor's.
    mutable bool pending_ = false;
    uint64_t editCount_ = 0;
    QTextCursor diagnostic_;
    QString diagnosticMessage_;
    std::vector<Warning> warnings_;
    // The text holds characters outside the Basic Multilingual Plane, so
    // document positions (UTF-16) and offsets (code points) differ.
    mutable bool hasSurrogates_ = false;
    bool loading_ = false;
    QSyntaxHighlighter* highlighter_ = nullptr;
};

// The editor font: "Courier New" where installed, else the system's fixed
// font.
QFont InstructionFont();

}  // namespace kestrova
