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
    m_commLamp = findChild<QWidget *>(QStringLiteral("pnlComm"));
    m_commLamp->installEventFilter(this);
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
        // The readouts were reset while the port was away: nothing of the replies before counts.
        m_faultPending = true;
        m_latestIndex = 0;
        m_lastOfIndexTrue = {};
    }
    return found;
}

bool SoakWindow::referencesComplete() const
{
    for (int index = 1; index <= 7; ++index) {
        if (m_references[static_cast<std::size_t>(index)].isEmpty())
            return false;
    }
    return m_textsLearned;
}

QStringList SoakWindow::texts(std::initializer_list<const char *> names) const
{
    QStringList shown;
    for (const char *name : names) {
        const auto *label = findChild<QLabel *>(QString::fromLatin1(name));
        shown << (label != nullptr ? label->text() : QString());
    }
    return shown;
}

void SoakWindow::noteWrong(const QString &what, const QStringList &shown, const QStringList &expected)
{
    ++m_figures.goodWrong;
    if (m_firstWrong.isEmpty())
        m_firstWrong = QStringLiteral("%1: %2 instead of %3")
                           .arg(what, shown.join(QStringLiteral(" | ")), expected.join(QStringLiteral(" | ")));
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
    QByteArray &reference = m_references[static_cast<std::size_t>(index)];
    if (m_learning && reference.isEmpty())
        reference = reply;
    if (reference.isEmpty())
        return;
    m_latestIndex = index;
    m_latestTrue = reply == reference;
    m_lastOfIndexTrue[static_cast<std::size_t>(index)] = m_latestTrue;
    if (m_latestTrue) {
        ++m_figures.good;
    } else {
        ++m_figures.faulty;
        m_faultPending = true;
        if (onFaultyReply)
            onFaultyReply();
    }
}

bool SoakWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The communication lamp is painted in every frame that followed a reply, after the frame's
    // readouts were set.
    if (watched == m_commLamp && event->type() == QEvent::Paint)
        checkFrame();
    return TMainForm::eventFilter(watched, event);
}

void SoakWindow::checkFrame()
{
    if (m_latestIndex == 0 || !m_latestTrue)
        return;
    const QStringList position = texts({"pnlAbsPosDeg", "pnlAbsPosCnt", "pnlAbsPosMT"});
    const auto lastTrue = [this](int index) {
        const std::optional<bool> last = m_lastOfIndexTrue[static_cast<std::size_t>(index)];
        return last.has_value() && *last;
    };
    if (m_learning) {
        // The line is clean while the readings are learnt: what the frame shows is right.
        if (m_shown.position.isEmpty())
            m_shown.position = position;
        if (m_shown.speed.isEmpty() && lastTrue(5))
            m_shown.speed = texts({"lblSpeed"}).constFirst();
        if (m_shown.temperature.isEmpty() && lastTrue(6))
            m_shown.temperature = texts({"lblTempAsic_C"}).constFirst();
        if (m_shown.signal.isEmpty() && lastTrue(7))
            m_shown.signal = texts({"lblSignalLevel", "lblQuarnairGap"});
        m_textsLearned = !m_shown.position.isEmpty() && !m_shown.speed.isEmpty()
                         && !m_shown.temperature.isEmpty() && !m_shown.signal.isEmpty();
        m_learning = !referencesComplete();
        return;
    }
    if (!m_textsLearned)
        return;
    ++m_figures.frames;
    bool right = position == m_shown.position;
    if (!right)
        noteWrong(QStringLiteral("position after index %1").arg(m_latestIndex), position, m_shown.position);
    // A quantity shows its command's last reply; a true one must show the true texts.
    const struct {
        int index;
        std::initializer_list<const char *> names;
        QStringList expected;
    } quantities[] = {
        {5, {"lblSpeed"}, {m_shown.speed}},
        {6, {"lblTempAsic_C"}, {m_shown.temperature}},
        {7, {"lblSignalLevel", "lblQuarnairGap"}, m_shown.signal},
    };
    for (const auto &quantity : quantities) {
        if (!lastTrue(quantity.index))
            continue;
        const QStringList shown = texts(quantity.names);
        if (shown != quantity.expected) {
            right = false;
            noteWrong(QStringLiteral("quantity of index %1").arg(quantity.index), shown, quantity.expected);
        }
    }
    if (m_faultPending) {
        m_faultPending = false;
        ++m_figures.recoveries;
        if (!right)
            ++m_figures.recoveriesWrong;
    }
}

} // namespace soak
