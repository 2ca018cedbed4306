// SPDX-License-Identifier: MIT
#include "reading_format.h"

#include "output.h"

#include "status_bits.h"

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
        {QStringLiteral("persistentStatus"), identity.persistentStatusSupported},
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
    QJsonObject object{
        {QStringLiteral("timeMs"), timeMs},
        {QStringLiteral("command"), QString(QLatin1Char(reading.command))},
        {QStringLiteral("counts"), word.singleTurn},
        {QStringLiteral("degrees"), word.angleDegrees},
        {QStringLiteral("turns"), word.multiTurn},
        {QStringLiteral("error"), word.error},
        {QStringLiteral("reply"), QString::fromLatin1(quarn::replyHex(reply))},
    };
    const auto statusObject = [](std::uint16_t status) {
        return QJsonObject{{QStringLiteral("word"), status},
                           {QStringLiteral("bits"), QJsonArray::fromStringList(statusBitNames(status))}};
    };
    if (reading.status)
        object.insert(QStringLiteral("status"), statusObject(*reading.status));
    if (reading.persistentStatus)
        object.insert(QStringLiteral("persistentStatus"), statusObject(*reading.persistentStatus));
    // The window hides the speed while the position carries the error flag.
    if (reading.speed)
        object.insert(QStringLiteral("speed"), word.error ? QJsonValue() : QJsonValue(*reading.speed));
    if (reading.temperature)
        object.insert(QStringLiteral("temperatureC"), *reading.temperature);
    if (reading.signalLevel)
        object.insert(QStringLiteral("signalLevel"), *reading.signalLevel);
    if (reading.airGapMicrometres)
        object.insert(QStringLiteral("airGapUm"), std::nearbyint(*reading.airGapMicrometres));
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

QString pollCsvHeader()
{
    return QStringLiteral("Time(ms);Command;RX;MT;ST;Degrees;Error;Status;PersistentStatus;Speed;"
                          "Temperature;Signal;AirGap(um);");
}

QString pollCsvRow(const quarn::PollReading &reading, qint64 timeMs, const QByteArray &reply)
{
    const quarn::PositionWord &word = reading.position;
    QStringList fields{
        QString::number(timeMs),
        QString(QLatin1Char(reading.command)),
        QString::fromLatin1(quarn::replyHex(reply)),
        QString::number(word.multiTurn),
        QString::number(word.singleTurn),
        doubleText(word.angleDegrees),
        word.error ? QStringLiteral("1") : QStringLiteral("0"),
        reading.status ? QString::number(*reading.status) : QString(),
        reading.persistentStatus ? QString::number(*reading.persistentStatus) : QString(),
        reading.speed && !word.error ? QString::number(*reading.speed) : QString(),
        reading.temperature ? QString::number(*reading.temperature) : QString(),
        reading.signalLevel ? QString::number(*reading.signalLevel) : QString(),
        reading.airGapMicrometres ? QString::number(std::nearbyint(*reading.airGapMicrometres), 'f', 0)
                                  : QString(),
    };
    return fields.join(u';') + u';';
}

} // namespace cli
