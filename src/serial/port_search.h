// SPDX-License-Identifier: MIT
#pragma once

// The search for the encoder over every listed port and every baud rate. It knows no protocol
// and no widget: the caller identifies the encoder on the port it is handed and is told what
// is being tried.

#include "port_lister.h"
#include "serial_port.h"

#include <QList>

#include <array>
#include <functional>
#include <memory>

namespace serial {

// The rates in the order they are tried; 1000000 comes before 921600.
inline constexpr std::array<qint32, 7> kBaudRates = {115200, 128000, 230400, 256000,
                                                     500000, 1000000, 921600};
inline constexpr qint32 kFallbackBaudRate = 230400;

// The rate of a baud-rate index; kFallbackBaudRate for an index outside the table.
qint32 baudRateForIndex(int index);

struct PortSearchHooks {
    // A new, closed port for an entry.
    std::function<std::unique_ptr<SerialPort>(const PortEntry &)> makePort;
    // One identification attempt on the open, configured port; true when the encoder answered.
    // It may close the port (a failed write); the search then goes on without it.
    std::function<bool(SerialPort &port, int portIndex, int rateIndex)> identify;
    // Optional: the port at this index is about to be opened.
    std::function<void(int portIndex)> portSelected;
    // Optional: the port could not be opened (absent, busy, no permission); it is skipped.
    std::function<void(int portIndex, const QString &errorText)> openFailed;
    // Optional: this rate index is about to be tried.
    std::function<void(int portIndex, int rateIndex)> rateSelected;
    // Optional: the port answered at no rate and has been closed.
    std::function<void(int portIndex)> portReleased;
    // Optional: true when the application is terminating; asked after each attempt.
    std::function<bool()> shouldStop;
};

enum class PortSearchOutcome {
    Found,    // `port` is open and identified
    NotFound, // every port was tried; `port` is empty
    Stopped,  // stop requested; `port` is the one being tried, possibly still open, or empty
};

struct PortSearchResult {
    PortSearchOutcome outcome = PortSearchOutcome::NotFound;
    std::unique_ptr<SerialPort> port;
    int portIndex = -1;
    int rateIndex = -1;
};

// Walks the ports in order: open (skipped when that fails), purge, then every rate index from
// 0 to 6: configure and identify. The first success ends the search with that port left open.
PortSearchResult searchPorts(const QList<PortEntry> &ports, const PortSearchHooks &hooks);

} // namespace serial
