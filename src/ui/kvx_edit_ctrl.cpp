#include "kvx_edit_ctrl.h"

#include "core/compiler.h"
#include "core/numeric_text.h"

#include <QFontDatabase>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QToolTip>
#include <QTextCursor>

#include <algorithm>

namespace kestrova {

namespace {

constexpr char16_t kParagraphSeparator = 0x2029;
constexpr char16_t kLineSeparator = 0x2028;

// Colours the servo language line by line: commands, numbers, comments and
// words that are none of these. A comment ends at the line's end, so every
// line can be coloured on its own.
class InstructionHighlighter : public QSyntaxHighlighter {
public:
    explicit InstructionHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
        command_.setForeground(QColor(0, 0, 160));
        command_.setFontWeight(QFont::Bold);
        number_.setForeground(QColor(128, 0, 128));
        comment_.setForeground(QColor(0, 128, 0));
        comment_.setFontItalic(true);
        unknown_.setForeground(QColor(192, 0, 0));
        ease_.setForeground(QColor(0, 110, 140));
        ease_.setFontWeight(QFont::Bold);
    }

protected:
    void highlightBlock(const QString& text) override {
        const qsizetype length = text.size();
        qsizetype i = 0;
        while (i < length) {
            const QChar c = text.at(i);
            if (c == u'\'') {
                setFormat(int(i), int(length - i), comment_);
                return;
            }
            if (IsSeparator(c)) {
                ++i;
                continue;
            }
            const qsizetype start = i;
            while (i < length && !IsSeparator(text.at(i)) && text.at(i) != u'\'') ++i;
            const QString word = text.mid(start, i - start);
            setFormat(int(start), int(i - start), FormatOf(word));
        }
    }

private:
    static bool IsSeparator(QChar c) { return c == u' ' || c == u'\t' || c == u','; }

    const QTextCharFormat& FormatOf(const QString& word) const {
        if (word.compare(u"mov", Qt::CaseInsensitive) == 0 || word.compare(u"wait", Qt::CaseInsensitive) == 0)
            return command_;
        const std::string text = word.toStdString();
        if (EaseOf(text) != Ease::None) return ease_;
        if (IsNumeric(text)) return number_;
        return unknown_;
    }

    QTextCharFormat command_, number_, comment_, unknown_, ease_;
};

}  // namespace

QFont InstructionFont() {
    if (QFontDatabase::families().contains(QStringLiteral("Courier New"))) {
        QFont font(QStringLiteral("Courier New"));
        font.setStyleHint(QFont::Monospace);
        return font;
    }
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

KvxEditCtrl::KvxEditCtrl(QWidget* parent) : QPlainTextEdit(parent) {
    setFont(InstructionFont());
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTabChangesFocus(false);
    highlighter_ = new InstructionHighlighter(document());
    connect(document(), &QTextDocument::contentsChange, this, &KvxEditCtrl::OnContentsChange);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &KvxEditCtrl::SelChange);
    connect(this, &QPlainTextEdit::selectionChanged, this, &KvxEditCtrl::SelChange);
}

void KvxEditCtrl::BindProgram(std::string* program) {
    program_ = program ? program : &ownText_;
    ReloadFromProgram();
}

void KvxEditCtrl::ReloadFromProgram() {
    loading_ = true;
    ClearDiagnostic();
    ShowWarnings({});
    setPlainText(QString::fromStdString(*program_));
    loading_ = false;
    // The model keeps exactly the editor's text (a lone CR or LF has become
    // a CR LF line break).
    SyncToProgram();
}

void KvxEditCtrl::SetText(const std::string& text) {
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(QString::fromStdString(text));
    cursor.endEditBlock();
}

const std::string& KvxEditCtrl::Text() const {
    CommitText();
    return *program_;
}

void KvxEditCtrl::CommitText() const {
    if (pending_) SyncToProgram();
}

void KvxEditCtrl::SyncToProgram() const {
    QString raw = document()->toRawText();
    hasSurrogates_ = false;
    for (const QChar c : std::as_const(raw)) {
        if (c.isSurrogate()) {
            hasSurrogates_ = true;
            break;
        }
    }
    raw.replace(QChar(kParagraphSeparator), QStringLiteral("\r\n"));
    raw.replace(QChar(kLineSeparator), QStringLiteral("\r\n"));
    *program_ = raw.toStdString();
    pending_ = false;
}

void KvxEditCtrl::OnContentsChange(int position, int removed, int added) {
    // Colouring reports changes of no characters; only text counts.
    if (removed == 0 && added == 0) return;
    ++editCount_;
    // Offsets stay plain positions until a character outside the Basic
    // Multilingual Plane arrives (checked on the inserted part only).
    for (int i = position; i < position + added && !hasSurrogates_; ++i) {
        if (document()->characterAt(i).isSurrogate()) hasSurrogates_ = true;
    }
    if (loading_) return;
    pending_ = true;
    emit Change();
}

int32_t KvxEditCtrl::OffsetOfPosition(int position) const {
    if (!hasSurrogates_) return position;
    const QString raw = document()->toRawText();
    int32_t offset = 0;
    for (int i = 0; i < position && i < raw.size(); ++i) {
        if (!raw.at(i).isLowSurrogate()) ++offset;
    }
    return offset;
}

int KvxEditCtrl::PositionOfOffset(int32_t offset) const {
    const int last = document()->characterCount() - 1;  // behind the last character
    if (offset <= 0) return 0;
    if (!hasSurrogates_) return offset > last ? last : int(offset);
    const QString raw = document()->toRawText();
    int32_t counted = 0;
    int i = 0;
    while (i < last && counted < offset) {
        i += raw.at(i).isHighSurrogate() && i + 1 < raw.size() ? 2 : 1;
        ++counted;
    }
    return i;
}

int32_t KvxEditCtrl::Length() const { return OffsetOfPosition(document()->characterCount() - 1); }

void KvxEditCtrl::GetSel(int32_t& start, int32_t& end) const {
    const QTextCursor cursor = textCursor();
    start = OffsetOfPosition(cursor.selectionStart());
    end = OffsetOfPosition(cursor.selectionEnd());
}

void KvxEditCtrl::SetSel(int32_t start, int32_t end) {
    QTextCursor cursor(document());
    cursor.setPosition(PositionOfOffset(start));
    cursor.setPosition(PositionOfOffset(end), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void KvxEditCtrl::ReplaceSel(int /*flag*/, const std::string& text) {
    textCursor().insertText(QString::fromStdString(text));
}

void KvxEditCtrl::Cut() { cut(); }
void KvxEditCtrl::Copy() { copy(); }
void KvxEditCtrl::Paste() { paste(); }

bool KvxEditCtrl::CanCopy() const { return textCursor().hasSelection(); }

bool KvxEditCtrl::CanPaste() const { return canPaste(); }

QTextCursor KvxEditCtrl::RangeOf(int32_t start, int32_t end) const {
    QTextCursor range(document());
    range.setPosition(PositionOfOffset(start));
    range.setPosition(PositionOfOffset(std::max(end, start)), QTextCursor::KeepAnchor);
    return range;
}

void KvxEditCtrl::ShowDiagnostic(int32_t start, int32_t end, const QString& message) {
    diagnostic_ = RangeOf(start, end);
    diagnosticMessage_ = message;
    ShowMarks();
}

void KvxEditCtrl::ClearDiagnostic() {
    if (diagnosticMessage_.isEmpty() && diagnostic_.isNull()) return;
    diagnostic_ = QTextCursor();
    diagnosticMessage_.clear();
    ShowMarks();
}

void KvxEditCtrl::ShowWarnings(const std::vector<ProgramWarning>& warnings) {
    if (warnings.empty() && warnings_.empty()) return;
    warnings_.clear();
    for (const ProgramWarning& w : warnings)
        warnings_.push_back(Warning{RangeOf(w.Start, w.End), QString::fromStdString(w.message)});
    ShowMarks();
}

void KvxEditCtrl::ShowMarks() {
    QList<QTextEdit::ExtraSelection> marks;
    auto underline = [&marks](const QTextCursor& range, const QColor& colour) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = range;
        mark.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        mark.format.setUnderlineColor(colour);
        marks.append(mark);
    };
    for (const Warning& w : warnings_) {
        underline(w.range, kWarningUnderline);
        // A faint amber behind the word too: a thin wave alone is easily missed.
        marks.back().format.setBackground(QColor(255, 236, 184));
    }
    if (!diagnosticMessage_.isEmpty() || !diagnostic_.isNull()) underline(diagnostic_, kErrorUnderline);
    setExtraSelections(marks);
}

int KvxEditCtrl::CaretLine() const { return textCursor().blockNumber() + 1; }

namespace {

// Column (from 1) of a position inside its block, in characters: only the
// line is looked at, however long the program.
int ColumnIn(const QTextBlock& block, int position) {
    const QString line = block.text().left(position - block.position());
    int column = 1;
    for (const QChar c : line) {
        if (!c.isLowSurrogate()) ++column;
    }
    return column;
}

}  // namespace

int KvxEditCtrl::CaretColumn() const {
    const QTextCursor cursor = textCursor();
    return ColumnIn(cursor.block(), cursor.position());
}

std::pair<int, int> KvxEditCtrl::LineColumnOf(int32_t offset) const {
    const int position = PositionOfOffset(offset);
    const QTextBlock block = document()->findBlock(position);
    return {block.blockNumber() + 1, ColumnIn(block, position)};
}

bool KvxEditCtrl::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int position = cursorForPosition(help->pos()).position();
        auto over = [position](const QTextCursor& range) {
            return !range.isNull() && position >= range.selectionStart() && position <= range.selectionEnd();
        };
        QString tip = !diagnosticMessage_.isEmpty() && over(diagnostic_) ? diagnosticMessage_ : QString();
        for (auto w = warnings_.begin(); tip.isEmpty() && w != warnings_.end(); ++w) {
            if (over(w->range)) tip = QStringLiteral("Warning: ") + w->message;
        }
        if (!tip.isEmpty()) {
            QToolTip::showText(help->globalPos(), tip, viewport());
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QPlainTextEdit::viewportEvent(event);
}

void KvxEditCtrl::focusInEvent(QFocusEvent* event) {
    QPlainTextEdit::focusInEvent(event);
    emit GotFocus();
}

void KvxEditCtrl::keyPressEvent(QKeyEvent* event) {
    // Shift+Enter would put a soft line break inside a line; in a program
    // every line break is the same CR LF.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & Qt::ShiftModifier)) {
        QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier, event->text());
        QPlainTextEdit::keyPressEvent(&plain);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

}  // namespace kestrova
