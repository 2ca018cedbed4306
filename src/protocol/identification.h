// SPDX-License-Identifier: MIT
#pragma once

// The identification reply to "v": the family check, the fields it carries and what the
// part number says about the encoder, plus the texts of the three identity labels.

#include "part_number.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace quarn {

// The resolution preset before every identification. Only an encoder whose part number carries
// an unknown resolution code keeps it, so it must be a pair that belongs together.
inline constexpr Resolution StartupResolution{18, 262144};

// Firmware from this minor number on has the persistent status word and the self-calibration
// timeout.
inline constexpr int PersistentStatusMinimumMinor = 9;

// Every identification reply begins with these nine bytes.
inline constexpr char IdentificationPrefix[] = "vQuarn-2 ";

struct EncoderIdentity {
    QByteArray header;        // bytes 1-7, "Quarn-2"
    QByteArray serialNumber;  // bytes 9-14
    QByteArray partNumber;    // bytes 18-33
    std::uint8_t firmwareMajor = 0;
    std::uint8_t firmwareMinor = 0;
    std::uint8_t protocolVersion = 0;
    std::uint32_t firmwareRevision = 0;
    Resolution resolution;
    bool multiturn = false;
    std::uint32_t singleTurnMask = 0;
    float ringDiameterMm = 1e9f;
    int codeLength = 8;
    float airGapK = 0.0f;
    float airGapN = 0.0f;
    bool persistentStatusSupported = false;
};

// Decodes the first 42 bytes of a "v" reply; surplus bytes are ignored. Nothing when the reply
// is shorter or does not begin with "vQuarn-2 ". A part number with an unknown resolution code
// keeps `retained`, and the mask is built from it.
std::optional<EncoderIdentity> parseIdentification(const QByteArray &reply, Resolution retained);

// "Header: Quarn-2"
QString headerText(const EncoderIdentity &identity);
// "p/n: <part>\r\ns/n: <serial>   ver.: major.minor.protocol.revision"
QString encoderInfoText(const EncoderIdentity &identity);
// "Resolution: 18 bit"
QString resolutionText(int bits);

} // namespace quarn
