// SPDX-License-Identifier: MIT
// The ports run inside an application object, as in the program, so QSerialPort can set up its
// notifiers; the tests themselves never run the event loop.

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
