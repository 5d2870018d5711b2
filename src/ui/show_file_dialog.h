#pragma once
// File › "Make Show File...": a show file for the open project (as the
// show, or beside an idle project), saved where the user chooses, and a
// test run of it in a window that shows the runner's state and log.

#include "show/show_file.h"

#include <QDialog>
#include <QProcess>

#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QMenu;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace kestrova {

class ShowFileDialog : public QDialog {
    Q_OBJECT
public:
    using FileChooser = std::function<QString(QWidget* owner, const QString& start, bool save)>;
    // `project`: the open project's file; the show file goes beside it.
    ShowFileDialog(const QString& project, QWidget* parent = nullptr, FileChooser choose = {});

    // The show file the dialog describes, paths relative to `folder`.
    show::ShowFile Describe(const QString& folder) const;
    // Writes it to `path`; the reason when it cannot.
    bool Save(const QString& path, QString& reason) const;

    QString SavedPath() const { return saved_; }

private:
    void SaveAs();

    FileChooser choose_;
    QString project_;
    QString saved_;
    QLineEdit* idle_;
    QComboBox* order_;
    QCheckBox* key_;
    QCheckBox* osc_;
    QSpinBox* oscPort_;
    QCheckBox* http_;
    QSpinBox* httpPort_;
    QDoubleSpinBox* cooldown_;
    QDoubleSpinBox* warmUp_;
    QLineEdit* device_;
    QPushButton* testRun_;
};

// The test run: kestrova-cli run SHOWFILE as a process of its own, its log
// lines as they come, the state they tell, and buttons that trigger
// (Enter on its input) and stop it (SIGTERM, as the service manager does).
class ShowRunWindow : public QDialog {
    Q_OBJECT
public:
    ShowRunWindow(const QString& showFile, const QString& program, QWidget* parent = nullptr);
    ~ShowRunWindow() override;

    QString State() const;
    QString Log() const;

private:
    void TakeLines();

    QProcess process_;
    QByteArray partial_;
    QLabel* state_;
    QPlainTextEdit* log_;
    QPushButton* trigger_;
    QPushButton* stop_;
};

// The program that runs shows: kestrova-cli beside this program, else on the PATH.
QString RunnerProgram();

// Opens the dialog for the project (nothing when it was never saved).
void OfferShowFile(QWidget* owner, const std::string& projectFile);
// File › "Make Show File..." for the project file `projectFile` names.
void AddShowFileItem(QMenu* file, QWidget* owner, std::function<std::string()> projectFile);

}  // namespace kestrova
