// SPDX-License-Identifier: MIT
// The poll cycle: one command per tick of the poll timer, its reply decoded into the position
// fields, the readouts, the status lamps and the dial.
#include "main_form.h"

#include "angle_dial.h"
#include "colours.h"
#include "covered_window_watch.h"
#include "paint_pacer.h"
#include "ui_main_form.h"

#include "identification.h"
#include "poll_decoding.h"
#include "poll_reading.h"
#include "quarn_konstante.h"
#include "self_calibration.h"
#include "status_bits.h"

#include <QLocale>
#include <QTimer>
#include <QWindow>

#include <utility>

namespace {

// A palette change repolishes the widget; most lamps keep their colour from step to step.
void setColourIfChanged(QWidget *widget, quint32 colour)
{
    if (lampColour(widget) != colour)
        setLampColour(widget, colour);
}

} // namespace

void TMainForm::pinPollReadoutSizes()
{
    // A label whose size may change posts a layout request to its parent at every new text,
    // up to a hundred times a second while polling. These stand at fixed places in a form
    // without layouts, so a size that cannot change loses nothing and spares those events.
    const QList<QWidget *> readouts{ui->pnlAbsPosDeg,  ui->pnlAbsPosCnt,   ui->pnlAbsPosMT,
                                    ui->lblSpeed,      ui->lblTempAsic_C, ui->lblSignalLevel,
                                    ui->lblQuarnairGap, ui->lblRxBuffer1,  ui->lblRxBuffer2};
    for (QWidget *readout : readouts)
        readout->setFixedSize(readout->size());
}

void TMainForm::cbBeriEnkoderClick()
{
    TrenutniUkazIdx = 1;
    if (ui->cbBeriEnkoder->isChecked())
        TimerBeriEnkoder->start();
    else
        TimerBeriEnkoder->stop();
}

void TMainForm::TimerBeriEnkoderTimer()
{
    BeriPozicijo();
    if (ui->cbBeriDebug->isChecked() || ui->cbShranjujMeritveDebug->isChecked())
        btnDebugReadClick();
}

bool TMainForm::BeriPozicijo()
{
    const int index = quarn::pollCycleIndex(TrenutniUkazIdx);
    if (quarn::isIdlePollStep(index, Firmware_Verzija_Jedra_Minor)) {
        TrenutniUkazIdx = static_cast<quint8>(quarn::nextPollIndex(index));
        return false;
    }

    const QByteArray request(1, quarn::pollCommand(index));
    const bool decoded =
        ComTransaction(ComID, request, quarn::pollReplyLength(Multiturn, index), RxBuffer) == 0;
    if (decoded) {
        DecodeResponse(index);
    } else {
        // Unticks "Read encoder", which stops the timer and restarts the cycle at 1.
        CloseComPort();
        InitTimer->start();
    }
    // From the index as it stands now: a lost port has just set it back to 1.
    TrenutniUkazIdx = static_cast<quint8>(quarn::nextPollIndex(quarn::pollCycleIndex(TrenutniUkazIdx)));
    return decoded;
}

quarn::EncoderIdentity TMainForm::pollIdentity() const
{
    quarn::EncoderIdentity identity;
    identity.multiturn = Multiturn == 1;
    identity.resolution = {resolucija_bitov, Enkoder_CPR};
    identity.singleTurnMask = Singleturn_maska;
    identity.airGapK = AirGapK;
    identity.airGapN = AirGapN;
    return identity;
}

void TMainForm::DecodeResponse(int index)
{
    const quarn::PollReading reading = quarn::decodePollReading(RxBuffer, index, pollIdentity());
    const quarn::PositionWord &word = reading.position;
    MTST_value = word.raw;
    Encoder_Error = word.error;
    ST_value = word.singleTurn;
    MT_value = word.multiTurn;
    kot = word.kot;
    if (reading.temperature)
        Temperatura = *reading.temperature;
    if (reading.signalLevel)
        SignalLevel = quarn::storedSignalLevel(*reading.signalLevel);
    RxBufferHex = quarn::replyHex(RxBuffer);
    collectEchoLine(index);
    RxBuffer.clear();

    PendingReadouts &pending = m_pendingReadouts;
    pending.latest = reading;
    if (reading.speed)
        pending.speed = reading;
    if (reading.temperature)
        pending.temperature = reading;
    if (reading.signalLevel)
        pending.signalLevel = reading;
    if (reading.status)
        pending.status = reading;
    if (reading.persistentStatus)
        pending.persistentStatus = reading;
    if (!reading.position.error)
        pending.dialAngle = reading.position.kot;

    // A window that is not shown at all paints no frames to wait for. One that is shown but out
    // of sight (minimised, wholly covered) needs no frame until it comes back into sight, which
    // asks for one itself.
    if (!isVisible())
        showPendingReadouts();
    else if (readoutsOnScreen())
        m_paintPacer->requestFrame();
}

bool TMainForm::readoutsOnScreen() const
{
    const QWindow *window = windowHandle();
    return isVisible() && window != nullptr && window->isExposed() && !m_coveredWatch->fullyCovered();
}

void TMainForm::collectEchoLine(int index)
{
    // One echo label is on show with the last complete cycle while the other collects this one;
    // they change places once a cycle, with the reply after the cycle's last.
    m_pendingReadouts.echoShowsFirstLabel = BufDisp == 1;
    QLabel *collecting = BufDisp == 1 ? ui->lblRxBuffer2 : ui->lblRxBuffer1;
    std::optional<QString> &waiting = m_pendingReadouts.echoCycles[collecting == ui->lblRxBuffer1 ? 0 : 1];
    // The collecting label stays hidden until the cycle is complete, so it takes the cycle's
    // lines in one go then rather than a longer text at every step.
    if (index == 1)
        m_echoCollected = QString();
    else if (!m_echoCollected)
        m_echoCollected = waiting ? *waiting : collecting->text();
    // A label breaks the line at the LF alone.
    QString line = quarn::hexEchoLine(quarn::pollCommand(index), RxBuffer);
    line.replace(line.size() - 2, 2, u'\n');
    *m_echoCollected += line;
    if (index == 7) {
        if (collecting->isHidden()) {
            collecting->setText(*m_echoCollected);
            waiting.reset();
        } else {
            waiting = *m_echoCollected;
        }
        m_echoCollected.reset();
        BufDisp = BufDisp == 1 ? 2 : 1;
    }
}

void TMainForm::showPendingReadouts()
{
    PendingReadouts pending = std::exchange(m_pendingReadouts, PendingReadouts{});
    if (!pending.latest)
        return;
    const QLocale locale;

    // The communication lamp shows that replies come. Painted frames are paced, and at a poll
    // interval below the frame interval two changes within one frame would cancel out on screen,
    // so the lamp changes once its last colour has been painted: once per frame with a reply.
    // A lamp that is not on screen has no frames to wait for and follows every reply.
    if (ui->pnlComm->colourShown() || !ui->pnlComm->isVisible())
        setLampColour(ui->pnlComm, quarn::toggledCommLampColour(lampColour(ui->pnlComm)));

    // Showing a shown widget is not free: only a change of place touches the echo labels.
    QLabel *showing = pending.echoShowsFirstLabel ? ui->lblRxBuffer1 : ui->lblRxBuffer2;
    QLabel *collecting = pending.echoShowsFirstLabel ? ui->lblRxBuffer2 : ui->lblRxBuffer1;
    for (QLabel *echo : {ui->lblRxBuffer1, ui->lblRxBuffer2}) {
        if (const std::optional<QString> &cycle = pending.echoCycles[echo == ui->lblRxBuffer1 ? 0 : 1])
            echo->setText(*cycle);
    }
    if (showing->isHidden())
        showing->show();
    if (!collecting->isHidden())
        collecting->hide();

    const quarn::PositionWord &word = pending.latest->position;
    const quarn::PositionTexts texts = quarn::positionTexts(word, locale);
    ui->pnlAbsPosDeg->setText(texts.degrees);
    ui->pnlAbsPosCnt->setText(texts.counts);
    ui->pnlAbsPosMT->setText(texts.multiturn);

    // "Persistent status" chooses which of the two status words reaches the lamps.
    if (ui->cbPersistentStatus->isChecked()) {
        if (pending.persistentStatus)
            ShowStatusBits(*pending.persistentStatus->persistentStatus);
    } else if (pending.status) {
        ShowStatusBits(*pending.status->status);
    }
    if (pending.speed)
        ui->lblSpeed->setText(quarn::speedText(*pending.speed->speed, pending.speed->position.error, locale));
    if (pending.temperature)
        ui->lblTempAsic_C->setText(quarn::temperatureText(*pending.temperature->temperature));
    if (pending.signalLevel) {
        ui->lblSignalLevel->setText(quarn::signalLevelText(*pending.signalLevel->signalLevel));
        ui->lblQuarnairGap->setText(quarn::airGapText(*pending.signalLevel->airGapMicrometres, locale));
    }

    // While the encoder reports an error the dial keeps its last good pointer.
    if (pending.dialAngle)
        ui->PaintBoxKot->setAngle(*pending.dialAngle);
    setColourIfChanged(ui->pnlAbsPosDeg, quarn::anglePanelColour(word.error));
}

void TMainForm::clearLiveReadouts()
{
    m_pendingReadouts = PendingReadouts{};
    m_echoCollected.reset();
    ui->pnlAbsPosMT->setText(QStringLiteral("- - - - -"));
    ui->lblRxBuffer1->setText(QString());
    ui->lblRxBuffer2->setText(QString());
    ui->PaintBoxKot->clearReading();
    setColourIfChanged(ui->pnlAbsPosDeg, colour::White);
    // Silver, as before the first reply: no state known.
    for (QWidget *lamp : statusLampPanels()) {
        if (lamp != nullptr)
            setColourIfChanged(lamp, colour::Silver);
    }
    showSelfCalLamps(quarn::SelfCalLamps::all(colour::Silver));
}

const QList<QWidget *> &TMainForm::statusLampPanels()
{
    if (m_statusLamps.isEmpty()) {
        for (const quarn::StatusLamp &lamp : quarn::StatusLamps)
            m_statusLamps.append(findChild<QWidget *>(QString::fromLatin1(lamp.objectName)));
    }
    return m_statusLamps;
}

void TMainForm::ShowStatusBits(quint16 word)
{
    const QList<QWidget *> &panels = statusLampPanels();
    const auto colours = quarn::lampColours(word);
    for (qsizetype lamp = 0; lamp < panels.size(); ++lamp) {
        if (QWidget *panel = panels.at(lamp))
            setColourIfChanged(panel, colours.at(static_cast<std::size_t>(lamp)));
    }
}
