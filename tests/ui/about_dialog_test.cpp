// The about box: version text, and the web site label playing the sound
// before opening the address.
#include "ui/about_dialog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace kestrova {
namespace {

TEST(AboutBox, VersionIsMajorMinorRevision) {
    const QString saved = QCoreApplication::applicationVersion();
    for (auto [declared, shown] : {std::pair{"", "Version 2.0.0"}, {"2.1", "Version 2.1.0"}, {"3.4.5", "Version 3.4.5"},
                                   {"not a version", "Version 2.0.0"}}) {
        QCoreApplication::setApplicationVersion(QString::fromLatin1(declared));
        EXPECT_EQ(frmAbout::VersionText(), shown) << declared;
    }
    QCoreApplication::setApplicationVersion(saved);
}

TEST(AboutBox, ShowsTheVersionAndTheWebSiteLabelPlaysStartThenOpensTheAddress) {
    std::vector<std::string> calls;
    frmAbout about(nullptr, {[&] { calls.push_back("sound"); },
                             [&](const QUrl& url) { calls.push_back(url.toString().toStdString()); }});
    about.show();
    EXPECT_EQ(about.findChild<QLabel*>("lblVersion")->text(), frmAbout::VersionText());
    QLabel* label = about.findChild<QLabel*>("lblWebSite");
    ASSERT_NE(label, nullptr);
    // No placeholder address: the project's page in the manual of this tree.
    const QUrl page = frmAbout::WebSite();
    ASSERT_TRUE(page.isLocalFile()) << page.toString().toStdString();
    EXPECT_TRUE(QFileInfo::exists(page.toLocalFile()));
    QTest::mouseClick(label, Qt::LeftButton);
    EXPECT_EQ(calls, (std::vector<std::string>{"sound", page.toString().toStdString()}));
    // The right button and a press that ends outside the label do nothing.
    QTest::mouseClick(label, Qt::RightButton);
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(-5, -5));
    EXPECT_EQ(calls.size(), 2u);
    // The label also answers the keyboard.
    QTest::keyClick(label, Qt::Key_Space);
    EXPECT_EQ(calls.size(), 4u);
}

}  // namespace
}  // namespace kestrova
