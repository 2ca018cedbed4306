// SPDX-License-Identifier: MIT
#include "output.h"

#include <QJsonDocument>

#include <charconv>
#include <cstdlib>
#include <iterator>

namespace cli {

void writeLine(Context &context, const QString &line)
{
    *context.out << line << '\n';
    context.out->flush();
}

void writeText(Context &context, const QString &text)
{
    *context.out << text;
    if (!text.endsWith(u'\n'))
        *context.out << '\n';
    context.out->flush();
}

void writeJson(Context &context, const QJsonObject &object)
{
    *context.out << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) << '\n';
    context.out->flush();
}

void writeMessage(Context &context, const QString &message)
{
    *context.err << "trevisor-cli: " << message << '\n';
    context.err->flush();
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
