#pragma once
// Instruction recording: the frames prompt frmTime and the rule that puts a
// recorded "Mov" or "Wait" line into a servo's program.

#include "core/messages.h"

#include <QDialog>

#include <cstdint>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrova {

class KvxEditCtrl;

// "Mov " + position + ", " + frames + CR LF
std::string MovLine(int32_t position, int32_t frames);
// "Wait " + frames + CR LF
std::string WaitLine(int32_t frames);

// Puts line into the editor's text: just after the line break that ends the
// caret's line (so above the caret's line when the caret stands at the start
// of a line, below it otherwise); on a last line without a line break the
// text first gets one and the line goes at the end; into an empty text at
// its start. The caret then stands at the end of the whole text, so a series
// of recordings appends one line after the other.
void InsertInstructionLine(KvxEditCtrl& editor, const std::string& line);

// The modal frames prompt. OK accepts a number that rounds (halves to even)
// to 1 or more and closes; any other entry shows "Invalid Frame Amount" and
// the prompt stays open with its entry selected. Cancel, the close box and
// Escape all answer -1. The refusal goes to `messages` (by default a
// message box).
class frmTime : public QDialog {
    Q_OBJECT

public:
    explicit frmTime(QWidget* parent = nullptr, MessageHandler messages = {});

    QLineEdit* Text1() const { return text1_; }
    // The prompt's answer: -1 when it was cancelled or closed, otherwise the
    // accepted number of frames (at least 1); 0 until it has answered.
    int32_t Answer() const { return answer_; }

public slots:
    void Command1_Click();
    void cmdCancel_Click();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Form_Activate();

    MessageHandler messages_;
    int32_t answer_ = 0;
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QPushButton* command1_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
};

}  // namespace kestrova
