// SPDX-License-Identifier: MIT
// The real trevisor-cli doctor against the simulator's pseudo-terminal, first held open by a
// second process, then free.

#include "held_port.h"

#include "simulated_encoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct ProgramResult {
    int exitCode = -1;
    QString out;
    QString err;
};

ProgramResult runDoctorProgram(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QUARN_EXTRA_PORTS"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TREVISOR_CLI_PROGRAM), QStringList{QStringLiteral("doctor")} + arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

TEST(DoctorProgram, NamesTheProcessThatHoldsThePortAndFindsTheEncoderOnceItIsFree)
{
    sim::SimulatedEncoder encoder;
    const QString port = encoder.portPath();
    {
        HeldPort held(port);
        ASSERT_TRUE(held.holding());
        const ProgramResult result = runDoctorProgram({QStringLiteral("--port"), port});
        EXPECT_EQ(result.exitCode, 7) << result.out.toStdString() << result.err.toStdString();
        const QString holders = QStringLiteral("  blocking holders       held open by pid %1 (trevisor-cli)").arg(held.pid());
        EXPECT_TRUE(result.out.contains(holders)) << result.out.toStdString();
        EXPECT_TRUE(result.out.contains(QStringLiteral(" -- fix: close trevisor-cli, or end it: kill %1\n").arg(held.pid())));
        EXPECT_TRUE(result.out.contains(QStringLiteral("  blocking encoder       cannot be opened: ")));
        EXPECT_TRUE(result.out.endsWith(QStringLiteral("  => blocked: fix the blocking findings\n")));

        const ProgramResult json = runDoctorProgram({QStringLiteral("--port"), port, QStringLiteral("--json")});
        EXPECT_EQ(json.exitCode, 7);
        // The port's report, then the failure as an error object.
        const QStringList lines = json.out.split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2) << json.out.toStdString();
        const QJsonObject object = QJsonDocument::fromJson(lines.at(0).toUtf8()).object();
        const QJsonObject error = QJsonDocument::fromJson(lines.at(1).toUtf8()).object();
        EXPECT_EQ(error.value(QStringLiteral("event")).toString(), QStringLiteral("error"));
        EXPECT_EQ(error.value(QStringLiteral("kind")).toString(), QStringLiteral("port-busy"));
        EXPECT_EQ(error.value(QStringLiteral("port")).toString(), port);
        EXPECT_EQ(object.value(QStringLiteral("port")).toString(), port);
        EXPECT_TRUE(object.value(QStringLiteral("blocking")).toBool());
        bool heldNamed = false;
        for (const QJsonValue &holder : object.value(QStringLiteral("holders")).toArray()) {
            heldNamed = heldNamed || (holder.toObject().value(QStringLiteral("pid")).toInteger() == held.pid()
                                      && !holder.toObject().value(QStringLiteral("servesPty")).toBool());
        }
        EXPECT_TRUE(heldNamed) << json.out.toStdString();
    }

    const ProgramResult free = runDoctorProgram({QStringLiteral("--port"), port});
    EXPECT_EQ(free.exitCode, 0) << free.out.toStdString() << free.err.toStdString();
    EXPECT_TRUE(free.out.contains(QStringLiteral("  ok       holders       no other program has it open")))
        << free.out.toStdString();
    EXPECT_TRUE(free.out.contains(QStringLiteral("  ok       encoder       a Quarn-2 answered at 115200 baud")));

    // --baud has no place here: the doctor tries every rate, and its help does not offer it.
    EXPECT_EQ(runDoctorProgram({QStringLiteral("--port"), port, QStringLiteral("--baud"), QStringLiteral("115200")})
                  .exitCode,
              2);
    const ProgramResult help = runDoctorProgram({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--port"))) << help.out.toStdString();
    EXPECT_FALSE(help.out.contains(QStringLiteral("--baud"))) << help.out.toStdString();
}

} // namespace
