// SPDX-License-Identifier: MIT
#include "reading_format.h"

#include "output.h"

#include "status_bits.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

namespace cli {

namespace {

// Text output is for people and scripts alike: no group separators, "." as decimal point.
const QLocale &plainLocale()
{
    static const QLocale locale = [] {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::OmitGroupSeparator);
        return c;
    }();
    return locale;
}

QString statusText(const char *label, std::uint16_t word)
{
    QString text = QStringLiteral("%1: 0x%2").arg(QLatin1String(label)).arg(word, 4, 16, QLatin1Char('0'));
    const QStringList names = statusBitNames(word);
    if (!names.isEmpty())
        text += QStringLiteral(" (") + names.join(QStringLiteral(", ")) + u')';
    return text;
}

QString latin1(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

} // namespace

QString firmwareText(const quarn::EncoderIdentity &identity)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(identity.firmwareMajor)
        .arg(identity.firmwareMinor)
        .arg(identity.protocolVersion)
        .arg(identity.firmwareRevision);
}

QJsonObject identityJson(const quarn::EncoderIdentity &identity, const QString &port, qint32 baudRate)
{
    return QJsonObject{
        {QStringLiteral("event"), QStringLiteral("identity")},
        {QStringLiteral("port"), port},
        {QStringLiteral("baudRate"), baudRate},
        {QStringLiteral("header"), latin1(identity.header)},
        {QStringLiteral("partNumber"), latin1(identity.partNumber)},
        {QStringLiteral("serialNumber"), latin1(identity.serialNumber)},
        {QStringLiteral("firmware"), firmwareText(identity)},
        {QStringLiteral("firmwareMajor"), identity.firmwareMajor},
        {QStringLiteral("firmwareMinor"), identity.firmwareMinor},
        {QStringLiteral("protocolVersion"), identity.protocolVersion},
        {QStringLiteral("firmwareRevision"), static_cast<qint64>(identity.firmwareRevision)},
        {QStringLiteral("resolutionBits"), identity.resolution.bits},
        {QStringLiteral("countsPerTurn"), identity.resolution.countsPerTurn},
        {QStringLiteral("multiturn"), identity.multiturn},
        {QStringLiteral("ringDiameterMm"), floatAsDouble(identity.ringDiameterMm)},
        {QStringLiteral("codeLength"), identity.codeLength},
        {QStringLiteral("persistentStatusSupported"), identity.persistentStatusSupported},
    };
}

QStringList identityLines(const quarn::EncoderIdentity &identity, const QString &port, qint32 baudRate)
{
    return {
        QStringLiteral("Port: %1 at %2 baud").arg(port).arg(baudRate),
        quarn::headerText(identity),
        QStringLiteral("Part number: ") + latin1(identity.partNumber),
        QStringLiteral("Serial number: ") + latin1(identity.serialNumber),
        QStringLiteral("Firmware: ") + firmwareText(identity)
            + QStringLiteral(" (core major.minor, protocol, revision)"),
        quarn::resolutionText(identity.resolution.bits),
        QStringLiteral("Counts per turn: %1").arg(identity.resolution.countsPerTurn),
        QStringLiteral("Turn type: ")
            + (identity.multiturn ? QStringLiteral("multiturn") : QStringLiteral("single-turn")),
        QStringLiteral("Ring diameter: ") + floatText(identity.ringDiameterMm) + QStringLiteral(" mm"),
        QStringLiteral("Code length: %1").arg(identity.codeLength),
    };
}

QStringList statusBitNames(std::uint16_t word)
{
    QStringList names;
    for (const quarn::StatusLamp &lamp : quarn::StatusLamps) {
        if ((word >> lamp.bit) & 1u)
            names.append(QString::fromLatin1(lamp.caption));
    }
    return names;
}

QJsonObject pollReadingJson(const quarn::PollReading &reading, qint64 timeMs, const QByteArray &reply)
{
    const quarn::PositionWord &word = reading.position;
    // A reading that carries the encoder's error flag has no position: null, never a number.
    const auto position = [&word](QJsonValue value) { return word.error ? QJsonValue() : value; };
    const auto statusObject = [](const std::optional<std::uint16_t> &status) {
        if (!status)
            return QJsonValue();
        return QJsonValue(QJsonObject{{QStringLiteral("word"), *status},
                                      {QStringLiteral("bits"), QJsonArray::fromStringList(statusBitNames(*status))}});
    };
    const auto optional = [](const auto &value) { return value ? QJsonValue(*value) : QJsonValue(); };
    // Every reading has every key, so that a script finds each in the same place.
    return QJsonObject{
        {QStringLiteral("event"), QStringLiteral("reading")},
        {QStringLiteral("timeMs"), timeMs},
        {QStringLiteral("command"), QString(QLatin1Char(reading.command))},
        {QStringLiteral("counts"), position(word.singleTurn)},
        {QStringLiteral("degrees"), position(word.angleDegrees)},
        {QStringLiteral("turns"), position(word.multiTurn)},
        {QStringLiteral("error"), word.error},
        {QStringLiteral("status"), statusObject(reading.status)},
        {QStringLiteral("persistentStatus"), statusObject(reading.persistentStatus)},
        // The window hides the speed while the position carries the error flag.
        {QStringLiteral("speedRaw"), reading.speed && !word.error ? QJsonValue(*reading.speed) : QJsonValue()},
        {QStringLiteral("temperatureC"), reading.temperature ? QJsonValue(int{*reading.temperature}) : QJsonValue()},
        {QStringLiteral("signalLevel"), optional(reading.signalLevel)},
        {QStringLiteral("airGapUm"), reading.airGapMicrometres ? QJsonValue(std::nearbyint(*reading.airGapMicrometres))
                                                               : QJsonValue()},
        {QStringLiteral("reply"), QString::fromLatin1(quarn::replyHex(reply))},
        {QStringLiteral("fault"), QJsonValue()},
    };
}

QJsonObject pollFaultJson(char command, qint64 timeMs, const QByteArray &reply, const QString &fault)
{
    quarn::PollReading none;
    none.command = command;
    QJsonObject object = pollReadingJson(none, timeMs, reply);
    for (const char *key : {"counts", "degrees", "turns", "error", "status", "persistentStatus", "speedRaw",
                            "temperatureC", "signalLevel", "airGapUm"})
        object.insert(QLatin1String(key), QJsonValue());
    object.insert(QStringLiteral("fault"), fault);
    return object;
}

QString pollReadingText(const quarn::PollReading &reading, qint64 timeMs)
{
    const quarn::PositionTexts texts = quarn::positionTexts(reading.position, plainLocale());
    QString line = QStringLiteral("%1 ms  %2  counts %3  angle %4  turns %5  %6")
                       .arg(timeMs)
                       .arg(QLatin1Char(reading.command))
                       .arg(texts.counts, texts.degrees, texts.multiturn,
                            reading.position.error ? QStringLiteral("ERROR") : QStringLiteral("ok"));
    if (reading.status)
        line += QStringLiteral("  ") + statusText("Status", *reading.status);
    if (reading.persistentStatus)
        line += QStringLiteral("  ") + statusText("Persistent status", *reading.persistentStatus);
    if (reading.speed)
        line += QStringLiteral("  ") + quarn::speedText(*reading.speed, reading.position.error, plainLocale());
    if (reading.temperature)
        line += QStringLiteral("  ") + quarn::temperatureText(*reading.temperature);
    if (reading.signalLevel)
        line += QStringLiteral("  ") + quarn::signalLevelText(*reading.signalLevel);
    if (reading.airGapMicrometres)
        line += QStringLiteral("  ") + quarn::airGapText(*reading.airGapMicrometres, plainLocale());
    return line;
}

QString pollFaultText(char command, qint64 timeMs, const QString &fault)
{
    return QStringLiteral("%1 ms  %2  FAULT: %3").arg(timeMs).arg(QLatin1Char(command)).arg(fault);
}

QString pollCsvHeader()
{
    return QStringLiteral("Time(UTC);Elapsed(ms);Command;Reply(hex);Turns;Counts;Angle(deg);Error;Status;"
                          "PersistentStatus;Speed(raw);Temperature(C);Signal;AirGap(um);Fault");
}

namespace {

QString csvRow(const QString &time, qint64 timeMs, char command, const QByteArray &reply, const QStringList &values,
               const QString &fault)
{
    QString safeFault = fault;
    safeFault.replace(u';', u',');
    return (QStringList{time, QString::number(timeMs), QString(QLatin1Char(command)),
                        QString::fromLatin1(quarn::replyHex(reply))}
            + values + QStringList{safeFault})
        .join(u';');
}

} // namespace

QString pollCsvRow(const quarn::PollReading &reading, qint64 timeMs, const QByteArray &reply, const QString &time)
{
    const quarn::PositionWord &word = reading.position;
    // No numbers for a position that carries the error flag; the angle with the window's two decimals.
    const auto position = [&word](const QString &text) { return word.error ? QString() : text; };
    const QStringList values{
        position(QString::number(word.multiTurn)),
        position(QString::number(word.singleTurn)),
        position(QString::number(std::nearbyint(word.angleDegrees * 100.0) / 100.0 + 0.0, 'f', 2)),
        word.error ? QStringLiteral("1") : QStringLiteral("0"),
        reading.status ? QString::number(*reading.status) : QString(),
        reading.persistentStatus ? QString::number(*reading.persistentStatus) : QString(),
        reading.speed && !word.error ? QString::number(*reading.speed) : QString(),
        reading.temperature ? QString::number(*reading.temperature) : QString(),
        reading.signalLevel ? QString::number(*reading.signalLevel) : QString(),
        reading.airGapMicrometres ? QString::number(std::nearbyint(*reading.airGapMicrometres), 'f', 0) : QString(),
    };
    return csvRow(time, timeMs, reading.command, reply, values, QString());
}

QString pollFaultCsvRow(char command, qint64 timeMs, const QByteArray &reply, const QString &fault, const QString &time)
{
    return csvRow(time, timeMs, command, reply, QStringList(10, QString()), fault);
}

} // namespace cli
