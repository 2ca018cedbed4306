// SPDX-License-Identifier: MIT
// Finding the encoder: the search over the listed ports and the seven baud rates, and the
// identification that each attempt runs.
#include "main_form.h"

#include "colours.h"
#include "paint_pacer.h"
#include "ui_main_form.h"
#include "wait_ms.h"

#include "identification.h"
#include "open_failure.h"
#include "port_search.h"
#include "quarn_konstante.h"

#include <QAbstractButton>
#include <QBrush>
#include <QListWidget>

#include <optional>

// Forwards every operation to the window's port slot. Opening fills the slot with a new port
// and handle (ComID); closing empties it. When something else has closed the window's port
// meanwhile (CloseComPort after a failed write), the operations fail quietly, as on a closed port.
class TMainForm::SearchPort final : public serial::SerialPort {
public:
    explicit SearchPort(TMainForm &form) : m_form(form) {}

    bool open(const QString &path) override
    {
        m_form.ComID = -1;
        return m_form.OpenComPort(path);
    }
    bool isOpen() const override { return port() != nullptr && port()->isOpen(); }
    bool configure(qint32 baudRate) override { return port() != nullptr && port()->configure(baudRate); }
    void purge() override
    {
        if (port() != nullptr)
            port()->purge();
    }
    bool writeByte(char byte) override { return port() != nullptr && port()->writeByte(byte); }
    qint64 bytesWaiting() override { return port() != nullptr ? port()->bytesWaiting() : 0; }
    bool waitForInput(int timeoutMs) override
    {
        return port() != nullptr && port()->waitForInput(timeoutMs);
    }
    QByteArray read(qint64 maxBytes) override
    {
        return port() != nullptr ? port()->read(maxBytes) : QByteArray();
    }
    void close() override
    {
        if (m_form.m_port != nullptr) {
            m_form.m_port->close();
            m_form.m_port.reset();
        }
        m_form.ComID = -1;
    }
    QString errorText() const override
    {
        return port() != nullptr ? port()->errorText() : m_form.m_openErrorText;
    }

private:
    serial::SerialPort *port() const { return m_form.m_port.get(); }

    TMainForm &m_form;
};

QList<serial::PortEntry> TMainForm::listPorts() const
{
    return serial::listPorts();
}

bool TMainForm::searchForEncoder()
{
    prebrana_serijska.clear();
    resolucija_bitov = quarn::StartupResolution.bits;
    Enkoder_CPR = quarn::StartupResolution.countsPerTurn;

    const QList<serial::PortEntry> ports = listPorts();
    ui->listCom->clear();
    for (const serial::PortEntry &entry : ports)
        ui->listCom->addItem(serial::portItemText(entry));
    m_paintPacer->repaintNow(ui->listCom);

    serial::PortSearchHooks hooks;
    hooks.makePort = [this](const serial::PortEntry &) {
        return std::make_unique<SearchPort>(*this);
    };
    hooks.portSelected = [this](int portIndex) {
        ui->listCom->setCurrentRow(portIndex);
        m_paintPacer->repaintNow(ui->listCom);
    };
    hooks.openFailed = [this, &ports](int portIndex, const QString &errorText) {
        // The first thing a Linux user meets is a port they may not open: say why on its item,
        // without stopping the search.
        QListWidgetItem *item = ui->listCom->item(portIndex);
        const QString &path = ports.at(portIndex).path;
        const std::optional<doctor::Finding> why = doctor::openFailureFinding({}, doctor::currentUser(), path);
        item->setToolTip(path + QStringLiteral(": ") + errorText
                         + (why ? u'\n' + doctor::adviceLine(*why) : QString()));
        item->setForeground(QBrush(alertTextOn(ui->listCom->palette().color(QPalette::Base))));
    };
    hooks.rateSelected = [this](int, int rateIndex) {
        if (QAbstractButton *item = ui->rgBaudrateButtons->button(rateIndex))
            item->setChecked(true);
        m_paintPacer->repaintNow(ui->rgBaudrate);
    };
    hooks.identify = [this](serial::SerialPort &, int, int) { return BeriVerzijo(); };
    hooks.portReleased = [this](int) {
        ui->listCom->setCurrentRow(-1);
        m_paintPacer->repaintNow(ui->listCom);
    };
    hooks.shouldStop = [] { return orodja::applicationTerminating(); };

    const serial::PortSearchResult result = serial::searchPorts(ports, hooks);
    if (result.outcome != serial::PortSearchOutcome::Found)
        return false;
    ui->cbBeriEnkoder->setChecked(true);
    return true;
}

bool TMainForm::BeriVerzijo()
{
    prebrana_serijska.clear();
    if (ComTransaction(ComID, QByteArray(1, quarn::cmd::Identify), quarn::IdentifyReplyLength,
                       RxBuffer)
        != 0)
        return false;
    const std::optional<quarn::EncoderIdentity> identity =
        quarn::parseIdentification(RxBuffer, {resolucija_bitov, Enkoder_CPR});
    if (!identity)
        return false;

    ver_header = identity->header;
    prebrana_serijska = identity->serialNumber;
    prebran_ident = identity->partNumber;
    Firmware_Verzija_Jedra_Major = identity->firmwareMajor;
    Firmware_Verzija_Jedra_Minor = identity->firmwareMinor;
    Firmware_Verzija_Protokola = identity->protocolVersion;
    Firmware_Verzija_Jedra_Revision = identity->firmwareRevision;
    RxBuffer.clear();

    resolucija_bitov = identity->resolution.bits;
    Enkoder_CPR = identity->resolution.countsPerTurn;
    Multiturn = identity->multiturn ? 1 : 0;
    ui->pnlAbsPosMT->setVisible(identity->multiturn);
    ui->btnMTzero->setVisible(identity->multiturn);
    Singleturn_maska = identity->singleTurnMask;

    ui->lblHeader->setText(quarn::headerText(*identity));
    setLampColour(ui->lblHeader, colour::Green);
    // The two lines are separated by CR LF; a label breaks the line at the LF alone.
    ui->lblEncoderInfo->setText(
        quarn::encoderInfoText(*identity).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    ui->lblResolucija->setText(quarn::resolutionText(resolucija_bitov));

    PremerKodeRinga = identity->ringDiameterMm;
    EncDolzinaKode = identity->codeLength;
    AirGapK = identity->airGapK;
    AirGapN = identity->airGapN;

    const bool persistentStatus = identity->persistentStatusSupported;
    ui->seSelfCalTimeout->setEnabled(persistentStatus);
    ui->cbPersistentStatus->setChecked(persistentStatus);
    ui->cbPersistentStatus->setEnabled(persistentStatus);
    ui->btnResetPersistentStatus->setEnabled(persistentStatus);
    return true;
}
