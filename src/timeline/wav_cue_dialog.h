#pragma once
// The WAV cue dialog "Add WAV": edits a working copy of the project's WAV cue
// list as text entries in a list box; only Done writes the list back.

#include "core/messages.h"
#include "core/project.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace kestrova {

namespace audio {
class SoundPlayer;
}

class frmWAV : public QDialog {
    Q_OBJECT

public:
    // A list item's data under this role is true when its cue's file is not
    // there.
    static constexpr int kMissingFileRole = Qt::UserRole + 1;

    // Chooses a WAV file to open: (parent, title, filter) -> path, empty when
    // cancelled.
    using FileChooser = std::function<QString(QWidget* parent, const QString& title, const QString& filter)>;

    // The messages about refused entries go to `messages` (without one they
    // are not shown); without a chooser Browse opens the standard open-file
    // dialog.
    explicit frmWAV(Project& project, QWidget* parent = nullptr, MessageHandler messages = {},
                    FileChooser chooseFile = {});
    ~frmWAV() override;

    // The list's entries as they stand, top to bottom.
    std::vector<std::string> Entries() const;
    // The file the last preview played (empty when none).
    QString PreviewFile() const;

public slots:
    void cmdBrowse_Click();
    void cmdPlay_Click();
    void Command1_Click();  // Add
    void Command2_Click();  // Remove
    void Command3_Click();  // Replace
    void List1_Click();
    void cmdOK_Click();     // Done

private:
    // The checks of Add and Replace; on a failure shows the message, selects
    // and focuses the named box and returns false.
    bool CheckBoxes();
    QString EntryFromBoxes() const;
    void ClearBoxes();
    void MarkModified();
    int SelectedRow() const;
    // The file a path names: absolute as it stands, relative to the project's folder.
    QString ResolveSoundFile(const QString& path) const;

    void ShowInvalidEntry(const std::string& text);

    Project& project_;
    MessageHandler messages_;
    FileChooser chooseFile_;
    QLineEdit* txtFile_ = nullptr;
    QPushButton* cmdBrowse_ = nullptr;
    QToolButton* cmdPlay_ = nullptr;
    QLineEdit* Text1_ = nullptr;
    QLineEdit* Text2_ = nullptr;
    QListWidget* List1_ = nullptr;
    QPushButton* Command1_ = nullptr;
    QPushButton* Command2_ = nullptr;
    QPushButton* Command3_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
    // Made at the first preview: its thread only when a sound is played.
    std::unique_ptr<audio::SoundPlayer> preview_;
    QString previewFile_;
    bool toldSilent_ = false;  // why a preview was not heard has been said
};

}  // namespace kestrova
