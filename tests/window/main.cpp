// SPDX-License-Identifier: MIT
// Window tests run inside one application object on the offscreen platform.

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Also when the test list is taken at build time, where no display may exist.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
