// SPDX-License-Identifier: MIT
#include "reply_arrival.h"

#include <QHashFunctions>

#include <algorithm>

namespace serial {

qint64 lineTimeUs(qint64 bytes, qint32 baud)
{
    return baud > 0 ? bytes * 10 * 1000000LL / baud : 0;
}

std::size_t ReplyArrival::slot(const QByteArray &request)
{
    // A one-byte request is its own place.
    return request.size() == 1 ? static_cast<unsigned char>(request.front()) : qHash(request) % 256;
}

std::optional<qint64> ReplyArrival::expectedWholeUs(const QByteArray &request, qint32 length, qint32 baud) const
{
    const qint32 lead = leadUs_[slot(request)];
    if (baud != baud_ || lead < 0)
        return std::nullopt;
    return lead + lineTimeUs(length, baud);
}

void ReplyArrival::noteWhole(const QByteArray &request, qint32 length, qint32 baud, qint64 foundUs,
                             bool atFirstLook)
{
    if (baud != baud_) {
        forget();
        baud_ = baud;
    }
    qint32 &lead = leadUs_[slot(request)];
    if (atFirstLook && lead >= 0) {
        lead = static_cast<qint32>(std::max<qint64>(0, lead - DriftUs));
        return;
    }
    const qint64 learnt = std::max<qint64>(0, foundUs - lineTimeUs(length, baud));
    lead = learnt <= MaxLeadUs ? static_cast<qint32>(learnt) : -1;
}

void ReplyArrival::noteMissing(const QByteArray &request)
{
    leadUs_[slot(request)] = -1;
}

void ReplyArrival::forget()
{
    leadUs_.fill(-1);
}

} // namespace serial
