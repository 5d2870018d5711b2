#include "keyframe_editor_link.h"

#include "core/text.h"
#include "execution/keyframe_layer.h"
#include "kvx_edit_ctrl.h"
#include "main_window.h"
#include "servo_panel.h"

#include <QTextBlock>
#include <QTextCursor>

#include <string_view>

namespace kestrova {

namespace {

// Characters in a text as the editor counts them (CR LF is one).
int32_t Characters(std::string_view text) {
    int32_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsUtf8ContinuationByte(text[i])) continue;
        if (text[i] == '\n' && i > 0 && text[i - 1] == '\r') continue;
        ++count;
    }
    return count;
}

// Backs a byte offset up to the start of the character that holds it.
size_t CharacterStart(std::string_view text, size_t at) {
    while (at > 0 && at < text.size() && (IsUtf8ContinuationByte(text[at]) || (text[at] == '\n' && text[at - 1] == '\r'))) --at;
    return at;
}

// What the editor shows, with CR LF line breaks. The program it is bound to
// may already hold the new text.
std::string DocumentText(const KvxEditCtrl& editor) {
    QString raw = editor.document()->toRawText();
    raw.replace(QChar(QChar::ParagraphSeparator), QStringLiteral("\r\n"));
    raw.replace(QChar(QChar::LineSeparator), QStringLiteral("\r\n"));
    return raw.toStdString();
}

}  // namespace

void ShowChangedText(KvxEditCtrl& editor, const std::string& text, bool join) {
    const std::string old = DocumentText(editor);
    if (old == text) return;
    size_t prefix = 0;
    while (prefix < old.size() && prefix < text.size() && old[prefix] == text[prefix]) ++prefix;
    prefix = std::min(CharacterStart(old, prefix), CharacterStart(text, prefix));
    size_t suffix = 0;
    while (suffix < old.size() - prefix && suffix < text.size() - prefix &&
           old[old.size() - 1 - suffix] == text[text.size() - 1 - suffix])
        ++suffix;
    // The common end starts on a whole character in both texts.
    while (suffix > 0 && (CharacterStart(old, old.size() - suffix) != old.size() - suffix ||
                          CharacterStart(text, text.size() - suffix) != text.size() - suffix))
        --suffix;
    const std::string_view before(old.data(), prefix);
    const int32_t start = Characters(before);
    const int32_t end = start + Characters(std::string_view(old).substr(prefix, old.size() - suffix - prefix));
    std::string inserted = text.substr(prefix, text.size() - suffix - prefix);
    // The document keeps paragraphs; a CR LF is one break there.
    std::string plain;
    for (size_t i = 0; i < inserted.size(); ++i) {
        if (inserted[i] == '\r' && i + 1 < inserted.size() && inserted[i + 1] == '\n') continue;
        plain += inserted[i];
    }
    QTextCursor cursor(editor.document());
    if (join) cursor.joinPreviousEditBlock();
    else cursor.beginEditBlock();
    cursor.setPosition(editor.PositionOfOffset(start));
    cursor.setPosition(editor.PositionOfOffset(end), QTextCursor::KeepAnchor);
    cursor.insertText(QString::fromStdString(plain));
    cursor.endEditBlock();
}

void ConnectKeyframes(frmMain& window, KeyframeLayer& layer) {
    ProgramEditor editor;
    editor.show = [&window](int servo, const std::string& text, bool join) { ShowChangedText(*window.rtb(servo), text, join); };
    editor.select = [&window](int servo, int32_t start, int32_t end) {
        window.SelectServo(servo);
        window.rtb(servo)->SetSel(start, end);
        window.rtb(servo)->ensureCursorVisible();
    };
    editor.commit = [&window] { window.project(); };
    layer.SetEditor(std::move(editor));
    QObject::connect(window.Panel(), &ServoPanel::servoSelected, &layer, [&layer] { layer.update(); });
    for (int servo = 0; servo < kServoCount; ++servo) {
        KvxEditCtrl* rtb = window.rtb(servo);
        QObject::connect(rtb, &KvxEditCtrl::Change, &layer, [&layer, servo] { layer.ProgramEdited(servo); });
        QObject::connect(rtb, &KvxEditCtrl::GotFocus, &layer, [&layer] { layer.update(); });
    }
}

}  // namespace kestrova
