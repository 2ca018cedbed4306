// SPDX-License-Identifier: MIT
#pragma once

// The window with its seams replaced: messages are recorded (with the state the window was
// in when each was shown) instead of opening modal boxes, and ports come from the test.

#include "main_form.h"

#include "serial_port.h"

#include <QCheckBox>
#include <QLabel>
#include <QString>

#include <memory>
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
    // Handed out by the next createPort().
    std::unique_ptr<serial::SerialPort> nextPort;

    template <typename T = QWidget>
    T *control(const char *name) const
    {
        return findChild<T *>(QString::fromLatin1(name));
    }

protected:
    void showMessage(MessageKind kind, const QString &text) override
    {
        messages.push_back({kind, text, ComID, control<QCheckBox>("cbBeriEnkoder")->isChecked(),
                            control<QLabel>("pnlAbsPosDeg")->text()});
    }
    std::unique_ptr<serial::SerialPort> createPort() override { return std::move(nextPort); }
};
