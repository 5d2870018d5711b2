#pragma once
// The user manual, which is also the project's page until the project has a
// public web site.

#include <QString>
#include <QUrl>

namespace kestrova {

// The user manual: next to the program, else in the docs folder of the
// source tree the program was built from (searched upwards from the
// program's folder). Empty when there is none.
QString HelpFilePath();

// The project's page: its section in the user manual. Empty when the
// manual is not there.
QUrl ProjectPageUrl();

}  // namespace kestrova
