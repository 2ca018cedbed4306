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
    const qint32 lead = leads_[slot(request)].us;
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
    Lead &lead = leads_[slot(request)];
    if (atFirstLook && lead.us >= 0) {
        ++lead.run;
        const qint64 step = lead.run >= LongRun ? std::max<qint64>(DriftUs, lead.us / 64) : DriftUs;
        lead.us = static_cast<qint32>(std::max<qint64>(0, lead.us - step));
        return;
    }
    lead.run = 0;
    qint64 learnt = std::max<qint64>(0, foundUs - lineTimeUs(length, baud));
    if (lead.us >= 0)
        learnt = std::min<qint64>(learnt, lead.us + std::max<qint64>(MostRiseUs, lead.us / 4));
    lead.us = learnt <= MaxLeadUs ? static_cast<qint32>(learnt) : -1;
}

void ReplyArrival::noteMissing(const QByteArray &request)
{
    leads_[slot(request)] = Lead{};
}

void ReplyArrival::forget()
{
    leads_.fill(Lead{});
}

} // namespace serial
