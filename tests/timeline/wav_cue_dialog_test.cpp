// The WAV cue dialog: entry texts, the checks on the three boxes, the list
// buttons and their project flags, Done, Browse through the chooser seam and
// Preview of a real file.
#include "timeline/wav_cue_dialog.h"
#include "timeline/wav_cue_entries.h"

#include "core/messages.h"
#include "support/test_files.h"

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace kestrova {
namespace {

using Entries = std::vector<std::string>;
const Entries kEmptyBoxes{"", "", ""};

WavCueList Cues(std::initializer_list<WavCue> cues) {
    WavCueList list(1);
    list.insert(list.end(), cues);
    return list;
}

// A dialog on a project, shown (not exec'd), with every message recorded.
class WavDialogTest : public ::testing::Test {
protected:
    void Open() {
        dialog_ = std::make_unique<frmWAV>(
            project_, nullptr,
            [this](const Message& m) {
                messages_.push_back(m);
                return MessageAnswer::Ok;
            },
            [this](QWidget*, const QString&, const QString&) { return chosen_; });
        dialog_->show();
    }
    template <class T> T* Get(const char* name) {
        T* widget = dialog_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QLineEdit* Box(const char* name) { return Get<QLineEdit>(name); }
    void Click(const char* name) { Get<QAbstractButton>(name)->click(); }
    void Fill(const QString& file, const QString& start, const QString& stop) {
        Box("txtFile")->setText(file);
        Box("Text1")->setText(start);
        Box("Text2")->setText(stop);
    }
    void Select(int row) {
        QListWidget* list = Get<QListWidget>("List1");
        list->setCurrentRow(row);
        emit list->itemClicked(list->item(row));
    }
    Entries BoxTexts() {
        return {Box("txtFile")->text().toStdString(), Box("Text1")->text().toStdString(),
                Box("Text2")->text().toStdString()};
    }
    // One message, nothing in the project flagged.
    void ExpectRefused(const std::string& text) {
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, text);
        EXPECT_FALSE(project_.bNeedToSave || project_.ModifiedSinceBuild);
    }

    Project project_;
    std::vector<Message> messages_;
    QString chosen_;  // what Browse's chooser answers
    std::unique_ptr<frmWAV> dialog_;
};

TEST(WavEntries, EntryTextsSplitAndRoundTripThroughCues) {
    // start, stop, path typed -> entry; splitting gives back start (with its blank), stop or "Empty", path.
    const std::array<std::string, 4> cases[] = {
        {"12", "", "C:\\a.wav", " 12\tEmpty\tC:\\a.wav"},
        {"2.5", "20", "", " 2.5\t20\t"},
        {" 3 ", "-4", "/s/a\tb.wav", "  3 \t-4\t/s/a\tb.wav"},  // the path keeps a tab of its own
    };
    for (const auto& [start, stop, path, entry] : cases) {
        EXPECT_EQ(MakeWavEntry(start, stop, path), entry);
        const WavEntryFields fields = SplitWavEntry(entry);
        EXPECT_EQ(fields.start, " " + start);
        EXPECT_EQ(fields.stop, stop.empty() ? "Empty" : stop);
        EXPECT_EQ(fields.path, path);
    }
    EXPECT_EQ(SplitWavEntry(" 1").stop, "");
    // A pasted line break never splits an entry (or a line of the project file).
    EXPECT_EQ(MakeWavEntry("1", "", "a\r\nb\nc\rd.wav"), " 1\tEmpty\ta b c d.wav");

    const WavCueList cues = Cues({{12, -1, "C:\\a.wav"}, {-3, 40, ""}, {5, 0, "/tmp/with\ttab.wav"}});
    const Entries entries = EntriesFromCues(cues);
    EXPECT_EQ(entries, (Entries{" 12\tEmpty\tC:\\a.wav", " -3\t40\t", " 5\t0\t/tmp/with\ttab.wav"}));
    EXPECT_EQ(CuesFromEntries(entries), cues);
}

TEST_F(WavDialogTest, CuesWhoseFileIsMissingAreMarked) {
    testing::TempDir dir;
    std::filesystem::create_directory(dir.Dir() / "sounds");
    const std::string chirp = dir.Write("sounds/chirp.wav", "");
    project_.sFilename = dir.Path("show.kva");
    project_.WavCues = Cues({{1, 2, "sounds/chirp.wav"}, {3, 4, "sounds/gone.wav"}, {5, 6, chirp}});
    Open();
    QListWidget* list = Get<QListWidget>("List1");
    const bool missing[] = {false, true, false};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(list->item(row)->data(frmWAV::kMissingFileRole).toBool(), missing[row]) << row;
        EXPECT_EQ(list->item(row)->toolTip().endsWith("(file not found)"), missing[row]) << row;
    }
    // A cue added for a missing file is marked at once.
    Fill(QStringLiteral("nowhere.wav"), QStringLiteral("7"), QString());
    Click("Command1");
    EXPECT_TRUE(list->item(3)->data(frmWAV::kMissingFileRole).toBool());
}

TEST_F(WavDialogTest, ChecksRefuseWithTheFirstFailureAndFocusItsBox) {
    struct Case {
        QString file, start, stop;
        std::string message;  // empty: accepted
        const char* box;
    };
    const std::string startMsg = "The Start Frame must be a numeric value.";
    const std::string endMsg = "The End Frame must be a numeric value.";
    const Case cases[] = {
        {"a.wav", "", "", startMsg, "Text1"},
        {"", "abc", "abc", startMsg, "Text1"},
        {"", "1", "abc", endMsg, "Text2"},
        {"a.wav", "1", "   ", endMsg, "Text2"},
        {"", "1", "", "The Wav File must be specified.", "txtFile"},
        {"", "1", "20", "", nullptr},         // a stop frame needs no file
        {"a.wav", " 2.5 ", "", "", nullptr},  // blanks around a number are fine
    };
    Open();
    for (const Case& c : cases) {
        const Entries typed{c.file.toStdString(), c.start.toStdString(), c.stop.toStdString()};
        SCOPED_TRACE(typed[0] + "|" + typed[1] + "|" + typed[2]);
        project_.bNeedToSave = project_.ModifiedSinceBuild = false;
        messages_.clear();
        const Entries before = dialog_->Entries();
        Fill(c.file, c.start, c.stop);
        Click("Command1");
        if (c.message.empty()) {
            EXPECT_TRUE(messages_.empty());
            ASSERT_EQ(dialog_->Entries().size(), before.size() + 1);
            EXPECT_EQ(dialog_->Entries().back(), MakeWavEntry(typed[1], typed[2], typed[0]));
            EXPECT_EQ(BoxTexts(), kEmptyBoxes);
            EXPECT_TRUE(project_.bNeedToSave && project_.ModifiedSinceBuild);
            continue;
        }
        ExpectRefused(c.message);
        EXPECT_EQ(dialog_->Entries(), before);
        QLineEdit* box = Box(c.box);
        EXPECT_EQ(dialog_->focusWidget(), box);
        EXPECT_EQ(box->selectedText(), box->text());
        EXPECT_EQ(BoxTexts(), typed) << "the boxes keep what the user typed";
    }
}

TEST_F(WavDialogTest, ReplaceAndRemoveNeedASelectionAndActOnIt) {
    project_.WavCues = Cues({{1, -1, "a.wav"}, {2, 5, "b.wav"}, {3, -1, "c.wav"}});
    Open();
    const Entries opened{" 1\tEmpty\ta.wav", " 2\t5\tb.wav", " 3\tEmpty\tc.wav"};
    EXPECT_EQ(dialog_->Entries(), opened);
    Fill("b.wav", "2", "");
    for (auto [button, message] : {std::pair{"Command2", "You must select an entry to remove."},
                                   {"Command3", "You must select an entry to replace."}}) {
        messages_.clear();
        Click(button);
        ExpectRefused(message);
        EXPECT_EQ(dialog_->Entries(), opened);
        EXPECT_EQ(BoxTexts(), (Entries{"b.wav", "2", ""}));
    }

    messages_.clear();
    Select(1);
    EXPECT_EQ(BoxTexts(), (Entries{"b.wav", "2", "5"})) << "selecting an entry fills the boxes";
    Fill("d.wav", "4.5", "");
    Click("Command3");
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(dialog_->Entries(), (Entries{" 1\tEmpty\ta.wav", " 4.5\tEmpty\td.wav", " 3\tEmpty\tc.wav"}));
    EXPECT_EQ(BoxTexts(), kEmptyBoxes);
    EXPECT_TRUE(project_.bNeedToSave && project_.ModifiedSinceBuild);

    // A refused replacement leaves the entry alone.
    project_.bNeedToSave = project_.ModifiedSinceBuild = false;
    Select(1);
    Box("Text2")->setText("x");
    Click("Command3");
    ExpectRefused("The End Frame must be a numeric value.");
    EXPECT_EQ(dialog_->Entries()[1], " 4.5\tEmpty\td.wav");

    Select(0);
    Click("Command2");
    EXPECT_EQ(dialog_->Entries(), (Entries{" 4.5\tEmpty\td.wav", " 3\tEmpty\tc.wav"}));
    EXPECT_TRUE(Get<QListWidget>("List1")->selectedItems().isEmpty()) << "a second Remove would be refused";
    EXPECT_EQ(BoxTexts(), kEmptyBoxes);
    EXPECT_TRUE(project_.bNeedToSave && project_.ModifiedSinceBuild);
}

TEST_F(WavDialogTest, DoneWritesTheListInItsOrderAndClosingKeepsTheCues) {
    project_.WavCues = Cues({{5, -1, "a.wav"}});
    Open();
    // Fractions round halves to even, blanks around a number are ignored.
    for (const auto& [file, start, stop] : {std::array<QString, 3>{"C:\\b.wav", "7", ""}, {"", " 2.5 ", " 1e1 "},
                                            {"c.wav", "13.5", "-1"}}) {
        Fill(file, start, stop);
        Click("Command1");
    }
    Click("cmdOK");
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
    EXPECT_EQ(project_.WavCues, Cues({{5, -1, "a.wav"}, {7, -1, "C:\\b.wav"}, {2, 10, ""}, {14, -1, "c.wav"}}));
    // Removing the last entry and pressing Done empties the list.
    project_.WavCues = Cues({{1, -1, "a.wav"}});
    Open();
    Select(0);
    Click("Command2");
    Click("cmdOK");
    EXPECT_EQ(UpperBound(project_.WavCues), 0);

    // Closing without Done keeps the cues but not the flags.
    project_.WavCues = Cues({{1, -1, "a.wav"}});
    project_.bNeedToSave = project_.ModifiedSinceBuild = false;
    Open();
    Fill("b.wav", "2", "");
    Click("Command1");
    dialog_->reject();
    EXPECT_EQ(project_.WavCues, Cues({{1, -1, "a.wav"}}));
    EXPECT_TRUE(project_.bNeedToSave && project_.ModifiedSinceBuild);
}

TEST_F(WavDialogTest, BrowseAsksTheChooserAndKeepsTheBoxWhenCancelled) {
    chosen_ = "/sounds/roar.wav";
    Open();
    Box("txtFile")->setText("old.wav");
    Click("cmdBrowse");
    EXPECT_EQ(Box("txtFile")->text(), QDir::toNativeSeparators("/sounds/roar.wav"));
    chosen_.clear();
    Click("cmdBrowse");
    EXPECT_EQ(Box("txtFile")->text(), QDir::toNativeSeparators("/sounds/roar.wav"));
}

TEST_F(WavDialogTest, PreviewPlaysTheNamedFileWithoutBlocking) {
    testing::TempDir dir;
    const QString wav =
        QString::fromStdString(dir.Write("beep.wav", testing::WavBytes(testing::Square(800, 10000), 8000)));
    const QString missing = QString::fromStdString(dir.Path("missing.wav"));
    project_.sFilename = dir.Path("show.kva");
    Open();
    // "beep.wav" is relative to the project's folder.
    for (auto [typed, played] : {std::pair{wav, wav}, {QString("beep.wav"), wav}, {missing, missing}, {QString(), QString()}}) {
        Box("txtFile")->setText(typed);
        Click("cmdPlay");
        QTest::qWait(50);
        EXPECT_EQ(dialog_->PreviewFile(), played) << typed.toStdString();
        EXPECT_TRUE(dialog_->isVisible());
    }
    // Nothing heard (no sound output, or the missing file) is said once.
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].title, "Sound Not Played");
}

}  // namespace
}  // namespace kestrova
