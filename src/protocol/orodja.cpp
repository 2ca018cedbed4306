// SPDX-License-Identifier: MIT
#include "orodja.h"

namespace orodja {

QByteArray IntToBin(std::int32_t width, std::uint64_t value)
{
    if (width <= 0)
        return {};
    QByteArray digits(width, '0');
    for (qsizetype position = width - 1; position >= 0 && value != 0; --position) {
        if (value & 1u)
            digits[position] = '1';
        value >>= 1;
    }
    return digits;
}

QString RemoveSpaces(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= 32)
        ++first;
    while (last > first && text.at(last - 1).unicode() <= 32)
        --last;
    QString result = text.mid(first, last - first);
    result.remove(QLatin1Char(' '));
    return result;
}

} // namespace orodja
