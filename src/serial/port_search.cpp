// SPDX-License-Identifier: MIT
#include "port_search.h"

namespace serial {

qint32 baudRateForIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(kBaudRates.size()))
        return kFallbackBaudRate;
    return kBaudRates[static_cast<std::size_t>(index)];
}

namespace {

bool stopRequested(const PortSearchHooks &hooks)
{
    return hooks.shouldStop && hooks.shouldStop();
}

} // namespace

PortSearchResult searchPorts(const QList<PortEntry> &ports, const PortSearchHooks &hooks)
{
    PortSearchResult result;
    for (int portIndex = 0; portIndex < static_cast<int>(ports.size()); ++portIndex) {
        const PortEntry &entry = ports.at(portIndex);
        if (hooks.portSelected)
            hooks.portSelected(portIndex);

        std::unique_ptr<SerialPort> port = hooks.makePort(entry);
        if (port == nullptr)
            continue;
        if (!port->open(entry.path)) {
            if (hooks.openFailed)
                hooks.openFailed(portIndex, port->errorText());
            continue;
        }
        // Nothing stale may reach the first identification.
        port->purge();

        for (int rateIndex = 0; rateIndex < static_cast<int>(kBaudRates.size()); ++rateIndex) {
            if (hooks.rateSelected)
                hooks.rateSelected(portIndex, rateIndex);
            // A port closed by an earlier attempt is not reconfigured; the attempt still runs,
            // so the caller sees every rate and fails it at once.
            if (port->isOpen())
                port->configure(baudRateForIndex(rateIndex));
            if (hooks.identify(*port, portIndex, rateIndex)) {
                result.outcome = PortSearchOutcome::Found;
                result.port = std::move(port);
                result.portIndex = portIndex;
                result.rateIndex = rateIndex;
                return result;
            }
            if (stopRequested(hooks)) {
                // The port stays as it is; its owner closes it on the way out.
                result.outcome = PortSearchOutcome::Stopped;
                result.port = std::move(port);
                result.portIndex = portIndex;
                result.rateIndex = rateIndex;
                return result;
            }
        }

        port->close();
        if (hooks.portReleased)
            hooks.portReleased(portIndex);
    }
    return result;
}

} // namespace serial
