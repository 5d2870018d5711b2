#pragma once
// "About Kestrova": the product, its version, the legal notice and a label
// that takes the user to the maker's web site.

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

namespace kestrova {

class frmAbout : public QDialog {
    Q_OBJECT

public:
    // What the web site label does; tests give their own so that no sound
    // plays and no browser opens. An empty action is the standard one (a
    // beep for the sound "start", which the platform does not name, and the
    // desktop's web browser).
    struct Actions {
        std::function<void()> playStartSound;
        std::function<void(const QUrl&)> openUrl;
    };

    explicit frmAbout(QWidget* parent = nullptr, Actions actions = {});
    ~frmAbout() override;

    // "Version " + major.minor.revision of the running program.
    static QString VersionText();
    // The project has no public web site yet: its page is a section of the
    // user manual. Empty when the manual is not there.
    static QUrl WebSite();
    // Says where the address leads.
    static QString WebSiteToolTip();

public slots:
    // Plays the sound "start", then opens the maker's web site.
    void lblWebSite_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Actions actions_;
    QLabel* lblWebSite_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
};

}  // namespace kestrova
