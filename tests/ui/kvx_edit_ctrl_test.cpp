#include "ui/kvx_edit_ctrl.h"

#include "ui/recording.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace kestrova;

TEST(KvxEditCtrl, OffsetsCountALineBreakAndACharacterAsOne) {
    struct Case {
        std::string text;
        int32_t start, end;
        std::string selected;
    };
    const Case cases[] = {
        {"a\r\n\r\nMove 5", 3, 7, "Move"},
        // A character outside the BMP is one offset, as the compiler counts.
        {"\xF0\x9F\x98\x80 x\r\nMov 300, 1", 8, 11, "300"},
        {"Wait 3", 5, 99, "3"},  // beyond the end means the end
    };
    for (const Case& c : cases) {
        KvxEditCtrl editor;
        editor.SetText(c.text);
        editor.SetSel(c.start, c.end);
        EXPECT_EQ(editor.textCursor().selectedText().toStdString(), c.selected) << c.text;
        int32_t start = -1, end = -1;
        editor.GetSel(start, end);
        EXPECT_EQ(start, c.start) << c.text;
        EXPECT_EQ(end, std::min(c.end, editor.Length())) << c.text;
    }
}

TEST(KvxEditCtrl, KeepsTheBoundProgramEqualToItsTextWithCrLf) {
    std::string program = "Mov 10, 5\nWait 3\rWait 4";
    KvxEditCtrl editor;
    editor.BindProgram(&program);
    // Every line break the editor shows is a CR LF in the model.
    EXPECT_EQ(program, "Mov 10, 5\r\nWait 3\r\nWait 4");
    EXPECT_EQ(editor.Length(), 23);

    QSignalSpy changes(&editor, &KvxEditCtrl::Change);
    editor.SetSel(editor.Length(), editor.Length());
    QTest::keyClick(&editor, Qt::Key_Return);
    QTest::keyClicks(&editor, "Mov 1, 2");
    // The model catches up when read, not on every keystroke.
    EXPECT_TRUE(editor.HasPendingText());
    editor.CommitText();
    EXPECT_EQ(program, "Mov 10, 5\r\nWait 3\r\nWait 4\r\nMov 1, 2");
    EXPECT_EQ(changes.count(), 9);

    // A load shows the model's new text without a change notification.
    program = "Wait 1\r\n";
    editor.ReloadFromProgram();
    EXPECT_EQ(editor.toPlainText(), "Wait 1\n");
    EXPECT_EQ(changes.count(), 9);
    EXPECT_FALSE(editor.document()->isUndoAvailable());

    editor.ReplaceSel(1, "Mov 2, 2\r\n");
    EXPECT_EQ(editor.Text(), "Mov 2, 2\r\nWait 1\r\n");
    EXPECT_EQ(changes.count(), 10);
    editor.undo();
    EXPECT_EQ(editor.Text(), "Wait 1\r\n");
    EXPECT_EQ(program, "Wait 1\r\n");
}
