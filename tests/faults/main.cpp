// SPDX-License-Identifier: MIT
// Fault tests run inside one application object on the offscreen platform.

#include "wait_ms.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace {
// A test that ends the application must not leave the next test in a program that is ending.
class TerminatingFlagReset : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo &) override { orodja::setApplicationTerminating(false); }
};
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new TerminatingFlagReset);
    return RUN_ALL_TESTS();
}
