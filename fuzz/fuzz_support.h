// SPDX-License-Identifier: MIT
#pragma once

// Shared by the fuzz targets: a check that stops the run with a message (assert() would vanish
// in an optimised build), and a reader that takes the targets' settings from the front of the
// input and leaves the rest as the bytes under test.

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

[[noreturn]] inline void fail(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", condition, file, line);
    std::abort();
}

#define FUZZ_CHECK(condition) ((condition) ? static_cast<void>(0) : ::fuzz::fail(#condition, __FILE__, __LINE__))

class Input {
public:
    explicit Input(const std::uint8_t *data, std::size_t size)
        : m_data(data), m_size(size)
    {
    }

    // The next byte, or 0 once the input is used up.
    std::uint8_t byte()
    {
        if (m_offset >= m_size)
            return 0;
        return m_data[m_offset++];
    }

    // Up to `count` bytes (fewer at the end of the input).
    QByteArray bytes(std::size_t count)
    {
        const std::size_t take = count < remaining() ? count : remaining();
        QByteArray taken(reinterpret_cast<const char *>(m_data + m_offset), static_cast<qsizetype>(take));
        m_offset += take;
        return taken;
    }

    // A piece whose length is given by the next byte, so one input can carry several texts.
    QByteArray piece() { return bytes(byte()); }

    QByteArray rest() { return bytes(remaining()); }

    std::size_t remaining() const { return m_size - m_offset; }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
};

// Locales with a decimal point, a decimal comma, a non-ASCII group separator and non-ASCII
// digits, built once: constructing a locale per input would dominate the run time.
inline const QLocale &locale(std::uint8_t choice)
{
    static const std::array<QLocale, 4> locales{
        QLocale::c(),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::French, QLocale::France),
        QLocale(QLocale::Arabic, QLocale::Egypt),
    };
    return locales[choice % locales.size()];
}

// Text as the system hands it over in UTF-16: pairs of bytes, lone surrogates and all.
inline QString utf16Text(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const auto high = static_cast<std::uint8_t>(bytes.at(i));
        const auto low = static_cast<std::uint8_t>(bytes.at(i + 1));
        text += QChar(static_cast<char16_t>((high << 8) | low));
    }
    return text;
}

} // namespace fuzz
