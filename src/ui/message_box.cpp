#include "message_box.h"

#include "core/messages.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMainWindow>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>

#include <algorithm>

namespace kestrova {

namespace {

QMessageBox::Icon IconOf(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Critical: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Exclamation: return QMessageBox::Warning;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsOf(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok: return QMessageBox::Ok;
    case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

}  // namespace

QWidget* MessageOwner() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow()) return active;
    // Without a window manager, or while another program is active, no
    // window of ours is: the box centres on the program's main window.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && qobject_cast<QMainWindow*>(window)) return window;
    }
    return nullptr;
}

MessageAnswer AskMessageBox(const Message& message) {
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(message, MessageOwner());
    switch (box->exec()) {
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    case QMessageBox::Cancel: return MessageAnswer::Cancel;
    default: break;
    }
    // Closing a box that has a Cancel button counts as Cancel.
    return message.buttons == MessageButtons::YesNoCancel || message.buttons == MessageButtons::OkCancel
               ? MessageAnswer::Cancel
               : MessageAnswer::Ok;
}

std::unique_ptr<QMessageBox> MakeMessageBox(const Message& message, QWidget* parent) {
    // Messages without a title of their own carry the program's name.
    const QString title = message.title.empty() ? QStringLiteral("Kestrova") : QString::fromStdString(message.title);
    // Program texts use CR LF; a message box wants plain line feeds.
    QString text = QString::fromStdString(message.text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto box = std::make_unique<QMessageBox>(IconOf(message.icon), title, text, ButtonsOf(message.buttons), parent);
    // A box sizes itself by its text, and a window manager cuts a title that
    // does not fit ("Comp... Error"). A spacer as wide as the title in the
    // title bar's font, plus room for the frame's own buttons, keeps the box
    // wide enough; a QMessageBox ignores a minimum width set directly.
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    int width = metrics.horizontalAdvance(title) + 3 * metrics.height() + 96;
    // Lines such as a command to type are not broken at their slashes: the
    // box is as wide as its longest line, as far as the screen allows.
    const QFontMetrics textMetrics(box->font());
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, textMetrics.horizontalAdvance(line));
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().width() * 4 / 5 : 800;
    width = std::max(width, std::min(widest + 6 * textMetrics.height(), room));
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    return box;
}

}  // namespace kestrova
