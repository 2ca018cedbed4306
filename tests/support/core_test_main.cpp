// SPDX-License-Identifier: MIT
// The main of the test programs that need no window: QSerialPort and QProcess want an
// application object for their notifiers, even where the tests only block.

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
