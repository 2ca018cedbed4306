// SPDX-License-Identifier: MIT
// A program for the kill test: the window records against a simulated encoder and prints, on
// standard output, "file <path>" when the recording starts and "row <line>" for every row as
// soon as the window has written it. The test kills it and compares the file with what it said.
//
// Usage: fault_recording_child <recording folder>

#include "main_form.h"
#include "simulated_encoder.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// Passes every write to the real file and reports each complete one.
class ReportingFile : public QIODevice {
public:
    explicit ReportingFile(const QString &path) : m_file(path) {}

    bool open(OpenMode mode) override { return m_file.open(mode) && QIODevice::open(mode); }
    void close() override
    {
        m_file.close();
        QIODevice::close();
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        const qint64 written = m_file.write(data, length);
        if (written == length) {
            QByteArray line(data, length);
            if (line.endsWith("\r\n"))
                line.chop(2);
            // The header is the file's first line; everything after it is a row.
            std::printf("%s %s\n", m_headerWritten ? "row" : "header", line.constData());
            std::fflush(stdout);
            m_headerWritten = true;
        }
        return written;
    }

private:
    QFile m_file;
    bool m_headerWritten = false;
};

class RecordingWindow : public TMainForm {
public:
    RecordingWindow(QString directory, QString portPath)
        : m_directory(std::move(directory)), m_portPath(std::move(portPath))
    {
    }

    QList<serial::PortEntry> listPorts() const override { return serial::extraPortEntries(m_portPath); }

protected:
    QString recordingDirectory() const override { return m_directory; }
    std::unique_ptr<QIODevice> createRecordingFile(const QString &path) override
    {
        std::printf("file %s\n", qPrintable(path));
        std::fflush(stdout);
        return std::make_unique<ReportingFile>(path);
    }
    void showMessage(MessageKind, const QString &text) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }

private:
    QString m_directory;
    QString m_portPath;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: fault_recording_child <recording folder>\n", stderr);
        return 2;
    }
    sim::EncoderConfig config;
    config.speedCountsPerSecond = 20000;
    sim::SimulatedEncoder encoder(config);

    RecordingWindow window(QString::fromLocal8Bit(argv[1]), encoder.portPath());
    auto *readEncoder = window.findChild<QCheckBox *>(QStringLiteral("cbBeriEnkoder"));
    auto *record = window.findChild<QCheckBox *>(QStringLiteral("cbShranjujMeritveDebug"));
    // Once the search has found the encoder, record every poll tick.
    QObject::connect(readEncoder, &QCheckBox::toggled, &window, [record](bool ticked) {
        if (ticked && !record->isChecked()) {
            record->setVisible(true);
            record->setChecked(true);
        }
    });
    window.show();
    return QApplication::exec();
}
