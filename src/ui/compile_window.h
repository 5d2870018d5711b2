#pragma once
// frmCompile: the small progress window a build shows, not modal, with the
// servo being compiled in its label Label1.

#include <QWidget>

#include <string>

class QLabel;

namespace kestrova {

class frmCompile : public QWidget {
    Q_OBJECT

public:
    explicit frmCompile(QWidget* owner = nullptr);

    // Shows the window and returns once it is on the screen and painted.
    void ShowPainted();
    // Sets Label1 and repaints the window at once: the build processes no events
    // while it runs.
    void SetCaption(const std::string& caption);
    QString Caption() const;

private:
    QLabel* label1_ = nullptr;
};

}  // namespace kestrova
