// SPDX-License-Identifier: MIT
#pragma once

// Talks to an EncoderModel as a client on the right baud rate would, with an explicit clock.

#include "encoder_model.h"

#include <QByteArray>

#include <cstdint>

namespace simtest {

struct ModelBench {
    explicit ModelBench(const sim::EncoderConfig &config = {}) : model(config, 0) {}

    // The reply bytes (all of them, concatenated) to `request` arriving at `timeMs`.
    QByteArray ask(const QByteArray &request, std::int64_t timeMs = 0)
    {
        QByteArray reply;
        for (const sim::Exchange &exchange : model.receive(request, timeMs, model.config().baudRate))
            reply += exchange.reply;
        return reply;
    }

    sim::EncoderModel model;
};

} // namespace simtest
