#include "about_dialog.h"

#include "help_file.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVersionNumber>

namespace kestrova {

namespace {

QLabel* MakeLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

QString frmAbout::VersionText() {
#ifdef KESTROVA_VERSION
    const QString declared = QStringLiteral(KESTROVA_VERSION);
#else
    const QString declared = QCoreApplication::applicationVersion();
#endif
    QVersionNumber version = QVersionNumber::fromString(declared);
    if (version.isNull()) version = QVersionNumber(2, 0, 0);
    return QStringLiteral("Version %1.%2.%3")
        .arg(version.majorVersion())
        .arg(version.minorVersion())
        .arg(version.microVersion());
}

QUrl frmAbout::WebSite() { return ProjectPageUrl(); }

QString frmAbout::WebSiteToolTip() {
    if (WebSite().isEmpty()) return QStringLiteral("The project has no public web site yet, and its user manual was not found");
    return QStringLiteral("The project has no public web site yet: this opens the project's page in its user manual");
}

frmAbout::frmAbout(QWidget* parent, Actions actions) : QDialog(parent), actions_(std::move(actions)) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Kestrova"));

    auto* lblProduct = MakeLabel(QStringLiteral("lblProduct"), QStringLiteral("Kestrova"), this);
    QFont productFont = lblProduct->font();
    productFont.setPointSizeF(productFont.pointSizeF() * 1.8);
    productFont.setBold(true);
    lblProduct->setFont(productFont);
    auto* lblDescription =
        MakeLabel(QStringLiteral("lblDescription"), QStringLiteral("Servo animation editor and player"), this);
    auto* lblVersion = MakeLabel(QStringLiteral("lblVersion"), VersionText(), this);
    auto* lblCopyright =
        MakeLabel(QStringLiteral("lblCopyright"), QStringLiteral("\u00A9 2026 Talvenor Electronics. All rights reserved."), this);
    auto* lblLicence = MakeLabel(
        QStringLiteral("lblLicence"),
        QStringLiteral("This program is licensed under the terms of its licence agreement and is provided "
                       "\"as is\", without warranty of any kind."),
        this);
    lblLicence->setWordWrap(true);
    QFont small = lblLicence->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    lblLicence->setFont(small);

    lblWebSite_ = MakeLabel(QStringLiteral("lblWebSite"), QStringLiteral("Kestrova project page"), this);
    QFont linkFont = lblWebSite_->font();
    linkFont.setUnderline(true);
    lblWebSite_->setFont(linkFont);
    QPalette linkPalette = lblWebSite_->palette();
    linkPalette.setColor(QPalette::WindowText, linkPalette.color(QPalette::Link));
    lblWebSite_->setPalette(linkPalette);
    lblWebSite_->setCursor(Qt::PointingHandCursor);
    lblWebSite_->setToolTip(WebSiteToolTip());
    lblWebSite_->setEnabled(!WebSite().isEmpty());
    lblWebSite_->setFocusPolicy(Qt::TabFocus);
    lblWebSite_->installEventFilter(this);

    cmdOK_ = new QPushButton(QStringLiteral("OK"), this);
    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    cmdOK_->setDefault(true);
    connect(cmdOK_, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->addWidget(lblProduct);
    layout->addWidget(lblDescription);
    layout->addWidget(lblVersion);
    layout->addSpacing(14);
    layout->addWidget(lblCopyright);
    layout->addWidget(lblLicence);
    layout->addSpacing(10);
    layout->addWidget(lblWebSite_, 0, Qt::AlignLeft);
    layout->addSpacing(10);
    layout->addLayout(buttons);
    lblLicence->setMinimumWidth(fontMetrics().averageCharWidth() * 52);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

frmAbout::~frmAbout() = default;

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblWebSite_) {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && lblWebSite_->rect().contains(mouse->position().toPoint())) {
                lblWebSite_Click();
                return true;
            }
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
                lblWebSite_Click();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::lblWebSite_Click() {
    const QUrl page = WebSite();
    if (page.isEmpty()) return;
    if (actions_.playStartSound) {
        actions_.playStartSound();
    } else {
        QApplication::beep();
    }
    if (actions_.openUrl) {
        actions_.openUrl(page);
    } else {
        QDesktopServices::openUrl(page);
    }
}

}  // namespace kestrova
