// SPDX-License-Identifier: MIT
// The main of the test programs that need an application object: the window's, the fault
// tests' and the companion's. They run on the offscreen platform.

#include "wait_ms.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace {
// A test that ends the application (closing the window, quitting) must not leave the next
// test of the same process in a program that is ending.
class TerminatingFlagReset : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo &) override { orodja::setApplicationTerminating(false); }
};
} // namespace

int main(int argc, char **argv)
{
    // Also when the test list is taken at build time, where no display may exist.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new TerminatingFlagReset);
    return RUN_ALL_TESTS();
}
