// SPDX-License-Identifier: MIT
#pragma once

// The program's one window: every control, the two timers that drive the encoder link, and
// all program state as fields. Computations on bytes live in src/protocol/; this class wires
// their results to the controls.

#include <QByteArray>
#include <QMargins>
#include <QSize>
#include <QString>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include "port_lister.h"
#include "debug_record.h"
#include "poll_reading.h"

#include <QDateTime>
#include <QIODevice>

#include <array>
#include <memory>
#include <optional>

class CoveredWindowWatch;
class PaintPacer;
class QScrollArea;
class QTimer;

namespace Ui {
class TMainForm;
}

namespace serial {
class SerialPort;
}

namespace quarn {
struct SelfCalLamps;
class SelfCalStatusConfirmation;
}

class TMainForm : public QWidget {
    Q_OBJECT
public:
    enum class MessageKind { Warning, Error, Information };

    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // --- Serial link -------------------------------------------------------------------------
    // Handle of the open port, -1 when none is open.
    int ComID = -1;
    // Reply of the current transaction, shared by most exchanges.
    QByteArray RxBuffer;
    // The last decoded poll reply as hexadecimal text.
    QByteArray RxBufferHex;

    // Stops polling, resets the read-outs to "not connected" and closes the port.
    void CloseComPort();
    // Creates a port, opens `path` and makes it the window's port with a new handle in ComID.
    // An already open port is closed first. False when the port cannot be created or opened.
    bool OpenComPort(const QString &path);
    // The open port, for configuring it during the search; null when none is open.
    serial::SerialPort *openPort() const { return m_port.get(); }

    // --- Encoder identity ----------------------------------------------------------------------
    QByteArray ver_header;
    QByteArray prebrana_serijska;
    QByteArray prebran_ident;
    quint8 Firmware_Verzija_Jedra_Major = 0;
    quint8 Firmware_Verzija_Jedra_Minor = 0;
    quint8 Firmware_Verzija_Protokola = 0;
    quint32 Firmware_Verzija_Jedra_Revision = 0;
    quint8 resolucija_bitov = 0;
    qint32 Enkoder_CPR = 1;
    quint8 Multiturn = 0;
    quint32 Singleturn_maska = 0;
    float PremerKodeRinga = 0.0F;
    qint32 EncDolzinaKode = 0;
    float AirGapK = 0.0F;
    float AirGapN = 0.0F;

    // --- Poll cycle ------------------------------------------------------------------------------
    quint8 TrenutniUkazIdx = 0;
    quint8 BufDisp = 0;
    qint64 MTST_value = 0;
    qint32 ST_value = 0;
    qint16 MT_value = 0;
    bool Encoder_Error = false;
    float kot = 0.0F;
    qint8 Temperatura = 0;
    quint16 SignalLevel = 0;

    // One poll step; true when its reply came whole and was decoded.
    bool BeriPozicijo();

    // --- Port discovery and identification (discovery.cpp) -----------------------------------
    // Asks the encoder on the open port who it is. True when a Quarn-2 answered: its identity is
    // then in the fields above, in the three identity labels and in the controls that depend on
    // the turn type and the firmware.
    bool BeriVerzijo();
    // The ports the search walks, in order: QUARN_EXTRA_PORTS, then the system's serial ports.
    virtual QList<serial::PortEntry> listPorts() const;

    // --- Configuration commands and self-calibration (commands.cpp, self_calibration_run.cpp) -
    // "Multiturn 0", "Set zero here", "Reset to Factory" and "Reset" (beside "Persistent status").
    void btnMTzeroClick();
    void btnSTzeroClick();
    void btnResetFactoryClick();
    void btnResetPersistentStatusClick();
    // "Start Self-Cal": runs the encoder's self-calibration and reports its outcome.
    void btnStartSelfCalClick();

    // --- Diagnostics: debug record, harmonics, recording (diagnostics.cpp) -------------------
    // "Unlock": opens the encoder's debug mode.
    void btnDebugUnlockClick();
    // "Read": reads and shows the debug record; also run by the poll tick.
    void btnDebugReadClick();
    // DebugSamples and the decoded fields of the last debug record read; kept after a failed
    // reading.
    quarn::DebugRecord DebugData;
    // The recording file, open exactly while a recording runs, and the clock reading taken
    // right after its header was written.
    std::unique_ptr<QIODevice> ShraniFajl;
    qint64 ShraniStart = 0;

    // --- Timers ----------------------------------------------------------------------------------
    // Port search at start-up and after a lost connection.
    QTimer *InitTimer = nullptr;
    // One poll step per tick while "Read encoder" is ticked.
    QTimer *TimerBeriEnkoder = nullptr;

protected:
    // Sends `request` on the port `port` (always ComID) and collects `expectedLength` bytes of
    // reply within 300 ms. 0: complete; -1: fewer bytes came (reply holds them); -3: no port,
    // or the write failed (the port is then closed and "Cable disconnected!" shown), reply
    // unchanged.
    int ComTransaction(int port, const QByteArray &request, qint32 expectedLength,
                       QByteArray &reply);

    // Every message box of the program: modal, one OK button.
    virtual void showMessage(MessageKind kind, const QString &text);
    // A new, closed port object of the platform's kind.
    virtual std::unique_ptr<serial::SerialPort> createPort();
    // The port search run by InitTimer; true when an encoder answered and polling started.
    virtual bool searchForEncoder();

    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

    // The part of the screen the window may take: the available area of the screen it is on
    // (without panels and docks); empty when there is no screen.
    virtual QRect availableScreenArea() const;

private:
    // --- Serial link: private (serial_link.cpp) ------------------------------------------------
    // While one exists no port search runs: an operator sequence (a command, the
    // self-calibration, the debug unlock or reading) talks only to the encoder it began with.
    // The outermost one leaves the window waiting to search when the port is gone by then.
    class SearchHold {
    public:
        explicit SearchHold(TMainForm &form);
        ~SearchHold();
        SearchHold(const SearchHold &) = delete;
        SearchHold &operator=(const SearchHold &) = delete;

    private:
        QPointer<TMainForm> m_form;
    };
    int m_searchHoldDepth = 0;

    void FormCreate();
    void FormClose();
    void FormDestroy();
    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    // Shows the part of the layout of size `layoutSize` (from its top-left corner) with the
    // window's frame placed at `framePosition`, both kept within the screen: the client area is
    // the layout's size where that fits, and the window scrolls where it does not.
    void showLayoutPart(QSize layoutSize, QPoint framePosition);
    // The frame the window manager draws around the window; none until one did.
    QMargins windowFrameMargins() const;
    // Where the window's outer top-left corner is, frame included.
    QPoint framePosition() const;
    void seDelayChange();
    void InitTimerTimer();
    void TimerBeriEnkoderTimer();
    void cbShranjujMeritveDebugClick();

    // --- Port discovery and identification: private (discovery.cpp) --------------------------
    // The port handed to the search: it opens, uses and closes the window's own port, so that
    // ComTransaction and CloseComPort act on the port being tried.
    class SearchPort;
    // Why the last OpenComPort failed.
    QString m_openErrorText;

    // --- Poll cycle: private (poll_cycle.cpp) --------------------------------------------------
    // "Read encoder" ticked or unticked: the cycle restarts at its first command.
    void cbBeriEnkoderClick();
    // Lights the fourteen status lamps for a status word.
    void ShowStatusBits(quint16 word);
    // Keeps the readouts the poll step writes from asking their parents to lay out again.
    void pinPollReadoutSizes();
    QList<QWidget *> m_statusLamps;
    // The fourteen status lamps, in the order of the status word's lamp table.
    const QList<QWidget *> &statusLampPanels();
    // The echo lines of the cycle in progress, ahead of the hidden label that collects them;
    // none while that label's text is up to date.
    std::optional<QString> m_echoCollected;
    // Adds the reply's line to the echo of the cycle in progress.
    void collectEchoLine(int index);
    // What the replies since the readouts were last brought up to date hold for them: the
    // latest reading of each kind. The readouts, lamps, dial and echo take them once a painted
    // frame (or at once while the window is not shown at all): a reading replaced before the
    // next frame would never be seen.
    struct PendingReadouts {
        std::optional<quarn::PollReading> latest; // every reply carries the position
        std::optional<quarn::PollReading> speed;
        std::optional<quarn::PollReading> temperature;
        std::optional<quarn::PollReading> signalLevel;
        std::optional<quarn::PollReading> status;
        std::optional<quarn::PollReading> persistentStatus;
        // The angle of the latest reply without the error flag: the dial keeps the last good
        // pointer, also when a flagged reply follows it within the frame.
        std::optional<float> dialAngle;
        // The echo label on show with the latest reply.
        bool echoShowsFirstLabel = false;
        // Per echo label (lblRxBuffer1 first), the cycle it completed last while it was still on
        // show: the window was out of sight, or no frame had changed the labels' places yet. The
        // label takes it at the next frame in sight, so that a window no one sees repaints no
        // echo.
        std::array<std::optional<QString>, 2> echoCycles;
    };
    PendingReadouts m_pendingReadouts;
    // Brings the readouts, lamps, dial and echo up to date with the pending readings.
    void showPendingReadouts();
    // Without a port nothing may look like a reading: the turns, the lamps, the dial's pointer
    // and the echo are cleared with the readouts.
    void clearLiveReadouts();
    // The identified encoder as the poll decoding needs it: turn type, resolution, mask and
    // air-gap coefficients.
    quarn::EncoderIdentity pollIdentity() const;
protected:
    // Decodes the reply of poll index 1 to 7 in RxBuffer into the fields, and the controls
    // take it at the next painted frame. Virtual so that a benchmark can time it.
    virtual void DecodeResponse(int index);
    // Whether the window can be seen: shown, not minimised or otherwise hidden by the window
    // system, and not wholly covered by other windows. Held-back readings are shown only then.
    virtual bool readoutsOnScreen() const;
private Q_SLOTS:
    void on_cbBeriEnkoder_toggled(bool) { cbBeriEnkoderClick(); }
private:

    // --- Commands and self-calibration: private (commands.cpp, self_calibration_run.cpp) -------
    // While one exists the command buttons are disabled, so that no second sequence can start
    // inside the pauses of the first; the outermost one gives them back their states.
    class CommandRunGuard {
    public:
        explicit CommandRunGuard(TMainForm &form);
        ~CommandRunGuard();
        CommandRunGuard(const CommandRunGuard &) = delete;
        CommandRunGuard &operator=(const CommandRunGuard &) = delete;

    private:
        QPointer<TMainForm> m_form;
        SearchHold m_searchHold;
    };
    void disableCommandButtons();
    void restoreCommandButtons();
    QByteArray commandIdentity() const;
    // Sends a request that awaits no reply; false (after the error box) when it went unanswered
    // or the port the sequence began with is gone.
    bool sendCommand(const QByteArray &request, const QString &failureText);
    // "Multiturn 0"; false when its request failed.
    bool runMultiturnZero();
    // Reads the self-calibration status until two replies agree (a few requests at most);
    // nothing when they never did or the port is gone.
    std::optional<QByteArray> readConfirmedSelfCalStatus(quarn::SelfCalStatusConfirmation &reads);
    // Colours the seven lamps of the self-calibration status.
    void showSelfCalLamps(const quarn::SelfCalLamps &lamps);
    int m_commandRunDepth = 0;
    // Whether the outermost sequence began with a port open: only then does a request that finds
    // no port mean that the encoder was lost midway.
    bool m_commandStartedWithPort = false;
    QList<std::pair<QPointer<QWidget>, bool>> m_commandButtonStates;
    // The command button that had the focus when the outermost run began; it gets it back.
    QPointer<QWidget> m_commandFocus;
    // The identified encoder when the outermost run began: "Reset" follows the firmware when
    // another encoder was identified during the run.
    QByteArray m_identityAtCommandStart;
private Q_SLOTS:
    // Connected by name when the form is set up. A click that reaches a button while a
    // sequence runs (identification may enable "Reset" meanwhile) starts nothing.
    void on_btnMTzero_clicked() { if (m_commandRunDepth == 0) btnMTzeroClick(); }
    void on_btnSTzero_clicked() { if (m_commandRunDepth == 0) btnSTzeroClick(); }
    void on_btnResetFactory_clicked() { if (m_commandRunDepth == 0) btnResetFactoryClick(); }
    void on_btnResetPersistentStatus_clicked()
    {
        if (m_commandRunDepth == 0)
            btnResetPersistentStatusClick();
    }
    void on_btnStartSelfCal_clicked() { if (m_commandRunDepth == 0) btnStartSelfCalClick(); }
private:

    // --- Diagnostics: private (diagnostics.cpp) --------------------------------------------------
protected:
    // Where recordings are written: the program's directory when a file can be created there,
    // otherwise the user's documents folder.
    virtual QString recordingDirectory() const;
    // A monotonic clock in milliseconds for the recording's time column and its duration.
    virtual qint64 recordingClockMs() const;
    // The local date and time that names a new recording.
    virtual QDateTime recordingStartTime() const;
    // A new, closed file object for the recording at `path`.
    virtual std::unique_ptr<QIODevice> createRecordingFile(const QString &path);
private Q_SLOTS:
    void on_btnDebugUnlock_clicked() { btnDebugUnlockClick(); }
    void on_btnDebugRead_clicked() { btnDebugReadClick(); }
private:
    // The three bars of the harmonic analysis for the current DebugData.
    void AnalyzeCodeHarmonics();
    // Shows DebugData on the chart and in the code label.
    void showDebugRecord();
    // Appends one row for DebugData to the open recording; a write error stops the recording.
    void writeRecordingRow();
    void startRecording();
    void stopRecording();
    // Set while a debug reading runs: its message box keeps the event loop going, and a poll
    // tick meanwhile must not start another reading.
    bool m_debugReadingActive = false;
    // The recording's full file name, for its error messages.
    QString m_recordingPath;

    std::unique_ptr<Ui::TMainForm> ui;
    std::unique_ptr<serial::SerialPort> m_port;
    int m_nextPortHandle = 1;
    // The layout's caption without the version: the title of the message boxes.
    QString m_applicationTitle;
    // Paints the port and rate being tried at once during the search, frame or no frame.
    PaintPacer *m_paintPacer = nullptr;
    // Whether other windows cover this one wholly, so that nothing of it can be seen.
    CoveredWindowWatch *m_coveredWatch = nullptr;
    // The widget that received the key press being handled, so that the same press travelling
    // up to the parents is not taken twice.
    QPointer<QWidget> m_keyReceiver;

    // The form's controls stand on m_layoutArea, which scrolls in m_scrollArea where the screen is
    // too small for the part of the layout on show (m_layoutSize).
    QScrollArea *m_scrollArea = nullptr;
    QWidget *m_layoutArea = nullptr;
    QSize m_layoutSize;
    // Where the frame was last asked to go, and with which frame: the window is fitted again
    // when the window manager's frame turns out different.
    QPoint m_framePosition;
    QSize m_fittedFrame;
};
