#include "ui/recording.h"

#include "core/messages.h"
#include "ui/kvx_edit_ctrl.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace kestrova;

TEST(InsertInstructionLine, PlacesTheLineByTheCaret) {
    struct Case {
        const char* what;
        std::string text;
        int32_t caret;
        std::string expected;
    };
    const std::string two = "Mov 10, 5\r\nWait 3\r\n";
    const Case cases[] = {
        {"empty text", "", 0, "Mov 200, 7\r\n"},
        {"caret at the end of the first line", two, 9, "Mov 10, 5\r\nMov 200, 7\r\nWait 3\r\n"},
        {"caret at the start of the second line", two, 10, "Mov 10, 5\r\nMov 200, 7\r\nWait 3\r\n"},
        {"caret at the end of the text", two, 17, two + "Mov 200, 7\r\n"},
        {"last line without a line break", "Mov 10, 5", 9, "Mov 10, 5\r\nMov 200, 7\r\n"},
        {"caret at the very start", two, 0, two + "\r\nMov 200, 7\r\n"},
        {"caret at the very start, no line break", "Wait 3", 0, "Wait 3\r\nMov 200, 7\r\n"},
    };
    for (const Case& c : cases) {
        KvxEditCtrl editor;
        editor.SetText(c.text);
        editor.SetSel(c.caret, c.caret);
        InsertInstructionLine(editor, MovLine(200, 7));
        EXPECT_EQ(editor.Text(), c.expected) << c.what;
        int32_t start = 0, end = 0;
        editor.GetSel(start, end);
        EXPECT_TRUE(start == editor.Length() && end == start) << c.what << ": the caret ends at the end";
    }
}

TEST(FramesPrompt, AcceptsOnlyWholeFrameCountsOfOneOrMore) {
    struct Case {
        const char* entry;
        bool accepted;
        int32_t answer;
    };
    const Case cases[] = {
        {"2.5", true, 2},   {"3.5", true, 4},    {" 7 ", true, 7},  {"0", false, -1},
        {"abc", false, -1}, {"", false, -1},     {"0.4", false, -1}, {"1e10", false, -1},
    };
    for (const Case& c : cases) {
        std::vector<Message> shown;
        frmTime prompt(nullptr, [&](const Message& m) {
            shown.push_back(m);
            return MessageAnswer::Ok;
        });
        prompt.show();
        prompt.Text1()->setText(QString::fromLatin1(c.entry));
        QTest::mouseClick(prompt.findChild<QPushButton*>("Command1"), Qt::LeftButton);
        EXPECT_EQ(prompt.Answer(), c.answer) << c.entry;
        EXPECT_EQ(prompt.result() == QDialog::Accepted, c.accepted) << c.entry;
        EXPECT_EQ(prompt.isVisible(), !c.accepted) << c.entry;
        if (c.accepted) {
            EXPECT_TRUE(shown.empty()) << c.entry;
        } else {
            ASSERT_EQ(shown.size(), 1u) << c.entry;
            EXPECT_EQ(shown[0].text, "Invalid Frame Amount");
            EXPECT_EQ(prompt.Text1()->selectedText(), prompt.Text1()->text()) << c.entry;
        }
    }
}

TEST(FramesPrompt, EveryWayOutButOkAnswersCancel) {
    const std::function<void(frmTime&)> ways[] = {
        [](frmTime& p) { QTest::mouseClick(p.findChild<QPushButton*>("cmdCancel"), Qt::LeftButton); },
        [](frmTime& p) { p.close(); },
        [](frmTime& p) { QTest::keyClick(&p, Qt::Key_Escape); },
    };
    for (const auto& leave : ways) {
        frmTime prompt;
        prompt.show();
        prompt.Text1()->setText("5");
        leave(prompt);
        EXPECT_FALSE(prompt.isVisible());
        EXPECT_EQ(prompt.Answer(), -1);
    }
}
