// main() for tests that need widgets: a QApplication on the offscreen
// platform, and a home of their own so no test touches the user's settings.
#include "support/isolated_store.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    (void)kestrova::testing::kIsolatedHome;
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
