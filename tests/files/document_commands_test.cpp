// The document commands against a scripted window, on files in a temporary
// folder and a store of the test's own.
#include "core/cue_path.h"
#include "files/document_commands.h"
#include "files/kva_writer.h"
#include "files/recent_files.h"
#include "files/safe_file.h"
#include "files/settings_store.h"
#include "support/isolated_store.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

using namespace kestrova;
namespace fs = std::filesystem;

namespace {

struct ScriptedWindow : DocumentView {
    std::deque<std::string> openAnswers, saveAnswers;
    std::function<MessageAnswer(const Message&)> ask;
    std::string caption;
    bool saveEnabled = false;
    int commApplied = 0;
    RecentFilesList recent;

    std::string AskOpenFileName() override { return Next(openAnswers); }
    std::string AskSaveFileName() override { return Next(saveAnswers); }
    MessageAnswer Ask(const Message& question) override { return ask(question); }
    void SetCaption(const std::string& c) override { caption = c; }
    void SetSaveEnabled(bool e) override { saveEnabled = e; }
    void ServosReset() override {}
    void ProgramsReplaced() override {}
    void ApplyCommSettings() override { ++commApplied; }
    void UpdateServoSettings() override {}
    void AddRecentFile(const std::string& path) override { (void)recent.AddMenuItem(path); }
    void UpdateEditCommands() override {}

    static std::string Next(std::deque<std::string>& answers) {
        if (answers.empty()) return {};
        std::string a = answers.front();
        answers.pop_front();
        return a;
    }
};

class DocumentTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        files_ = kestrova::testing::MakeTempDir("docs");
        window_.ask = [this](const Message& m) {
            asked_.push_back(m);
            return answer_;
        };
        window_.recent.RegKey = kProgramKey;
        window_.recent.Location = store_;
        window_.recent.MaxItems = 5;
        ASSERT_TRUE(Done(commands_.NewFile()));
    }
    void TearDown() override {
        fs::remove_all(files_);
        StoreTest::TearDown();
    }
    std::string File(const std::string& name) const { return files_ + "/" + name; }
    void Modify() { project_.Programs[0] = "Wait 5\r\n", project_.bNeedToSave = project_.ModifiedSinceBuild = true; }

    std::string files_;
    Project project_;
    ScriptedWindow window_;
    DocumentCommands commands_{project_, window_};
    // Records the messages a command returns after the questions it asked.
    bool Done(const CommandResult& result) {
        asked_.insert(asked_.end(), result.messages.begin(), result.messages.end());
        return result.done;
    }
    MessageAnswer answer_ = MessageAnswer::No;  // to "Save Changes?"; every message is recorded
    std::vector<Message> asked_;
};

TEST_F(DocumentTest, StateTableOfTheCommands) {
    EXPECT_EQ(window_.caption, "Kestrova v2 - [Untitled1]");
    EXPECT_FALSE(window_.saveEnabled);

    // Save As to a path: name, caption, Save enabled, flag cleared, recent list.
    Modify();
    project_.Built = true;
    window_.saveAnswers = {File("walk")};
    ASSERT_TRUE(Done(commands_.Save()));
    EXPECT_EQ(project_.sFilename, File("walk.kva")) << "the extension is added";
    EXPECT_EQ(window_.caption, "Kestrova v2 - [" + File("walk.kva") + "]");
    EXPECT_TRUE(window_.saveEnabled);
    EXPECT_FALSE(project_.bNeedToSave);
    EXPECT_TRUE(project_.Built && project_.ModifiedSinceBuild) << "a save leaves the build flags";
    EXPECT_EQ(window_.recent.Items(), (std::vector<std::string>{File("walk.kva")}));

    // New: the next Untitled, Save disabled again, flags cleared.
    ASSERT_TRUE(Done(commands_.NewFile()));
    EXPECT_EQ(project_.sFilename, "Untitled2");
    EXPECT_FALSE(window_.saveEnabled);
    EXPECT_FALSE(project_.Built || project_.ModifiedSinceBuild || project_.bNeedToSave);
    EXPECT_TRUE(project_.Programs[0].empty());

    // Open: the file's programs, flags cleared, settings applied, recent list.
    project_.Built = true;
    ASSERT_TRUE(Done(commands_.OpenFile(File("walk.kva"))));
    EXPECT_EQ(project_.Programs[0], "Wait 5\r\n");
    EXPECT_FALSE(project_.Built || project_.ModifiedSinceBuild || project_.bNeedToSave);
    EXPECT_TRUE(window_.saveEnabled);
    EXPECT_GT(window_.commApplied, 0);
}

TEST_F(DocumentTest, SaveChangesQuestionAndItsAnswers) {
    Modify();
    answer_ = MessageAnswer::Cancel;
    EXPECT_FALSE(Done(commands_.NewFile()));
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].text, "\"Untitled1\" has been modified.  Save the changes?");
    EXPECT_EQ(project_.sFilename, "Untitled1");
    EXPECT_TRUE(project_.bNeedToSave);

    // Yes, and the Save As dialog cancelled: the command is abandoned, the work stays.
    answer_ = MessageAnswer::Yes;
    EXPECT_FALSE(Done(commands_.NewFile()));
    EXPECT_EQ(project_.Programs[0], "Wait 5\r\n");
    EXPECT_FALSE(Done(commands_.QueryClose()));

    // No: the changes are dropped on purpose.
    answer_ = MessageAnswer::No;
    EXPECT_TRUE(Done(commands_.NewFile()));
    EXPECT_TRUE(project_.Programs[0].empty());

    // A saved file is named by its full path.
    window_.saveAnswers = {File("a.kva")};
    Modify();
    ASSERT_TRUE(Done(commands_.SaveAs()));
    Modify();
    asked_.clear();
    answer_ = MessageAnswer::Yes;
    EXPECT_TRUE(Done(commands_.QueryClose()));
    EXPECT_EQ(asked_[0].text, "\"" + File("a.kva") + "\" has been modified.  Save the changes?");
    EXPECT_FALSE(project_.bNeedToSave) << "Yes saved to the path";
}

TEST_F(DocumentTest, FailuresKeepTheWork) {
    // "Save Changes?" answered Yes with a save that fails: the reason comes
    // back with the abandoned command, and nothing changes.
    Modify();
    answer_ = MessageAnswer::Yes;
    window_.saveAnswers = {File("missing/folder/x.kva")};
    EXPECT_FALSE(Done(commands_.NewFile()));
    ASSERT_EQ(asked_.size(), 2u);
    EXPECT_EQ(asked_[1].title, "Save Error");
    EXPECT_EQ(asked_[1].text, "The animation could not be saved to " + File("missing/folder/x.kva") +
                                  ": No such file or directory");
    EXPECT_EQ(project_.Programs[0], "Wait 5\r\n");
    EXPECT_EQ(project_.sFilename, "Untitled1");
    EXPECT_TRUE(project_.bNeedToSave);
    EXPECT_TRUE(window_.recent.Items().empty());

    // A program the file could not give back is not saved over the old file.
    std::ofstream(File("kept.kva"), std::ios::binary) << "old";
    project_.Programs[1] = "Wait 1\r\n]\r\nServo2.Name=Injected";
    window_.saveAnswers = {File("kept.kva")};
    EXPECT_FALSE(Done(commands_.SaveAs()));
    EXPECT_EQ(asked_.back().title, "Save Error");
    EXPECT_TRUE(asked_.back().text.starts_with("The animation could not be saved to " + File("kept.kva") +
                                               ": Line 2 of the program of servo 2"));
    std::string bytes, reason;
    EXPECT_TRUE(ReadFileBytes(File("kept.kva"), bytes, reason) && bytes == "old" && project_.sFilename == "Untitled1");
    project_.Programs[1].clear();

    // A file that cannot be read (here a folder) leaves the document exactly as it was.
    answer_ = MessageAnswer::No;
    EXPECT_FALSE(Done(commands_.OpenFile(files_)));
    EXPECT_EQ(asked_.back().title, "Open Error");
    EXPECT_EQ(asked_.back().text, "The animation " + files_ + " could not be opened: Is a directory");
    EXPECT_EQ(project_.Programs[0], "Wait 5\r\n");
    EXPECT_EQ(window_.caption, "Kestrova v2 - [Untitled1]");

    // A severe load problem leaves name and flags.
    std::ofstream(File("broken.kva"), std::ios::binary) << "Servo1.Program=[Wait 1\r\n";
    EXPECT_FALSE(Done(commands_.OpenFile(File("broken.kva"))));
    EXPECT_EQ(asked_.back().title, "Severe Load Problem");
    EXPECT_TRUE(project_.bNeedToSave);
    EXPECT_EQ(project_.sFilename, "Untitled1");
}

TEST_F(DocumentTest, RecentListRules) {
    const RecentFilesList& recent = window_.recent;
    for (int i = 1; i <= 6; ++i) ASSERT_FALSE(recent.AddMenuItem("/p/f" + std::to_string(i) + ".kva"));
    EXPECT_EQ(recent.Items(),
              (std::vector<std::string>{"/p/f6.kva", "/p/f5.kva", "/p/f4.kva", "/p/f3.kva", "/p/f2.kva"}));
    // Item 3 again: to the top; 1 and 2 move down, 4 and 5 stay.
    ASSERT_FALSE(recent.AddMenuItem("/p/f4.kva"));
    EXPECT_EQ(recent.Items(),
              (std::vector<std::string>{"/p/f4.kva", "/p/f6.kva", "/p/f5.kva", "/p/f3.kva", "/p/f2.kva"}));
    // Differing only in case: the stored entry moves up with its stored text.
    ASSERT_FALSE(recent.AddMenuItem("/P/F3.KVA"));
    EXPECT_EQ(recent.Items()[0], "/p/f3.kva");
    EXPECT_EQ(recent.Items().size(), 5u);
    // Names that are not UTF-8 come back as the same bytes, and two that
    // differ in one such byte stay two entries.
    const std::string latin1 = "/p/caf\xe9.kva", other = "/p/caf\xe8.kva";
    ASSERT_FALSE(recent.AddMenuItem(latin1));
    ASSERT_FALSE(recent.AddMenuItem(other));
    EXPECT_EQ(recent.Items()[0], other);
    EXPECT_EQ(recent.Items()[1], latin1);

    // Open from a caption: everything after the first blank.
    ASSERT_EQ(Done(commands_.OpenRecent("&2 " + File("none here.kva"))), false);
    EXPECT_EQ(asked_.back().text.rfind("The animation " + File("none here.kva"), 0), 0u);
}

// Save As into another folder keeps each relative cue naming its file.
TEST_F(DocumentTest, SaveAsKeepsRelativeCuePathsPointingAtTheirFiles) {
    fs::create_directories(File("show/sounds"));
    fs::create_directories(File("elsewhere"));
    std::ofstream(File("show/sounds/chirp.wav")) << "RIFF";
    window_.saveAnswers = {File("show/a.kva")};
    ASSERT_TRUE(Done(commands_.SaveAs()));
    const struct {
        std::string target;
        std::string path;  // the cue's path afterwards
    } cases[] = {
        {File("show/b.kva"), "sounds/chirp.wav"},
        {File("show/sounds/c.kva"), "chirp.wav"},
        {File("show/d.kva"), "sounds/chirp.wav"},
        {File("elsewhere/e.kva"), File("show/sounds/chirp.wav")},
    };
    project_.WavCues = {{}, {1, 5, "sounds/chirp.wav"}, {2, 3, "/abs/x.wav"}, {4, 0, ""}};
    for (const auto& c : cases) {
        window_.saveAnswers = {c.target};
        ASSERT_TRUE(Done(commands_.SaveAs())) << c.target;
        EXPECT_EQ(project_.WavCues[1].Path, c.path) << c.target;
        EXPECT_EQ(project_.WavCues[2].Path, "/abs/x.wav");
        EXPECT_EQ(project_.WavCues[3].Path, "");
        EXPECT_TRUE(fs::exists(ResolveCuePath(project_.WavCues[1].Path, ProjectFolder(c.target)))) << c.target;
    }
    // A failed save changes nothing.
    window_.saveAnswers = {File("missing/folder/f.kva")};
    EXPECT_FALSE(Done(commands_.SaveAs()));
    EXPECT_EQ(project_.WavCues[1].Path, File("show/sounds/chirp.wav"));
}

}  // namespace
