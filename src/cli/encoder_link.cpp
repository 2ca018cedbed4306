// SPDX-License-Identifier: MIT
#include "encoder_link.h"

#include "output.h"
#include "trace_format.h"

#include "device_access.h"
#include "open_failure.h"
#include "port_search.h"
#include "quarn_konstante.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace cli {

serial::TransactionResult transact(Context &context, const QString &portPath, serial::SerialPort *port,
                                   const QByteArray &request, int expectedLength, QByteArray &reply)
{
    if (!context.trace)
        return serial::runTransaction(port, request, expectedLength, reply);
    const qint32 rate = port != nullptr ? port->baudRate() : 0;
    const auto trace = [&](TraceDirection direction, const QByteArray &bytes, const QString &note) {
        *context.err << traceLine(context.started.nsecsElapsed() / 1000, portPath, rate, direction, bytes, note)
                     << '\n';
        context.err->flush();
    };
    // The request is shown before it goes out, so that a hanging exchange shows what it waits on.
    const bool open = port != nullptr && port->isOpen();
    trace(TraceDirection::Sent, request,
          open ? QString() : replyTraceNote(serial::TransactionResult::NoPort, 0, expectedLength));
    const serial::TransactionResult result = serial::runTransaction(port, request, expectedLength, reply);
    // A request that awaits no reply shows one only when bytes came anyway.
    const bool replyShown = result == serial::TransactionResult::WriteFailed
                            || (result != serial::TransactionResult::NoPort && (expectedLength > 0 || !reply.isEmpty()));
    if (replyShown) {
        const bool received = result == serial::TransactionResult::Complete
                              || result == serial::TransactionResult::Incomplete;
        trace(TraceDirection::Received, received ? reply : QByteArray(),
              replyTraceNote(result, received ? reply.size() : 0, expectedLength));
    }
    return result;
}

serial::TransactionResult transact(EncoderLink &link, Context &context, const QByteArray &request,
                                   int expectedLength, QByteArray &reply)
{
    return transact(context, link.entry.path, link.port.get(), request, expectedLength, reply);
}

namespace {

IdentifyAttempt identifyOnce(serial::SerialPort &port, const QString &portPath, Context &context)
{
    IdentifyAttempt attempt;
    QByteArray reply;
    const serial::TransactionResult result = transact(context, portPath, &port, QByteArray(1, quarn::cmd::Identify),
                                                      quarn::IdentifyReplyLength, reply);
    attempt.gotBytes = (result == serial::TransactionResult::Complete
                        || result == serial::TransactionResult::Incomplete)
                       && !reply.isEmpty();
    // A search starts from the preset resolution every time, as the window's does.
    if (result == serial::TransactionResult::Complete)
        attempt.identity = quarn::parseIdentification(reply, quarn::StartupResolution);
    return attempt;
}

} // namespace

std::optional<quarn::EncoderIdentity> identifyEncoder(serial::SerialPort &port, const QString &portPath,
                                                      Context &context)
{
    return identifyOnce(port, portPath, context).identity;
}

IdentifyAttempt identifyWithRetry(serial::SerialPort &port, const QString &portPath, Context &context)
{
    IdentifyAttempt attempt = identifyOnce(port, portPath, context);
    // Something answered, but not whole: a disturbed line, or an encoder busy for a moment.
    if (!attempt.identity && attempt.gotBytes && port.isOpen())
        attempt = identifyOnce(port, portPath, context);
    return attempt;
}

serial::PortEntry namedPortEntry(const QString &path)
{
    const QString absolute = serial::absolutePortPath(path);
    return {absolute, absolute, QFileInfo(absolute).fileName().left(serial::kDeviceNameLength)};
}

QString encoderSerial(const quarn::EncoderIdentity &identity)
{
    return QString::fromLatin1(identity.serialNumber).trimmed();
}

QString encoderPart(const quarn::EncoderIdentity &identity)
{
    return QString::fromLatin1(identity.partNumber).trimmed();
}

QString encoderText(const EncoderLink &link)
{
    return QStringLiteral("encoder %1 serial %2 on %3 at %4 baud")
        .arg(encoderPart(link.identity), encoderSerial(link.identity), link.entry.path)
        .arg(link.baudRate);
}

PortOpenFailure portOpenFailure(const QString &path, const QString &errorText)
{
    const doctor::OpenFailure why = doctor::explainOpenFailure({}, doctor::currentUser(), path, errorText);
    PortOpenFailure failure{FailureKind::Failed, why.text};
    switch (why.problem) {
    case doctor::OpenProblem::Missing:
    case doctor::OpenProblem::NotSerialPort:
        failure.kind = FailureKind::NoSuchPort;
        break;
    case doctor::OpenProblem::PermissionDenied:
        failure.kind = FailureKind::PermissionDenied;
        break;
    case doctor::OpenProblem::Busy:
        failure.kind = FailureKind::PortBusy;
        break;
    case doctor::OpenProblem::Other:
        break;
    }
    // `--port ttyUSB0` means a file here; the user may have meant the device.
    const QString device = QStringLiteral("/dev/") + QFileInfo(path).fileName();
    if (!QFileInfo::exists(path) && !path.startsWith(QLatin1String("/dev/")) && QFileInfo::exists(device))
        failure.reason += QStringLiteral(" (did you mean %1?)").arg(device);
    return failure;
}

bool serialNumberMatches(const QString &wanted, const QString &encoderSerial)
{
    const auto significant = [](const QString &serial) {
        const QString trimmed = serial.trimmed();
        qsizetype zeros = 0;
        while (zeros + 1 < trimmed.size() && trimmed.at(zeros) == u'0')
            ++zeros;
        return trimmed.mid(zeros);
    };
    return significant(wanted) == significant(encoderSerial);
}

namespace {

// How often, and after how long, a port held by another program is tried again.
constexpr int BusyRetries = 3;
constexpr int BusyRetryPauseMs = 250;

// The search of one pass over `ports`: the first encoder that identifies itself, with its
// port open, or nothing.
struct SearchPass {
    serial::PortSearchOutcome outcome = serial::PortSearchOutcome::NotFound;
    std::optional<EncoderLink> link;
    int portIndex = -1;
};

// A port the search could not open, and why.
struct UnopenedPort {
    QString path;
    PortOpenFailure failure;

    QString text() const { return path + QStringLiteral(": ") + failure.reason; }
};

SearchPass searchOnce(const QList<serial::PortEntry> &ports, const PortChoice &choice, Context &context,
                      QList<UnopenedPort> &unopened, QStringList &corrupt)
{
    std::optional<quarn::EncoderIdentity> identity;
    serial::PortSearchHooks hooks;
    hooks.makePort = [&context](const serial::PortEntry &) { return context.makePort(); };
    hooks.identify = [&](serial::SerialPort &port, int portIndex, int rateIndex) {
        // A rate that was not asked for is passed over without a request.
        if (choice.baudRate != 0 && serial::baudRateForIndex(rateIndex) != choice.baudRate)
            return false;
        const IdentifyAttempt attempt = identifyWithRetry(port, ports.at(portIndex).path, context);
        identity = attempt.identity;
        if (!identity && attempt.gotBytes) {
            corrupt.append(QStringLiteral("%1 gave a corrupt reply at %2 baud")
                               .arg(ports.at(portIndex).path)
                               .arg(serial::baudRateForIndex(rateIndex)));
            writeNote(context, corrupt.constLast());
        }
        return identity.has_value();
    };
    hooks.openFailed = [&](int portIndex, const QString &errorText) {
        const QString &path = ports.at(portIndex).path;
        unopened.append({path, portOpenFailure(path, errorText)});
        writeNote(context, QStringLiteral("cannot open ") + unopened.constLast().text());
    };
    hooks.shouldStop = [&context] { return context.stopRequested(); };
    // The search shows where it stands, a port that never answers costing 2 s: a note per rate
    // with --verbose, else one line redrawn in place on a terminal (not between trace lines).
    bool searchShown = false;
    if (context.verbose || (context.errIsTerminal && !context.trace)) {
        hooks.rateSelected = [&](int portIndex, int rateIndex) {
            const qint32 rate = serial::baudRateForIndex(rateIndex);
            if (choice.baudRate != 0 && rate != choice.baudRate)
                return;
            if (context.verbose) {
                writeNote(context, QStringLiteral("trying %1 at %2 baud").arg(ports.at(portIndex).path).arg(rate));
                return;
            }
            *context.err << "\r\033[Ksearching " << ports.at(portIndex).path << " at " << rate << " baud";
            context.err->flush();
            searchShown = true;
        };
    }

    serial::PortSearchResult result = serial::searchPorts(ports, hooks);
    if (searchShown) {
        *context.err << "\r\033[K";
        context.err->flush();
    }
    SearchPass pass;
    pass.outcome = result.outcome;
    pass.portIndex = result.portIndex;
    if (result.outcome == serial::PortSearchOutcome::Found) {
        EncoderLink link;
        link.port = std::move(result.port);
        link.entry = ports.at(result.portIndex);
        link.baudRate = serial::baudRateForIndex(result.rateIndex);
        link.identity = *identity;
        pass.link = std::move(link);
    } else if (result.port != nullptr) {
        result.port->close();
    }
    return pass;
}

void closeLink(EncoderLink &link)
{
    if (link.port != nullptr)
        link.port->close();
}

} // namespace

std::optional<EncoderLink> connectEncoder(const PortChoice &choice, Context &context)
{
    const QList<serial::PortEntry> ports =
        choice.path.isEmpty() ? context.listPorts() : QList<serial::PortEntry>{namedPortEntry(choice.path)};
    if (ports.isEmpty()) {
        fail(context, FailureKind::NoEncoder,
             QStringLiteral("no serial ports found (name one with --port or QUARN_EXTRA_PORTS)"));
        return std::nullopt;
    }

    // The search goes on past the first encoder, so that a second one on the line is noticed
    // (or, with --serial, the one asked for is found). Past a find, the built-in ports are left
    // out: each costs 2 s and an encoder hardly ever sits on one.
    QList<UnopenedPort> unopened;
    QStringList corrupt;
    std::optional<EncoderLink> chosen;
    std::vector<EncoderLink> others;
    bool stopped = false;
    const auto search = [&](QList<serial::PortEntry> rest) {
        while (!rest.isEmpty()) {
            SearchPass pass = searchOnce(rest, choice, context, unopened, corrupt);
            if (pass.outcome == serial::PortSearchOutcome::Stopped)
                stopped = true;
            if (pass.outcome != serial::PortSearchOutcome::Found)
                break;
            writeNote(context, QStringLiteral("found ") + encoderText(*pass.link));
            const bool wanted = choice.serialNumber.isEmpty()
                                || serialNumberMatches(choice.serialNumber, encoderSerial(pass.link->identity));
            if (wanted && !chosen) {
                chosen = std::move(pass.link);
                if (!choice.serialNumber.isEmpty())
                    break;
            } else {
                closeLink(*pass.link);
                others.push_back(std::move(*pass.link));
            }
            rest = rest.mid(pass.portIndex + 1);
            if (choice.serialNumber.isEmpty())
                rest.removeIf([](const serial::PortEntry &entry) { return entry.kind == serial::PortKind::BuiltIn; });
            if (!rest.isEmpty())
                writeNote(context, QStringLiteral("looking for %1 on the %2 ports left")
                                       .arg(choice.serialNumber.isEmpty() ? QStringLiteral("a second encoder")
                                                                          : QStringLiteral("serial ") + choice.serialNumber)
                                       .arg(rest.size()));
        }
    };
    search(ports);
    // Searches side by side on a line open each other's ports for a moment: a port that was
    // busy is tried again a little later before the search gives up on it.
    for (int retry = 0; retry < BusyRetries && !stopped && !chosen; ++retry) {
        QList<serial::PortEntry> busy;
        for (const serial::PortEntry &entry : ports) {
            if (std::any_of(unopened.cbegin(), unopened.cend(), [&entry](const UnopenedPort &port) {
                    return port.path == entry.path && port.failure.kind == FailureKind::PortBusy;
                }))
                busy.append(entry);
        }
        if (busy.isEmpty())
            break;
        if (!pause(context, BusyRetryPauseMs)) {
            stopped = true;
            break;
        }
        writeNote(context, QStringLiteral("trying the %1 busy ports again").arg(busy.size()));
        unopened.removeIf([](const UnopenedPort &port) { return port.failure.kind == FailureKind::PortBusy; });
        search(busy);
    }
    if (stopped) {
        if (chosen)
            closeLink(*chosen);
        fail(context, FailureKind::Interrupted, QStringLiteral("interrupted while searching for the encoder"));
        return std::nullopt;
    }
    // The one asked for by its serial number, or the only one found.
    if (chosen && (others.empty() || !choice.serialNumber.isEmpty()))
        return chosen;

    QStringList found;
    if (chosen)
        found.append(encoderText(*chosen));
    for (const EncoderLink &other : std::as_const(others))
        found.append(encoderText(other));
    QStringList notOpened;
    for (const UnopenedPort &port : std::as_const(unopened))
        notOpened.append(port.text());
    // Where the encoder may hide: every port that did not open, and why.
    const QString notOpenedText =
        notOpened.isEmpty() ? QString() : QStringLiteral(" (not opened: ") + notOpened.join(QStringLiteral("; ")) + u')';
    if (chosen) {
        closeLink(*chosen);
        fail(context, FailureKind::SeveralEncoders,
             QStringLiteral("%1 encoders found (%2); choose one with --serial SN or --port PATH")
                 .arg(found.size())
                 .arg(found.join(QStringLiteral("; "))));
        return std::nullopt;
    }
    const QString onePort = ports.size() == 1 ? ports.constFirst().path : QString();
    if (!choice.serialNumber.isEmpty() && !others.empty()) {
        fail(context, FailureKind::NoEncoder,
             QStringLiteral("no encoder with serial number %1 (found: %2)%3")
                 .arg(choice.serialNumber, found.join(QStringLiteral("; ")), notOpenedText),
             onePort);
        return std::nullopt;
    }

    const QString rates = choice.baudRate != 0 ? QStringLiteral("at %1 baud").arg(choice.baudRate)
                                               : QStringLiteral("at any of the seven rates");
    // The one port there is could not be opened: the failure is why.
    if (ports.size() == 1 && unopened.size() == 1) {
        fail(context, unopened.constFirst().failure.kind, QStringLiteral("cannot open ") + unopened.constFirst().text(),
             onePort);
        return std::nullopt;
    }
    FailureKind kind = FailureKind::NoEncoder;
    QString text;
    if (!corrupt.isEmpty()) {
        // Something answered: the line or the encoder is at fault, not its absence.
        kind = FailureKind::CorruptReply;
        text = corrupt.join(QStringLiteral("; ")) + QStringLiteral(" (no encoder identified)");
    } else if (ports.size() == 1) {
        text = QStringLiteral("no encoder answers on %1 %2").arg(ports.constFirst().path, rates);
    } else if (!choice.serialNumber.isEmpty()) {
        text = QStringLiteral("no encoder with serial number %1 on any of %2 ports %3")
                   .arg(choice.serialNumber)
                   .arg(ports.size())
                   .arg(rates);
    } else {
        text = QStringLiteral("no encoder answers on any of %1 ports %2").arg(ports.size()).arg(rates);
    }
    if (ports.size() > 1)
        text += notOpenedText;
    fail(context, kind, text, onePort);
    return std::nullopt;
}

QString requestName(const QByteArray &request)
{
    const auto name = [](char byte) {
        const auto code = static_cast<unsigned char>(byte);
        return code >= 0x21 && code < 0x7F ? QString(QLatin1Char(byte))
                                            : QString::fromLatin1(QByteArray(1, byte).toHex().toUpper());
    };
    if (request.size() > quarn::UnlockPrefix.size() && request.startsWith(quarn::UnlockPrefix))
        return QStringLiteral("Unlock + ") + name(request.at(quarn::UnlockPrefix.size()));
    return request.isEmpty() ? QString() : name(request.at(0));
}

FailureKind exchangeFailureKind(serial::TransactionResult result)
{
    return result == serial::TransactionResult::Incomplete ? FailureKind::NoReply : FailureKind::PortLost;
}

QString exchangeFailureText(const EncoderLink &link, const QByteArray &request,
                            serial::TransactionResult result, qsizetype received, int expectedLength)
{
    const QString command = QStringLiteral("\"%1\"").arg(requestName(request));
    switch (result) {
    case serial::TransactionResult::Complete:
        return {};
    case serial::TransactionResult::Incomplete:
        return received == 0
                   ? QStringLiteral("no reply to %1 within 300 ms on %2").arg(command, link.entry.path)
                   : QStringLiteral("incomplete reply to %1 on %2: %3 of %4 bytes within 300 ms")
                         .arg(command, link.entry.path)
                         .arg(received)
                         .arg(expectedLength);
    case serial::TransactionResult::NoPort:
        return QStringLiteral("%1 not sent: the port %2 is closed").arg(command, link.entry.path);
    case serial::TransactionResult::WriteFailed: {
        const QString reason = link.port != nullptr ? link.port->errorText() : QString();
        return QStringLiteral("Cable disconnected! %1 could not be written to %2%3")
            .arg(command, link.entry.path, reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
    }
    }
    return {};
}

bool exchange(EncoderLink &link, Context &context, const QByteArray &request, int expectedLength,
              QByteArray &reply)
{
    const serial::TransactionResult result = transact(link, context, request, expectedLength, reply);
    if (result == serial::TransactionResult::Complete)
        return true;
    const qsizetype received = result == serial::TransactionResult::Incomplete ? reply.size() : 0;
    reportExchangeFailure(link, context, request, result, received, expectedLength);
    return false;
}

bool sendRequest(EncoderLink &link, Context &context, const QByteArray &request, QString &failure)
{
    QByteArray reply;
    const serial::TransactionResult result = transact(link, context, request, 0, reply);
    if (result == serial::TransactionResult::Complete)
        return true;
    failure = exchangeFailureText(link, request, result, 0, 0);
    if (result == serial::TransactionResult::WriteFailed && link.port != nullptr)
        link.port->close();
    return false;
}

void reportExchangeFailure(EncoderLink &link, Context &context, const QByteArray &request,
                           serial::TransactionResult result, qsizetype received, int expectedLength)
{
    const QString text = exchangeFailureText(link, request, result, received, expectedLength);
    // A port that takes no more bytes is gone; nothing further is sent to it.
    if (result == serial::TransactionResult::WriteFailed && link.port != nullptr)
        link.port->close();
    fail(context, exchangeFailureKind(result), text, link.entry.path);
}

bool pause(Context &context, int ms)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    // Short slices, so that Ctrl+C is noticed within a few milliseconds.
    constexpr auto slice = std::chrono::milliseconds(10);
    for (;;) {
        if (context.stopRequested())
            return false;
        const Clock::time_point now = Clock::now();
        if (now >= end)
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(end - now, slice));
    }
}

std::optional<qint64> ReadingPacer::next(Context &context)
{
    if (!first_ && intervalMs_ > 0) {
        const qint64 wait = nextStartMs_ - clock_.elapsed();
        if (wait > 0 && !pause(context, static_cast<int>(wait)))
            return std::nullopt;
    }
    first_ = false;
    // Readings nobody can see any more are not taken.
    if (context.stopRequested() || !context.outputError.isEmpty())
        return std::nullopt;
    const qint64 startMs = clock_.elapsed();
    nextStartMs_ = std::max(nextStartMs_ + intervalMs_, startMs);
    return startMs;
}

} // namespace cli
