// SPDX-License-Identifier: MIT
#include "orodja.h"

#include <gtest/gtest.h>

using namespace orodja;

TEST(IntToBin, Table)
{
    struct Row {
        int width;
        std::uint64_t value;
        const char *digits;
    };
    const Row rows[] = {
        {9, 5, "000000101"},   {4, 31, "1111"},   {0, 5, ""},      {-3, 5, ""},
        {6, 0, "000000"},      {6, 45, "101101"}, {9, 13, "000001101"},
        {16, 0x8001, "1000000000000001"},         {3, ~std::uint64_t{0}, "111"},
        {66, std::uint64_t{1} << 63, "001000000000000000000000000000000000000000000000000000000000000000"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.width);
        EXPECT_EQ(IntToBin(row.width, row.value), QByteArray(row.digits));
    }
}

TEST(RemoveSpaces, Table)
{
    struct Row {
        QString in;
        QString out;
    };
    const Row rows[] = {
        {QStringLiteral("     "), QString()},
        {QStringLiteral("20240215090507 "), QStringLiteral("20240215090507")},
        {QStringLiteral("20240215 090507"), QStringLiteral("20240215090507")},
        {QStringLiteral("\t a b\tc \n"), QStringLiteral("ab\tc")},
        {QStringLiteral(" x  y "), QStringLiteral("xy")},
        {QString(), QString()},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.in.toStdString());
        EXPECT_EQ(RemoveSpaces(row.in), row.out);
    }
}
