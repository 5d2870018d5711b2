#include "recording.h"

#include "core/messages.h"
#include "core/numeric_text.h"
#include "core/project.h"
#include "kvx_edit_ctrl.h"
#include "message_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace kestrova {


std::string MovLine(int32_t position, int32_t frames) {
    return "Mov " + std::to_string(position) + ", " + std::to_string(frames) + kLineBreak;
}

std::string WaitLine(int32_t frames) { return "Wait " + std::to_string(frames) + kLineBreak; }

void InsertInstructionLine(KvxEditCtrl& editor, const std::string& line) {
    // The search runs on a copy whose CR LF pairs are single CRs, counted in
    // characters, so its indices are the editor's offsets.
    const QList<uint> text =
        QString::fromStdString(editor.Text()).replace(QStringLiteral("\r\n"), QStringLiteral("\r")).toUcs4();
    int32_t caret = 0, selectionEnd = 0;
    editor.GetSel(caret, selectionEnd);

    qsizetype lineBreak = -1;
    if (caret >= 1) {
        for (qsizetype k = caret - 1; k < text.size(); ++k) {
            if (text[k] == '\r') {
                lineBreak = k;
                break;
            }
        }
    }
    if (lineBreak >= 0) {
        editor.SetSel(int32_t(lineBreak + 1), int32_t(lineBreak + 1));
    } else if (!text.isEmpty()) {
        // The last line has no line break yet (or the caret is at the very
        // start): end the text with one and add the line behind it.
        editor.SetSel(editor.Length(), editor.Length());
        editor.ReplaceSel(1, kLineBreak);
        editor.SetSel(editor.Length(), editor.Length());
    } else {
        editor.SetSel(0, 0);
    }
    editor.ReplaceSel(1, line);
    editor.SetSel(editor.Length(), editor.Length());
}

frmTime::frmTime(QWidget* parent, MessageHandler messages)
    : QDialog(parent), messages_(messages ? std::move(messages) : MessageHandler(&AskMessageBox)) {
    setObjectName(QStringLiteral("frmTime"));
    setWindowTitle(QStringLiteral("Frames"));
    setModal(true);

    auto* image1 = new QLabel(this);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    image1->setAlignment(Qt::AlignTop);

    label1_ = new QLabel(QStringLiteral("Please enter the number of frames for this movement to take."), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setWordWrap(true);
    label2_ = new QLabel(QStringLiteral("Frames:"), this);
    label2_->setObjectName(QStringLiteral("Label2"));
    text1_ = new QLineEdit(this);
    text1_->setObjectName(QStringLiteral("Text1"));
    label2_->setBuddy(text1_);
    command1_ = new QPushButton(QStringLiteral("&OK"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setDefault(true);
    cmdCancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));

    auto* entry = new QHBoxLayout;
    entry->addWidget(label2_);
    entry->addWidget(text1_, 1);
    auto* text = new QVBoxLayout;
    text->addWidget(label1_);
    text->addLayout(entry);
    auto* top = new QHBoxLayout;
    top->addWidget(image1);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(command1_);
    buttons->addWidget(cmdCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setFixedWidth(320);

    connect(command1_, &QPushButton::clicked, this, &frmTime::Command1_Click);
    connect(cmdCancel_, &QPushButton::clicked, this, &frmTime::cmdCancel_Click);
}

void frmTime::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Form_Activate();
}

void frmTime::Form_Activate() {
    text1_->setFocus();
    text1_->selectAll();
}

void frmTime::Command1_Click() {
    const std::optional<int32_t> frames = ToInt32(text1_->text().trimmed().toStdString());
    if (frames) {
        answer_ = *frames;
        if (answer_ > 0) {
            accept();
            return;
        }
    }
    Ask(messages_, {"Invalid Frame Amount", "Error", MessageIcon::Critical, MessageButtons::Ok});
    answer_ = -1;
    Form_Activate();
}

void frmTime::cmdCancel_Click() { reject(); }

void frmTime::reject() {
    // The close box and Escape count as Cancel: a prompt the user walked
    // away from must not record a line with an earlier frame count.
    answer_ = -1;
    QDialog::reject();
}

}  // namespace kestrova
