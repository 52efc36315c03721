#include <gtest/gtest.h>

#include <QLocale>
#include <limits>

#include "fields/number_text.h"
#include "fields/position_text.h"
#include "test_printers.h"

namespace tolvane {
namespace {

namespace nt = number_text;
using test_support::PrintTo;

struct ReadCase {
    const char* name;
    const char* text;
    std::optional<double> number;
    std::optional<std::int16_t> int16;
    std::optional<std::int32_t> int32;
};

class ReadNumberText : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadNumberText, GivesTheNumberOrNothing) {
    const ReadCase& c = GetParam();
    const QString text = QString::fromUtf8(c.text);
    EXPECT_EQ(nt::readNumber(text), c.number);
    EXPECT_EQ(nt::readInt16(text), c.int16);
    EXPECT_EQ(nt::readInt32(text), c.int32);
}

constexpr auto none = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Table, ReadNumberText,
    ::testing::Values(
        ReadCase{"LeadingBlank", " 127", 127.0, 127, 127},
        ReadCase{"Plain", "127", 127.0, 127, 127},
        ReadCase{"BlanksBothSides", "  200  ", 200.0, 200, 200},
        ReadCase{"Tab", "\t5\t", 5.0, 5, 5}, ReadCase{"Negative", "-3", -3.0, -3, -3},
        ReadCase{"PlusSign", "+4", 4.0, 4, 4}, ReadCase{"Fraction", "12.25", 12.25, 12, 12},
        ReadCase{"HalfDownToEven", "12.5", 12.5, 12, 12},
        ReadCase{"HalfUpToEven", "13.5", 13.5, 14, 14}, ReadCase{"HalfZero", "0.5", 0.5, 0, 0},
        ReadCase{"NegativeHalf", "-2.5", -2.5, -2, -2},
        ReadCase{"JustAbove", "126.51", 126.51, 127, 127},
        ReadCase{"LeadingPoint", ".75", 0.75, 1, 1}, ReadCase{"Exponent", "1e2", 100.0, 100, 100},
        ReadCase{"Int16Top", "32767", 32767.0, 32767, 32767},
        ReadCase{"Int16TopRoundsOver", "32767.5", 32767.5, none, 32768},
        ReadCase{"Int16Bottom", "-32768", -32768.0, -32768, -32768},
        ReadCase{"Int32Over", "2147483648", 2147483648.0, none, none},
        ReadCase{"Empty", "", none, none, none}, ReadCase{"OnlyBlanks", "   ", none, none, none},
        ReadCase{"Letters", "abc", none, none, none},
        ReadCase{"TrailingJunk", "12abc", none, none, none},
        ReadCase{"InnerBlank", "1 2", none, none, none},
        ReadCase{"TwoSigns", "--1", none, none, none}, ReadCase{"SignOnly", "-", none, none, none},
        ReadCase{"PointOnly", ".", none, none, none}, ReadCase{"Comma", "12,5", none, none, none},
        ReadCase{"Infinity", "inf", none, none, none},
        ReadCase{"NotANumber", "nan", none, none, none}, ReadCase{"Hex", "0x10", none, none, none},
        ReadCase{"BeyondDouble", "1e400", none, none, none},
        ReadCase{"NonAscii", "１２", none, none, none}),
    [](const auto& info) { return std::string(info.param.name); });

// The panel's own number form whatever the user's: a German desktop writes "12,5" and groups
// thousands as "1.000".
TEST(ReadNumberText, KeepsThePointUnderAnotherLocale) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(nt::readNumber(QStringLiteral("12.5")), 12.5);
    EXPECT_EQ(nt::readNumber(QStringLiteral("1.000")), 1.0);
    EXPECT_EQ(nt::readNumber(QStringLiteral("12,5")), none);
    EXPECT_EQ(nt::readNumber(QStringLiteral("1,000")), none);
    QLocale::setDefault(previous);
}

TEST(WriteNumberText, WithBlank) {
    EXPECT_EQ(nt::withBlank(127), QStringLiteral(" 127"));
    EXPECT_EQ(nt::withBlank(0), QStringLiteral(" 0"));
    EXPECT_EQ(nt::withBlank(-3), QStringLiteral("-3"));
}

struct PlainCase {
    const char* name;
    double value;
    const char* text;
};

class WritePlainText : public ::testing::TestWithParam<PlainCase> {};

TEST_P(WritePlainText, DecimalDigitsWithoutExponent) {
    EXPECT_EQ(nt::plain(GetParam().value), QString::fromUtf8(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Table, WritePlainText,
    ::testing::Values(PlainCase{"One", 1, "1"}, PlainCase{"Centre", 127, "127"},
                      PlainCase{"NegativeZero", -0.0, "0"}, PlainCase{"Half", 12.5, "12.5"},
                      PlainCase{"Tenth", 0.1, "0.1"},
                      PlainCase{"HundredThousand", 100000, "100000"},
                      PlainCase{"BeyondFifteenDigits", 123456789012345678.0, "123456789012346000"},
                      PlainCase{"Millionth", 1e-6, "0.000001"},
                      PlainCase{"Third", 1.0 / 3.0, "0.333333333333333"},
                      PlainCase{"TwoThirdsRoundsUp", 2.0 / 3.0, "0.666666666666667"},
                      PlainCase{"SumOfTenths", 0.1 + 0.2, "0.3"},
                      PlainCase{"NegativeFraction", -123456789.123456789, "-123456789.123457"},
                      PlainCase{"CarryIntoNewDigit", 254.99999999999997, "255"}),
    [](const auto& info) { return std::string(info.param.name); });

struct PositionCase {
    const char* name;
    const char* text;
    std::optional<std::uint8_t> position;
};

class ReadPosition : public ::testing::TestWithParam<PositionCase> {};

TEST_P(ReadPosition, OnlyOneTo254) {
    EXPECT_EQ(readPosition(QString::fromUtf8(GetParam().text)), GetParam().position);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadPosition,
    ::testing::Values(PositionCase{"Centre", " 127", 127}, PositionCase{"Bottom", " 254", 254},
                      PositionCase{"Top", " 1", 1},
                      PositionCase{"HalfRoundsToEvenTop", "254.5", 254},
                      PositionCase{"RoundsUpToFrameStart", "254.6", none},
                      PositionCase{"FrameStart", "255", none}, PositionCase{"Zero", "0", none},
                      PositionCase{"HalfRoundsToZero", "0.5", none},
                      PositionCase{"Negative", "-1", none}, PositionCase{"Empty", "", none},
                      PositionCase{"Junk", "12abc", none}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane
