// SPDX-License-Identifier: MIT
// The configuration commands: multiturn zero, set zero here, reset to factory, reset of the
// persistent status; and the lock that keeps the command buttons from starting a second
// sequence inside the pauses of a running one.
#include "main_form.h"

#include "ui_main_form.h"
#include "wait_ms.h"

#include "identification.h"
#include "poll_decoding.h"
#include "quarn_konstante.h"
#include "write_confirmation.h"

#include <algorithm>
#include <optional>

namespace {

// The pause between the steps of "Set zero here" and the settle time after the two resets.
constexpr int StepPauseMs = 100;
constexpr int ResetSettleMs = 500;

} // namespace

TMainForm::CommandRunGuard::CommandRunGuard(TMainForm &form) : m_form(&form), m_searchHold(form)
{
    if (form.m_commandRunDepth++ == 0) {
        form.m_commandStartedWithPort = form.ComID != -1;
        form.disableCommandButtons();
    }
}

TMainForm::CommandRunGuard::~CommandRunGuard()
{
    // The window outlives every handler, but a guard must not reach through a dangling form.
    if (m_form == nullptr)
        return;
    if (--m_form->m_commandRunDepth == 0)
        m_form->restoreCommandButtons();
}

QByteArray TMainForm::commandIdentity() const
{
    QByteArray identity = ver_header + '\0' + prebrana_serijska + '\0' + prebran_ident + '\0';
    identity.append(static_cast<char>(Firmware_Verzija_Jedra_Major));
    identity.append(static_cast<char>(Firmware_Verzija_Jedra_Minor));
    return identity;
}

void TMainForm::disableCommandButtons()
{
    m_identityAtCommandStart = commandIdentity();
    m_commandButtonStates.clear();
    const std::initializer_list<QWidget *> buttons{
        ui->btnMTzero, ui->btnSTzero, ui->btnResetFactory, ui->btnResetPersistentStatus,
        ui->btnStartSelfCal};
    // A focused button that is disabled hands the focus on along the tab order, as far as the
    // next enabled control: "Partial arc (deg)", with its text selected, where a stray key
    // changes the arc. The window itself keeps the focus meanwhile, which no key changes.
    m_commandFocus = nullptr;
    if (std::find(buttons.begin(), buttons.end(), focusWidget()) != buttons.end()) {
        m_commandFocus = focusWidget();
        setFocus(Qt::OtherFocusReason);
    }
    for (QWidget *button : buttons) {
        m_commandButtonStates.append({QPointer<QWidget>(button), button->isEnabled()});
        button->setEnabled(false);
    }
}

void TMainForm::restoreCommandButtons()
{
    // Identification sets "Reset" by the firmware; when it ran for another encoder during the
    // sequence, its decision stands instead of the state the button had before.
    const bool identityChanged = commandIdentity() != m_identityAtCommandStart;
    for (const auto &[button, enabled] : std::as_const(m_commandButtonStates)) {
        if (button == nullptr)
            continue;
        if (identityChanged && button == ui->btnResetPersistentStatus)
            button->setEnabled(Firmware_Verzija_Jedra_Minor >= quarn::PersistentStatusMinimumMinor);
        else
            button->setEnabled(enabled);
    }
    m_commandButtonStates.clear();
    // The button gets the focus back, unless the operator put it elsewhere during the run.
    const bool focusKept = focusWidget() == this || focusWidget() == nullptr;
    if (m_commandFocus != nullptr && focusKept && m_commandFocus->isEnabled()
        && m_commandFocus->isVisible())
        m_commandFocus->setFocus(Qt::OtherFocusReason);
    m_commandFocus = nullptr;
}

bool TMainForm::sendCommand(const QByteArray &request, const QString &failureText)
{
    // Nothing is awaited, so -1 cannot come back; should these commands ever await an
    // acknowledgement, its absence is reported here. -3 in a sequence that began with a port:
    // the port was lost on the way (a failed write has said so already), and nothing more goes out.
    const int result = ComTransaction(ComID, request, 0, RxBuffer);
    if (result == -1 || (result == -3 && m_commandStartedWithPort)) {
        showMessage(MessageKind::Error, failureText);
        return false;
    }
    return true;
}

void TMainForm::btnMTzeroClick()
{
    runMultiturnZero();
}

bool TMainForm::runMultiturnZero()
{
    CommandRunGuard guard(*this);
    const bool wasReading = ui->cbBeriEnkoder->isChecked();
    ui->cbBeriEnkoder->setChecked(false);
    if (!sendCommand(quarn::multiturnZeroRequest(), QStringLiteral("Set multitirn failed!")))
        return false;
    ui->cbBeriEnkoder->setChecked(wasReading);
    return true;
}

void TMainForm::btnSTzeroClick()
{
    // An error-flagged position is no place to set the zero.
    if (Encoder_Error)
        return;
    CommandRunGuard guard(*this);
    const bool wasReading = ui->cbBeriEnkoder->isChecked();
    ui->cbBeriEnkoder->setChecked(false);
    // The poll steps below must read the position. Left where an earlier sequence stopped, the
    // cycle could stand at "j", which firmware before 2.9 skips without reading anything, and
    // the zero would be set to a stale position. From the cycle's start the steps are "1", "3".
    TrenutniUkazIdx = 1;

    // A fresh template at every click: the first request always carries the argument 2.
    QByteArray zeroRequest = quarn::zeroOffsetTemplate();
    const QString zeroFailed = QStringLiteral("Set zero offset failed!");
    if (!sendCommand(zeroRequest, zeroFailed))
        return;

    // After each pause: a closing window ends the sequence where it stands.
    const auto pause = [] {
        orodja::WaitMs(StepPauseMs);
        return !orodja::applicationTerminating();
    };
    if (!pause())
        return;
    if (!runMultiturnZero())
        return;
    if (!pause())
        return;
    // The zero is set only to a position read here from a reply fit to act on: whole, with the
    // echo of its command and without the error flag. The display decodes whatever came, but a
    // failed, flagged or spoilt reading would leave ST_value stale or wrong, and "c" would save
    // it. The decoded reply is still at hand as RxBufferHex.
    const int positionIndex = quarn::pollCycleIndex(TrenutniUkazIdx);
    std::optional<quarn::PositionWord> position;
    if (BeriPozicijo())
        position = quarn::usablePosition(QByteArray::fromHex(RxBufferHex), positionIndex, pollIdentity());
    if (!position) {
        showMessage(MessageKind::Error, zeroFailed);
        ui->cbBeriEnkoder->setChecked(wasReading);
        return;
    }
    if (!pause())
        return;

    zeroRequest = quarn::zeroOffsetRequest(position->singleTurn);
    if (!sendCommand(zeroRequest, zeroFailed))
        return;

    if (!pause())
        return;
    BeriPozicijo();
    if (!pause())
        return;
    if (!runMultiturnZero())
        return;
    if (!pause())
        return;

    if (!sendCommand(quarn::saveRequest(), QStringLiteral("Value Save failed!")))
        return;

    if (!pause())
        return;
    if (!runMultiturnZero())
        return;
    ui->cbBeriEnkoder->setChecked(wasReading);
}

void TMainForm::btnResetFactoryClick()
{
    CommandRunGuard guard(*this);
    const bool wasReading = ui->cbBeriEnkoder->isChecked();
    ui->cbBeriEnkoder->setChecked(false);
    if (!sendCommand(quarn::factoryResetRequest(), QStringLiteral("Command failed!")))
        return;
    orodja::WaitMs(ResetSettleMs);
    if (orodja::applicationTerminating())
        return;
    ui->cbBeriEnkoder->setChecked(wasReading);
}

void TMainForm::btnResetPersistentStatusClick()
{
    CommandRunGuard guard(*this);
    const bool wasReading = ui->cbBeriEnkoder->isChecked();
    ui->cbBeriEnkoder->setChecked(false);
    if (!sendCommand(quarn::resetPersistentStatusRequest(), QStringLiteral("Command failed!")))
        return;
    orodja::WaitMs(ResetSettleMs);
    if (orodja::applicationTerminating())
        return;
    ui->cbBeriEnkoder->setChecked(wasReading);
}
