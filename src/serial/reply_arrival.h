// SPDX-License-Identifier: MIT
#pragma once

// When the replies on one link come whole, learnt request by request, so that an exchange can
// sleep until its reply is due and find it whole at the first look: one wake-up for the reply
// instead of one at its first byte and another once its last byte has crossed the line. On a
// virtual machine a wake-up costs more than everything else an exchange does.
//
// What is kept for a request is its lead: the time from its last byte leaving the program until
// the reply would begin to cross the line, which does not depend on how long the reply is. A
// reply found whole at the first look takes a little off its request's lead, so that a link
// that answers sooner is followed; after a long run of such replies the lead shrinks faster, so
// that one late reply (the program held up for a moment, on a busy machine) does not slow the
// exchanges for long. A reply not yet whole at the first look moves the lead towards when it was
// found whole, by at most a millisecond or a quarter at a time for the same reason. Requests
// share 256 places by a hash: two that meet only cost a wake-up.

#include <QByteArray>

#include <array>
#include <optional>

namespace serial {

class ReplyArrival {
public:
    // The longest lead kept. A slower reply is waited for in the driver, as an unknown one is.
    static constexpr qint64 MaxLeadUs = 20000;
    // What a reply found whole at the first look takes off its request's lead...
    static constexpr qint64 DriftUs = 5;
    // ...and after this many in a row, a 64th of the lead when that is more.
    static constexpr int LongRun = 32;
    // How far one reply found later than due may move the lead at most: this, or a quarter of
    // the lead when that is more.
    static constexpr qint64 MostRiseUs = 1000;

    ReplyArrival() { forget(); }

    // When the reply of `length` bytes to `request` is expected whole, in microseconds after
    // the request's last byte left; nothing while its lead at this rate is not known.
    std::optional<qint64> expectedWholeUs(const QByteArray &request, qint32 length, qint32 baud) const;
    // The reply to `request` was found whole `foundUs` after the request's last byte left:
    // at the first look after sleeping until it was due, or later.
    void noteWhole(const QByteArray &request, qint32 length, qint32 baud, qint64 foundUs, bool atFirstLook);
    // The reply to `request` did not come whole within its window.
    void noteMissing(const QByteArray &request);
    void forget();

private:
    static std::size_t slot(const QByteArray &request);

    struct Lead {
        qint32 us = -1; // -1 when not known
        int run = 0;    // replies found whole at the first look in a row
    };
    // Per place.
    std::array<Lead, 256> leads_{};
    // The rate the leads were learnt at: a reply's line time and the request's change with it.
    qint32 baud_ = 0;
};

// Microseconds that `bytes` take on the line at `baud`, at 10 bits a byte; 0 at an unknown rate.
qint64 lineTimeUs(qint64 bytes, qint32 baud);

} // namespace serial
