// SPDX-License-Identifier: MIT
#include "identification.h"

namespace quarn {

namespace {

constexpr int ReplyLength = 42;
constexpr int PrefixLength = sizeof(IdentificationPrefix) - 1;

std::uint8_t byteAt(const QByteArray &bytes, int index)
{
    return static_cast<std::uint8_t>(bytes.at(index));
}

} // namespace

std::optional<EncoderIdentity> parseIdentification(const QByteArray &reply, Resolution retained)
{
    if (reply.size() < ReplyLength)
        return std::nullopt;
    const QByteArray record = reply.left(ReplyLength);
    if (!record.startsWith(QByteArrayView(IdentificationPrefix, PrefixLength)))
        return std::nullopt;

    EncoderIdentity id;
    id.header = record.mid(1, 7);
    id.serialNumber = record.mid(9, SerialNumberLength);
    id.partNumber = record.mid(18, PartNumberLength);
    id.firmwareMajor = byteAt(record, 35);
    id.firmwareMinor = byteAt(record, 36);
    id.protocolVersion = byteAt(record, 37);
    id.firmwareRevision = (std::uint32_t{byteAt(record, 38)} << 24) | (std::uint32_t{byteAt(record, 39)} << 16)
                          | (std::uint32_t{byteAt(record, 40)} << 8) | std::uint32_t{byteAt(record, 41)};

    id.resolution = resolutionFromPartNumber(id.partNumber).value_or(retained);
    id.multiturn = isMultiturnPartNumber(id.partNumber);
    id.singleTurnMask = singleTurnMask(id.resolution.bits);

    const RingModel ring = ringModelFromPartNumber(id.partNumber);
    id.ringDiameterMm = ring.diameterMm;
    id.codeLength = ring.codeLength;
    // The ring table only yields lengths 5 to 9, each of which has coefficients.
    const AirGapCoefficients airGap = airGapCoefficients(id.codeLength).value_or(AirGapCoefficients{});
    id.airGapK = airGap.k;
    id.airGapN = airGap.n;

    id.persistentStatusSupported = id.firmwareMinor >= PersistentStatusMinimumMinor;
    return id;
}

QString headerText(const EncoderIdentity &identity)
{
    return QStringLiteral("Header: ") + QString::fromLatin1(identity.header);
}

QString encoderInfoText(const EncoderIdentity &identity)
{
    return QStringLiteral("p/n: ") + QString::fromLatin1(identity.partNumber) + QStringLiteral("\r\ns/n: ")
           + QString::fromLatin1(identity.serialNumber) + QStringLiteral("   ver.: ") + QString::number(identity.firmwareMajor)
           + u'.' + QString::number(identity.firmwareMinor) + u'.' + QString::number(identity.protocolVersion)
           + u'.' + QString::number(identity.firmwareRevision);
}

QString resolutionText(int bits)
{
    return QStringLiteral("Resolution: ") + QString::number(bits) + QStringLiteral(" bit");
}

} // namespace quarn
