// main() for tests that need widgets: a QApplication on the offscreen
// platform, and a home of their own so no test touches the user's settings.
//
// Qt's warnings about an object used from a thread it does not live on
// ("Timers cannot be stopped from another thread", "Cannot create children
// for a parent that is in a different thread", ...) are faults of the code
// under test: they fail the test that caused them.
#include "support/isolated_store.h"

#include <QApplication>
#include <QString>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QtMessageHandler qtHandler = nullptr;

void FailOnWrongThread(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const bool wrongThread =
        message.contains(QLatin1String("another thread")) || message.contains(QLatin1String("different thread"));
    if (type != QtDebugMsg && type != QtInfoMsg && wrongThread) ADD_FAILURE() << "Qt: " << message.toStdString();
    if (qtHandler) qtHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    (void)kestrova::testing::kIsolatedHome;
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qtHandler = qInstallMessageHandler(FailOnWrongThread);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
