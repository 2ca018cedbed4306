// SPDX-License-Identifier: MIT
#pragma once

// A port held by a second process: the real trevisor-cli polling it, as a user's other program
// would hold an adapter. It ends when the object goes.

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

class HeldPort {
public:
    explicit HeldPort(const QString &path)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QUARN_EXTRA_PORTS"));
        process_.setProcessEnvironment(environment);
        process_.start(QStringLiteral(TREVISOR_CLI_PROGRAM),
                       {QStringLiteral("poll"), QStringLiteral("--port"), path, QStringLiteral("--baud"),
                        QStringLiteral("115200"), QStringLiteral("--interval"), QStringLiteral("100")});
        process_.waitForStarted(5000);
        // Held for sure once the first reading is out.
        QElapsedTimer waited;
        waited.start();
        while (process_.state() == QProcess::Running && !process_.canReadLine() && waited.elapsed() < 10000)
            process_.waitForReadyRead(100);
        holding_ = process_.canReadLine();
    }
    ~HeldPort()
    {
        process_.kill();
        process_.waitForFinished(5000);
    }
    HeldPort(const HeldPort &) = delete;
    HeldPort &operator=(const HeldPort &) = delete;

    bool holding() const { return holding_; }
    qint64 pid() const { return process_.processId(); }

private:
    QProcess process_;
    bool holding_ = false;
};
