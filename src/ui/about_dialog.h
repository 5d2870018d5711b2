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
    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

    // What the web site label does; tests replace these so that no sound
    // plays and no browser opens.
    struct Actions {
        std::function<void()> playStartSound;
        std::function<void(const QUrl&)> openUrl;
    };
    // Installs actions and returns the ones they replace; an empty action
    // restores the standard one (a beep for the sound "start", which the
    // platform does not name, and the desktop's web browser).
    static Actions SetActions(Actions actions);

    // "Version " + major.minor.revision of the running program.
    static QString VersionText();
    static QUrl WebSite();

public slots:
    // Plays the sound "start", then opens the maker's web site.
    void lblWebSite_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* lblWebSite_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
};

}  // namespace kestrova
