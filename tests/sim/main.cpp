// SPDX-License-Identifier: MIT
// QSerialPort needs a QCoreApplication for its notifiers, even when the tests only block.

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
