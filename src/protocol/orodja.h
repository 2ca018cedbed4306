// SPDX-License-Identifier: MIT
#pragma once

// Small string tools: fixed-width binary digits and blank removal.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace orodja {

// `width` digits "0"/"1", least significant bit rightmost; higher bits are dropped.
// Empty when width is 0 or negative.
QByteArray IntToBin(std::int32_t width, std::uint64_t value);

// Trims leading and trailing characters with codes up to 32, then removes every inner blank.
// Inner control characters (a tab, say) stay.
QString RemoveSpaces(const QString &text);

} // namespace orodja
