// SPDX-License-Identifier: MIT
// The window closed while a handler waits in a nested event loop: a command's pause, the
// self-calibration wait and a message box. The application runs its own loop as the program
// does, so closing the last window ends it; nothing may reach the encoder or the recording
// after the close, and the window must be destroyable afterwards.

#include "../window/test_form.h"
#include "simulated_encoder.h"
#include "wait_ms.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

namespace {

// Records every message; while `realBoxes` is set it also opens the program's real modal box,
// whose own event loop runs until the box is answered or the program ends.
class ClosingForm : public TestForm {
public:
    QString directory;
    bool realBoxes = false;
    std::function<void(const QString &)> onMessage;

protected:
    QString recordingDirectory() const override { return directory; }
    // The search opens real ports, as the program does.
    std::unique_ptr<serial::SerialPort> createPort() override
    {
        return std::make_unique<serial::QtSerialPort>();
    }
    void showMessage(MessageKind kind, const QString &text) override
    {
        TestForm::showMessage(kind, text);
        if (onMessage)
            onMessage(text);
        if (realBoxes)
            TMainForm::showMessage(kind, text);
    }
};

qsizetype fileRowCount(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().count("\r\n") - 1;
}

enum class Wait { CommandPause, SelfCalibration, MessageBox };

struct WaitCase {
    Wait wait;
    const char *name;
};

void PrintTo(const WaitCase &waitCase, std::ostream *out)
{
    *out << waitCase.name;
}

class ClosingDuringWaitTest : public ::testing::TestWithParam<WaitCase> {
protected:
    void TearDown() override { orodja::setApplicationTerminating(false); }
};

TEST_P(ClosingDuringWaitTest, EndsTheProgramAndNothingRunsOnAfterTheClose)
{
    const Wait wait = GetParam().wait;
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());

    sim::EncoderConfig config;
    config.partNumber = QByteArrayLiteral("QX105---18S-----");
    // The self-calibration never ends by itself.
    config.selfCalibration.durationMs = std::nullopt;
    sim::SimulatedEncoder encoder(config);

    auto form = std::make_unique<ClosingForm>();
    form->directory = directory.path();
    form->ports = serial::extraPortEntries(encoder.portPath());
    auto *recordBox = form->control<QCheckBox>("cbShranjujMeritveDebug");
    auto *readEncoder = form->control<QCheckBox>("cbBeriEnkoder");

    std::int64_t closedAtMs = -1;
    qsizetype rowsAtClose = -1;
    QString recordingPath;
    QElapsedTimer sinceClose;
    const auto closeWindow = [&] {
        closedAtMs = encoder.nowMs();
        if (!recordingPath.isEmpty())
            rowsAtClose = fileRowCount(recordingPath);
        sinceClose.start();
        form->close();
    };

    // What the operator does once the search has found the encoder and polling runs.
    const auto act = [&] {
        switch (wait) {
        case Wait::CommandPause:
            QTimer::singleShot(150, form.get(), closeWindow);
            form->control<QPushButton>("btnSTzero")->click();
            break;
        case Wait::SelfCalibration:
            QTimer::singleShot(700, form.get(), closeWindow);
            form->control<QPushButton>("btnStartSelfCal")->click();
            break;
        case Wait::MessageBox:
            form->realBoxes = true;
            form->onMessage = [&](const QString &text) {
                if (text == QStringLiteral("Debug data header mismatch!") && closedAtMs < 0)
                    QTimer::singleShot(150, form.get(), closeWindow);
            };
            recordBox->setVisible(true);
            recordBox->setChecked(true);
            recordingPath = form->control<QPlainTextEdit>("mmFileName")->toPlainText();
            // A few good rows, then a record the window complains about.
            QTimer::singleShot(300, form.get(), [&] { encoder.setWrongDebugHeader(true); });
            break;
        }
    };

    QTimer untilPolling;
    QObject::connect(&untilPolling, &QTimer::timeout, form.get(), [&] {
        if (!readEncoder->isChecked())
            return;
        untilPolling.stop();
        encoder.clearLog();
        act();
    });
    untilPolling.start(20);

    // Owned by the test, so that it cannot fire into a later test.
    QTimer safetyNet;
    safetyNet.setSingleShot(true);
    QObject::connect(&safetyNet, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    safetyNet.start(10000);

    form->show();
    const int exitCode = QCoreApplication::exec();
    const qint64 endedAfterCloseMs = sinceClose.isValid() ? sinceClose.elapsed() : -1;

    ASSERT_GE(closedAtMs, 0) << "the wait was never reached";
    EXPECT_EQ(exitCode, 0) << "the program did not end when its window closed";
    EXPECT_GE(endedAfterCloseMs, 0);
    EXPECT_LT(endedAfterCloseMs, 2000);

    // Whatever was in flight at the close has reached the encoder by now.
    QThread::msleep(50);
    for (const sim::LogEntry &entry : encoder.log())
        EXPECT_LE(entry.timeMs, closedAtMs) << "request after the close: " << entry.bytes.toHex().toStdString();

    if (wait == Wait::MessageBox) {
        ASSERT_FALSE(recordingPath.isEmpty());
        EXPECT_GT(rowsAtClose, 0);
        EXPECT_EQ(fileRowCount(recordingPath), rowsAtClose);
        EXPECT_EQ(form->ShraniFajl, nullptr);
        EXPECT_TRUE(form->control<QPlainTextEdit>("mmFileName")
                        ->toPlainText()
                        .contains(QStringLiteral("Record duration: ")));
    }
    // Nothing the handler does after its wait may need a message once the window is closed.
    for (const RecordedMessage &message : form->messages)
        EXPECT_EQ(message.text, QStringLiteral("Debug data header mismatch!")) << message.text.toStdString();

    form.reset();
}

INSTANTIATE_TEST_SUITE_P(Waits, ClosingDuringWaitTest,
                         ::testing::Values(WaitCase{Wait::CommandPause, "CommandPause"},
                                           WaitCase{Wait::SelfCalibration, "SelfCalibration"},
                                           WaitCase{Wait::MessageBox, "MessageBox"}),
                         [](const ::testing::TestParamInfo<WaitCase> &param) {
                             return std::string(param.param.name);
                         });

} // namespace
