#pragma once
// The user manual, which is also the project's page until the project has a
// public web site.

#include "core/messages.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace kestrova {

// The user manual: next to the program, else in the docs folder of the
// source tree the program was built from (searched upwards from the
// program's folder). Empty when there is none.
QString HelpFilePath();

// The project's page: its section in the user manual. Empty when the
// manual is not there.
QUrl ProjectPageUrl();

// Opens the manual, or a page within it, with the desktop's program for it.
// When there is no manual, or nothing on the desktop opens it, the message
// that says where to find it by hand.
std::optional<Message> OpenHelp(const QUrl& url, const char* what);

}  // namespace kestrova
