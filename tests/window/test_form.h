// SPDX-License-Identifier: MIT
#pragma once

// The window with its seams replaced: messages are recorded (with the state the window was
// in when each was shown) instead of opening modal boxes, and ports come from the test.

#include "main_form.h"

#include "identification.h"
#include "qt_serial_port.h"
#include "quarn_konstante.h"
#include "serial_port.h"
#include "wait_for.h"
#include "wait_ms.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct RecordedMessage {
    TMainForm::MessageKind kind;
    QString text;
    // The window's state at the moment the message was shown.
    int comId;
    bool readEncoderTicked;
    QString degreesPanelText;
};

class TestForm : public TMainForm {
public:
    using TMainForm::ComTransaction;

    std::vector<RecordedMessage> messages;
    // False: the window system hides the shown window, as when it is minimised.
    bool canBeSeen = true;
    // Handed out by the next createPort().
    std::unique_ptr<serial::SerialPort> nextPort;
    // The ports the search walks: none unless the test gives some, so that no test depends on
    // the serial ports of the machine it runs on.
    QList<serial::PortEntry> ports;
    QList<serial::PortEntry> listPorts() const override { return ports; }
    // The screen area the window keeps to from its first size change on: large enough for the
    // whole layout unless the test makes it smaller (the offscreen platform's screen is 800 x 600).
    QRect screenArea{0, 0, 1600, 1000};

    template <typename T = QWidget>
    T *control(const char *name) const
    {
        return findChild<T *>(QString::fromLatin1(name));
    }

    // Opens `path` (a simulator's pseudo-terminal) as a real port at `baudRate`, as discovery
    // would leave it. False when it does not open.
    bool openRealPort(const QString &path, qint32 baudRate = 115200)
    {
        nextPort = std::make_unique<serial::QtSerialPort>();
        return OpenComPort(path) && openPort()->configure(baudRate);
    }
    // Identifies the open port's encoder as the search does, filling the identity fields.
    bool identifyOpenEncoder() { return BeriVerzijo(); }

protected:
    void showMessage(MessageKind kind, const QString &text) override
    {
        messages.push_back({kind, text, ComID, control<QCheckBox>("cbBeriEnkoder")->isChecked(),
                            control<QLabel>("pnlAbsPosDeg")->text()});
    }
    std::unique_ptr<serial::SerialPort> createPort() override { return std::move(nextPort); }
    bool readoutsOnScreen() const override { return canBeSeen && TMainForm::readoutsOnScreen(); }
    QRect availableScreenArea() const override { return screenArea; }
};
