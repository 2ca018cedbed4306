// SPDX-License-Identifier: MIT
// The window's side of the serial link: the transaction gate, opening and closing the port,
// and the search timer.
#include "main_form.h"

#include "colours.h"
#include "ui_main_form.h"
#include "wait_ms.h"

#include "qt_serial_port.h"
#include "serial_port.h"
#include "transaction.h"

#include <QMessageBox>
#include <QTimer>

#include <limits>

int TMainForm::ComTransaction(int port, const QByteArray &request, qint32 expectedLength,
                              QByteArray &reply)
{
    if (port == -1)
        return -3;
    // A handle other than the open port's is no port at all.
    serial::SerialPort *target = port == ComID ? m_port.get() : nullptr;
    switch (serial::runTransaction(target, request, expectedLength, reply)) {
    case serial::TransactionResult::Complete:
        return 0;
    case serial::TransactionResult::Incomplete:
        return -1;
    case serial::TransactionResult::NoPort:
        return -3;
    case serial::TransactionResult::WriteFailed:
        // Polling must be stopped and the port released before the modal box opens.
        CloseComPort();
        showMessage(MessageKind::Warning, QStringLiteral("Cable disconnected!"));
        return -3;
    }
    return -3;
}

void TMainForm::CloseComPort()
{
    // Replies still waiting for a frame are dropped with everything else that looked live.
    ui->cbBeriEnkoder->setChecked(false);
    clearLiveReadouts();

    const QString dashes = QStringLiteral("- - - - -");
    ui->lblSpeed->setText(dashes);
    ui->lblSignalLevel->setText(dashes);
    ui->lblQuarnairGap->setText(dashes);
    ui->lblTempAsic_C->setText(dashes);
    ui->pnlAbsPosDeg->setText(QStringLiteral("not connected"));
    ui->pnlAbsPosCnt->setText(dashes);
    ui->lblHeader->setText(QStringLiteral("Header: "));
    ui->lblResolucija->setText(QStringLiteral("Resolution: "));
    ui->lblAselfCalResult->setText(QStringLiteral("..."));
    ui->lblEncoderInfo->setText(QStringLiteral("Encoder information..."));
    setLampColour(ui->lblHeader, buttonFaceColour());

    if (ComID != -1 && m_port != nullptr) {
        m_port->close();
        m_port.reset();
    }
    ComID = -1;
    ui->rgBaudrate->setEnabled(true);
}

bool TMainForm::OpenComPort(const QString &path)
{
    std::unique_ptr<serial::SerialPort> port = createPort();
    if (port == nullptr) {
        m_openErrorText = QStringLiteral("No port available");
        return false;
    }
    if (m_port != nullptr) {
        m_port->close();
        m_port.reset();
        ComID = -1;
    }
    if (!port->open(path)) {
        m_openErrorText = port->errorText();
        return false;
    }
    m_openErrorText.clear();
    m_port = std::move(port);
    ComID = m_nextPortHandle;
    m_nextPortHandle = m_nextPortHandle == std::numeric_limits<int>::max() ? 1 : m_nextPortHandle + 1;
    return true;
}

std::unique_ptr<serial::SerialPort> TMainForm::createPort()
{
    return std::make_unique<serial::QtSerialPort>();
}

TMainForm::SearchHold::SearchHold(TMainForm &form) : m_form(&form)
{
    ++form.m_searchHoldDepth;
}

TMainForm::SearchHold::~SearchHold()
{
    if (m_form == nullptr || --m_form->m_searchHoldDepth > 0 || orodja::applicationTerminating())
        return;
    // A sequence that lost its port ends as a failed poll step does: "not connected", "Read
    // encoder" unticked and the search re-armed, so a returning encoder is found without a click.
    if (m_form->ComID == -1) {
        m_form->CloseComPort();
        m_form->InitTimer->start();
    }
}

void TMainForm::InitTimerTimer()
{
    InitTimer->stop();
    // A port found inside a sequence's pauses would get requests meant for the encoder it began
    // with; the sequence's end re-arms the search when it leaves no port open.
    if (m_searchHoldDepth > 0)
        return;
    const bool found = searchForEncoder();
    if (orodja::applicationTerminating())
        return;
    InitTimer->setInterval(800);
    if (!found)
        InitTimer->start();
}

void TMainForm::showMessage(MessageKind kind, const QString &text)
{
    QMessageBox box(this);
    box.setIcon(kind == MessageKind::Warning ? QMessageBox::Warning
                : kind == MessageKind::Error ? QMessageBox::Critical
                                             : QMessageBox::NoIcon);
    box.setWindowTitle(m_applicationTitle);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}
