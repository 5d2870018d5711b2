#include "message_box.h"

#include "core/messages.h"

#include <QApplication>
#include <QMessageBox>

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

MessageAnswer Show(const Message& message) {
    // Messages without a title of their own carry the program's name.
    const QString title = message.title.empty() ? QStringLiteral("Kestrova") : QString::fromStdString(message.title);
    // Program texts use CR LF; a message box wants plain line feeds.
    QString text = QString::fromStdString(message.text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(IconOf(message.icon), title, text, ButtonsOf(message.buttons), QApplication::activeWindow());
    switch (box.exec()) {
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

}  // namespace

void InstallMessageBoxHandler() { SetMessageHandler(&Show); }

}  // namespace kestrova
