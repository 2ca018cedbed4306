// SPDX-License-Identifier: MIT
#include "soak_window.h"

#include "port_lister.h"

#include <QEvent>
#include <QLabel>
#include <QTimer>

#include <algorithm>

namespace soak {

bool CountingFile::open(OpenMode mode)
{
    return m_file.open(mode) && QIODevice::open(mode);
}

void CountingFile::close()
{
    m_file.close();
    QIODevice::close();
}

qint64 CountingFile::writeData(const char *data, qint64 length)
{
    const qint64 written = m_file.write(data, length);
    if (written == length) {
        m_bytes += written;
        m_lines += QByteArray::fromRawData(data, static_cast<qsizetype>(length)).count("\r\n");
    }
    return written;
}

SoakWindow::SoakWindow(QString portPath, QString recordingFolder)
    : m_portPath(std::move(portPath)), m_recordingFolder(std::move(recordingFolder))
{
    // The window connected its handler first, so this one runs when the tick is done.
    TimerBeriEnkoder->installEventFilter(&m_tickStart);
    connect(TimerBeriEnkoder, &QTimer::timeout, this, [this] {
        if (m_tickClock.isValid())
            m_figures.longestTickMs = std::max<std::int64_t>(m_figures.longestTickMs, m_tickClock.elapsed());
    });
}

bool SoakWindow::TickStart::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::Timer)
        m_clock.start();
    return false;
}

QList<serial::PortEntry> SoakWindow::listPorts() const
{
    return serial::extraPortEntries(m_portPath);
}

std::unique_ptr<QIODevice> SoakWindow::createRecordingFile(const QString &path)
{
    auto file = std::make_unique<CountingFile>(path);
    m_recording = file.get();
    return file;
}

void SoakWindow::showMessage(MessageKind, const QString &text)
{
    ++m_messages[text];
}

bool SoakWindow::searchForEncoder()
{
    const bool found = TMainForm::searchForEncoder();
    if (found) {
        ++m_figures.reconnects;
        m_justConnected = true;
        m_decodedSinceConnect = 0;
        // The readouts were reset while the port was away.
        m_faultPending = true;
    }
    return found;
}

bool SoakWindow::referencesComplete() const
{
    for (int index = 1; index <= 7; ++index) {
        if (m_references[static_cast<std::size_t>(index)].reply.isEmpty())
            return false;
    }
    return true;
}

QStringList SoakWindow::textsFor(int index) const
{
    QStringList names = {QStringLiteral("pnlAbsPosDeg"), QStringLiteral("pnlAbsPosCnt"),
                         QStringLiteral("pnlAbsPosMT")};
    if (index == 5)
        names << QStringLiteral("lblSpeed");
    if (index == 6)
        names << QStringLiteral("lblTempAsic_C");
    if (index == 7)
        names << QStringLiteral("lblSignalLevel") << QStringLiteral("lblQuarnairGap");
    QStringList texts;
    for (const QString &name : names) {
        const auto *label = findChild<QLabel *>(name);
        texts << (label != nullptr ? label->text() : QString());
    }
    return texts;
}

void SoakWindow::DecodeResponse(int index)
{
    const QByteArray reply = RxBuffer;
    TMainForm::DecodeResponse(index);
    ++m_figures.decoded;
    ++m_decodedSinceConnect;
    if (m_justConnected) {
        m_justConnected = false;
        if (index != 1)
            ++m_figures.firstIndexNotOne;
    }
    if (index < 1 || index > 7)
        return;
    IndexReference &reference = m_references[static_cast<std::size_t>(index)];
    if (m_learning && reference.reply.isEmpty()) {
        reference = {reply, textsFor(index)};
        m_learning = !referencesComplete();
    }
    if (reference.reply.isEmpty())
        return;
    if (reply != reference.reply) {
        ++m_figures.faulty;
        m_faultPending = true;
        if (onFaultyReply)
            onFaultyReply();
        return;
    }
    ++m_figures.good;
    const QStringList shown = textsFor(index);
    const bool right = shown == reference.texts;
    if (!right) {
        ++m_figures.goodWrong;
        if (m_firstWrong.isEmpty())
            m_firstWrong = QStringLiteral("index %1: %2 instead of %3")
                               .arg(index)
                               .arg(shown.join(QStringLiteral(" | ")),
                                    reference.texts.join(QStringLiteral(" | ")));
    }
    if (m_faultPending) {
        m_faultPending = false;
        ++m_figures.recoveries;
        if (!right)
            ++m_figures.recoveriesWrong;
    }
}

} // namespace soak
