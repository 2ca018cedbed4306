// SPDX-License-Identifier: MIT
// The identification reply: any bytes give either an identity whose every field is consistent
// with the reply, or no identity at all.

#include "fuzz_support.h"

#include "identification.h"
#include "quarn_konstante.h"

namespace {

std::uint8_t at(const QByteArray &bytes, int index)
{
    return static_cast<std::uint8_t>(bytes.at(index));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quarn;
    fuzz::Input input(data, size);
    const QByteArray reply = input.rest();

    const std::optional<EncoderIdentity> identity = parseIdentification(reply, StartupResolution);
    const bool valid = reply.size() >= IdentifyReplyLength && reply.startsWith(IdentificationPrefix);
    FUZZ_CHECK(identity.has_value() == valid);
    if (!identity)
        return 0;

    const EncoderIdentity &id = *identity;
    FUZZ_CHECK(id.header == "Quarn-2");
    FUZZ_CHECK(id.serialNumber == reply.mid(9, SerialNumberLength));
    FUZZ_CHECK(id.partNumber == reply.mid(18, PartNumberLength));
    FUZZ_CHECK(id.firmwareMajor == at(reply, 35));
    FUZZ_CHECK(id.firmwareMinor == at(reply, 36));
    FUZZ_CHECK(id.protocolVersion == at(reply, 37));
    FUZZ_CHECK(id.firmwareRevision
               == ((std::uint32_t{at(reply, 38)} << 24) | (std::uint32_t{at(reply, 39)} << 16)
                   | (std::uint32_t{at(reply, 40)} << 8) | at(reply, 41)));

    // A known resolution code gives 16 to 21 bits and its power of two; anything else keeps
    // the preset.
    const QByteArray code = id.partNumber.mid(8, 2);
    const int bits = id.resolution.bits;
    if (bits >= 16 && bits <= 21 && code == QByteArray::number(bits)) {
        FUZZ_CHECK(id.resolution.countsPerTurn == (std::int32_t{1} << bits));
    } else {
        FUZZ_CHECK(bits == StartupResolution.bits);
        FUZZ_CHECK(id.resolution.countsPerTurn == StartupResolution.countsPerTurn);
    }
    FUZZ_CHECK(id.singleTurnMask == static_cast<std::uint32_t>(id.resolution.countsPerTurn) - 1u);
    FUZZ_CHECK(id.multiturn == (id.partNumber.at(10) == 'M'));

    FUZZ_CHECK(id.codeLength >= 5 && id.codeLength <= 9);
    FUZZ_CHECK(id.ringDiameterMm > 0.0f);
    const std::optional<AirGapCoefficients> airGap = airGapCoefficients(id.codeLength);
    FUZZ_CHECK(airGap.has_value() && airGap->k == id.airGapK && airGap->n == id.airGapN);
    FUZZ_CHECK(id.persistentStatusSupported == (id.firmwareMinor >= PersistentStatusMinimumMinor));

    // Bytes after the 42nd change nothing.
    if (reply.size() > IdentifyReplyLength) {
        const std::optional<EncoderIdentity> cut =
            parseIdentification(reply.left(IdentifyReplyLength), StartupResolution);
        FUZZ_CHECK(cut && cut->partNumber == id.partNumber && cut->serialNumber == id.serialNumber
                   && cut->firmwareRevision == id.firmwareRevision);
    }

    // The labels show the part and serial numbers byte for byte.
    FUZZ_CHECK(headerText(id) == QStringLiteral("Header: Quarn-2"));
    const QString info = encoderInfoText(id);
    FUZZ_CHECK(info.startsWith(QStringLiteral("p/n: ") + QString::fromLatin1(id.partNumber) + QStringLiteral("\r\ns/n: ")
                               + QString::fromLatin1(id.serialNumber) + QStringLiteral("   ver.: ")));
    FUZZ_CHECK(info.endsWith(u'.' + QString::number(id.firmwareRevision)));
    FUZZ_CHECK(resolutionText(bits) == QStringLiteral("Resolution: ") + QString::number(bits) + QStringLiteral(" bit"));
    return 0;
}
