// SPDX-License-Identifier: MIT
#pragma once

// The window as the soak drives it: it finds the encoder on one fixed path, records its messages
// instead of opening boxes, records into a folder of the soak's own through a file that counts
// what was written, and checks every decoded reply against the encoder's known readings.

#include "main_form.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>

namespace soak {

// Passes writes to the real file and counts the bytes and lines that reached it whole.
class CountingFile : public QIODevice {
public:
    explicit CountingFile(const QString &path) : m_file(path) {}

    bool open(OpenMode mode) override;
    void close() override;

    QString path() const { return m_file.fileName(); }
    std::int64_t bytesWritten() const { return m_bytes; }
    std::int64_t linesWritten() const { return m_lines; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override;

private:
    QFile m_file;
    std::int64_t m_bytes = 0;
    std::int64_t m_lines = 0;
};

// What one poll index shows when its reply is the encoder's true one.
struct IndexReference {
    QByteArray reply;
    QStringList texts;
};

struct ReplyFigures {
    std::int64_t decoded = 0;
    std::int64_t good = 0;
    std::int64_t goodWrong = 0;     // a true reply whose readouts were not right
    std::int64_t faulty = 0;        // decoded replies that differ from the true one
    std::int64_t recoveries = 0;    // true replies that followed a fault
    std::int64_t recoveriesWrong = 0;
    std::int64_t reconnects = 0;    // searches that found the encoder
    std::int64_t firstIndexNotOne = 0;
    std::int64_t longestTickMs = 0; // one poll tick: its poll step and its debug reading
};

class SoakWindow : public TMainForm {
public:
    SoakWindow(QString portPath, QString recordingFolder);

    QList<serial::PortEntry> listPorts() const override;

    // Takes the next decoded reply of every index as the true one, with the texts it shows.
    void learnReferences() { m_learning = true; }
    bool referencesComplete() const;
    // A fault happened outside the decoder (the port was lost): the next true reply must put
    // the readouts right again.
    void noteFault() { m_faultPending = true; }

    const ReplyFigures &figures() const { return m_figures; }
    std::int64_t decodedSinceConnect() const { return m_decodedSinceConnect; }
    const QMap<QString, int> &messages() const { return m_messages; }
    CountingFile *recording() const { return m_recording; }
    QString firstWrongText() const { return m_firstWrong; }
    // Called with every decoded reply that differed from the true one.
    std::function<void()> onFaultyReply;

protected:
    QString recordingDirectory() const override { return m_recordingFolder; }
    std::unique_ptr<QIODevice> createRecordingFile(const QString &path) override;
    void showMessage(MessageKind kind, const QString &text) override;
    bool searchForEncoder() override;
    void DecodeResponse(int index) override;

private:
    QStringList textsFor(int index) const;
    // Starts the clock of a poll tick before the window's own handler runs.
    class TickStart : public QObject {
    public:
        explicit TickStart(QElapsedTimer &clock) : m_clock(clock) {}

    protected:
        bool eventFilter(QObject *, QEvent *event) override;

    private:
        QElapsedTimer &m_clock;
    };
    QElapsedTimer m_tickClock;
    TickStart m_tickStart{m_tickClock};

    QString m_portPath;
    QString m_recordingFolder;
    CountingFile *m_recording = nullptr;
    QMap<QString, int> m_messages;
    std::array<IndexReference, 8> m_references;
    bool m_learning = false;
    bool m_faultPending = false;
    bool m_justConnected = false;
    std::int64_t m_decodedSinceConnect = 0;
    ReplyFigures m_figures;
    QString m_firstWrong;
};

} // namespace soak
