#pragma once
// KvxEditCtrl: the instruction editor of one servo.
//
// A plain text editor bound to that servo's program text in the project
// model: every change of the editor's text is written back at once, with CR
// LF line breaks, so the compiler, the file writer and recording always see
// exactly what the user sees. Offsets (GetSel, SetSel) count characters
// (code points) from 0 with a line break counted as one character, the unit
// of the compiler's word offsets.

#include <QPlainTextEdit>

#include <cstdint>
#include <string>

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

    // The whole text with CR LF line breaks.
    const std::string& Text() const { return *program_; }
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

private:
    // Writes the editor's text to the model; true when it differed.
    bool SyncToProgram();
    void OnTextChanged();

    std::string ownText_;
    std::string* program_ = &ownText_;
    // The text holds characters outside the Basic Multilingual Plane, so
    // document positions (UTF-16) and offsets (code points) differ.
    bool hasSurrogates_ = false;
    bool loading_ = false;
    QSyntaxHighlighter* highlighter_ = nullptr;
};

// The editor font: "Courier New" where installed, else the system's fixed
// font.
QFont InstructionFont();

}  // namespace kestrova
