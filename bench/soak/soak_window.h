// SPDX-License-Identifier: MIT
#pragma once

// The window as the soak drives it: it finds the encoder on one fixed path, records its messages
// instead of opening boxes, records into a folder of the soak's own through a file that counts
// what was written, and checks every painted frame against the encoder's known readings.

#include "main_form.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>

#include <array>
#include <initializer_list>
#include <optional>
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

// What the window shows for the encoder's true readings: the three position panels (the same
// for every index, since the shaft stands still) and the quantity of "s", "t" and "a".
struct ShownTexts {
    QStringList position;
    QString speed;
    QString temperature;
    QStringList signal; // level and air gap
};

struct ReplyFigures {
    std::int64_t decoded = 0;
    std::int64_t good = 0;
    std::int64_t frames = 0;        // painted frames checked against the last reply before them
    std::int64_t goodWrong = 0;     // a frame after a true reply whose readouts were not right
    std::int64_t faulty = 0;        // decoded replies that differ from the true one
    std::int64_t recoveries = 0;    // frames after the first true reply that followed a fault
    std::int64_t recoveriesWrong = 0;
    std::int64_t reconnects = 0;    // searches that found the encoder
    std::int64_t firstIndexNotOne = 0;
    std::int64_t longestTickMs = 0; // one poll tick: its poll step and its debug reading
};

class SoakWindow : public TMainForm {
public:
    SoakWindow(QString portPath, QString recordingFolder);

    QList<serial::PortEntry> listPorts() const override;

    // Takes the next decoded reply of every index as the true one, and the texts that the
    // painted frames show for them.
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
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The shown window takes replies at its painted frames: each frame is checked against the
    // last replies decoded before it.
    void checkFrame();
    QStringList texts(std::initializer_list<const char *> names) const;
    void noteWrong(const QString &what, const QStringList &shown, const QStringList &expected);
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

    QWidget *m_commLamp = nullptr;
    QString m_portPath;
    QString m_recordingFolder;
    CountingFile *m_recording = nullptr;
    QMap<QString, int> m_messages;
    // The true reply of each index, and what the frames show for them.
    std::array<QByteArray, 8> m_references;
    ShownTexts m_shown;
    bool m_textsLearned = false;
    // The last decoded reply (its index; whether it was the true one), and whether the last
    // reply of "s", "t" and "a" since the port was found was the true one (nothing: none yet).
    int m_latestIndex = 0;
    bool m_latestTrue = false;
    std::array<std::optional<bool>, 8> m_lastOfIndexTrue;
    bool m_learning = false;
    bool m_faultPending = false;
    bool m_justConnected = false;
    std::int64_t m_decodedSinceConnect = 0;
    ReplyFigures m_figures;
    QString m_firstWrong;
};

} // namespace soak
