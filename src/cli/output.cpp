// SPDX-License-Identifier: MIT
#include "output.h"

#include <QDateTime>
#include <QJsonDocument>

#include <charconv>
#include <cstdlib>
#include <iterator>

namespace cli {

namespace {

// Output goes on only while every write went through; the first failure is kept for the
// message at the end.
void flushChecked(Context &context)
{
    context.out->flush();
    if (context.out->status() == QTextStream::Ok || !context.outputError.isEmpty())
        return;
    const QIODevice *device = context.out->device();
    context.outputError = device != nullptr && !device->errorString().isEmpty() ? device->errorString()
                                                                               : QStringLiteral("output not written");
}

// One line on standard error: the program's prefix, the kind of the line, the port when several
// run side by side, the text.
void writeMessage(Context &context, const char *kind, const QString &text)
{
    *context.err << "trevisor-cli: " << kind;
    if (!context.messagePort.isEmpty())
        *context.err << context.messagePort << ": ";
    *context.err << text << '\n';
}

} // namespace

void writeLine(Context &context, const QString &line)
{
    if (!context.outputError.isEmpty())
        return;
    *context.out << line << '\n';
    flushChecked(context);
}

void writeText(Context &context, const QString &text)
{
    if (!context.outputError.isEmpty())
        return;
    *context.out << text;
    if (!text.endsWith(u'\n'))
        *context.out << '\n';
    flushChecked(context);
}

void writeJson(Context &context, const QJsonObject &object)
{
    if (!context.outputError.isEmpty())
        return;
    QJsonObject stamped = object;
    // Every line tells when it was written, in UTC with milliseconds.
    if (!stamped.contains(QLatin1String("time")))
        stamped.insert(QStringLiteral("time"), isoTimestamp(QDateTime::currentDateTimeUtc()));
    for (auto key = context.jsonKeys.constBegin(); key != context.jsonKeys.constEnd(); ++key) {
        if (!stamped.contains(key.key()))
            stamped.insert(key.key(), key.value());
    }
    *context.out << QString::fromUtf8(QJsonDocument(stamped).toJson(QJsonDocument::Compact)) << '\n';
    flushChecked(context);
}

QString isoTimestamp(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

int finishRun(Context &context, int exitCode)
{
    if (!context.outputError.isEmpty())
        exitCode = fail(context, FailureKind::Failed, QStringLiteral("write error: ") + context.outputError);
    if (exitCode == ExitSuccess || !context.failure)
        return exitCode;
    Failure failure = *context.failure;
    if (context.json) {
        if (failure.port.isEmpty())
            failure.port = context.jsonKeys.value(QLatin1String("port")).toString();
        writeJson(context, errorJson(failure));
    }
    return exitCodeOf(failure.kind);
}

QJsonObject errorJson(const Failure &failure)
{
    return QJsonObject{{QStringLiteral("event"), QStringLiteral("error")},
                       {QStringLiteral("kind"), kindName(failure.kind)},
                       {QStringLiteral("message"), failure.message},
                       {QStringLiteral("port"), failure.port.isEmpty() ? QJsonValue() : QJsonValue(failure.port)}};
}

int fail(Context &context, FailureKind kind, const QString &message, const QString &port)
{
    writeMessage(context, "error: ", message);
    context.err->flush();
    if (!context.failure)
        context.failure = Failure{kind, message, port};
    return exitCodeOf(kind);
}

void writeWarning(Context &context, const QString &text)
{
    writeMessage(context, "warning: ", text);
    context.err->flush();
}

void writeInfo(Context &context, const QString &text)
{
    writeMessage(context, "", text);
    context.err->flush();
}

void writeNote(Context &context, const QString &note)
{
    if (context.verbose)
        writeInfo(context, note);
}

QString floatText(float value)
{
    char buffer[32];
    const auto result = std::to_chars(std::begin(buffer), std::end(buffer), value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

double floatAsDouble(float value)
{
    return floatText(value).toDouble();
}

QString doubleText(double value)
{
    char buffer[32];
    const auto result = std::to_chars(std::begin(buffer), std::end(buffer), value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

} // namespace cli
