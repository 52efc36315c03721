// Randomised inputs with fixed seeds: arbitrary text for number reading and arbitrary bytes for
// the command decoder. Nothing may crash, and the answers must agree with simple references.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <cmath>
#include <random>

#include "fields/number_text.h"
#include "fields/position_text.h"
#include "protocol/servo_protocol.h"

namespace tolvane {
namespace {

QString randomText(std::mt19937& random) {
    // Mostly characters that make numbers, so that many texts are near misses.
    static const QString alphabet = QStringLiteral("0123456789 +-.eE\t,x\u00e9\u0661");
    std::uniform_int_distribution<int> length(0, 12);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(alphabet.size()) - 1);
    QString text;
    for (int n = length(random); n > 0; --n) {
        text += alphabet[pick(random)];
    }
    return text;
}

// The reference rounding: to the nearest whole number, a half to the even one, decided on the
// whole part and twice the fraction, both exact for a double. Nothing beyond 2^62.
std::optional<long long> roundHalfToEven(double x) {
    if (!(std::fabs(x) < 4e18)) {
        return std::nullopt;
    }
    const long long whole = static_cast<long long>(x);  // toward zero
    const double twiceFraction = std::fabs(2 * (x - static_cast<double>(whole)));
    const bool away = twiceFraction > 1 || (twiceFraction == 1 && whole % 2 != 0);
    return whole + (away ? (x < 0 ? -1 : 1) : 0);
}

std::optional<long long> within(std::optional<long long> value, long long low, long long high) {
    return value && *value >= low && *value <= high ? value : std::nullopt;
}

TEST(RandomisedNumberText, ReadingIsTotalAndRoundsAHalfToEven) {
    std::mt19937 random(20261207);
    int numbers = 0;
    int positions = 0;
    for (int i = 0; i < 200000; ++i) {
        const QString text = randomText(random);
        SCOPED_TRACE(text.toStdString());
        const auto number = number_text::readNumber(text);
        ASSERT_TRUE(!number || std::isfinite(*number));
        const auto rounded = number ? roundHalfToEven(*number) : std::nullopt;
        const auto int16 = number_text::readInt16(text);
        const auto int32 = number_text::readInt32(text);
        const auto position = readPosition(text);
        // Exactly the numbers that round into a type's range give a value, and the same one.
        ASSERT_EQ(int16 ? std::optional<long long>(*int16) : std::nullopt,
                  within(rounded, -32768, 32767));
        ASSERT_EQ(int32 ? std::optional<long long>(*int32) : std::nullopt,
                  within(rounded, -2147483648LL, 2147483647));
        // A position is 1..254: never 0, never the frame start.
        ASSERT_EQ(position ? std::optional<long long>(*position) : std::nullopt,
                  within(rounded, 1, 254));
        numbers += number ? 1 : 0;
        positions += position ? 1 : 0;
    }
    EXPECT_GT(numbers, 10000) << "the generator should also make valid numbers";
    EXPECT_GT(positions, 1000) << "and positions";
}

// Plain text is digits with no exponent and no trailing zero after the point; it reads back
// within half a unit of a 15th significant digit.
TEST(RandomisedNumberText, PlainTextOfAnyDoubleReadsBack) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> anyValue(-1e6, 1e6);
    std::vector<double> values{0.1, 12.5, 126.999, 1.0 / 3.0, 254.0, -7.25, 1e-7, 1e300};
    for (int i = 0; i < 100000; ++i) {
        values.push_back(anyValue(random));
    }
    const QRegularExpression form(QStringLiteral("^-?(0|[1-9][0-9]*)(\\.[0-9]*[1-9])?$"));
    for (const double value : values) {
        const QString text = number_text::plain(value);
        ASSERT_TRUE(form.match(text).hasMatch()) << text.toStdString();
        const auto back = number_text::readNumber(text);
        ASSERT_TRUE(back) << text.toStdString();
        ASSERT_LE(std::abs(*back - value), std::abs(value) * 5.0000001e-15) << text.toStdString();
    }
}

// The reference: a command is 255, c, p with neither c nor p being 255.
std::vector<PositionCommand> referenceDecode(const std::vector<std::uint8_t>& bytes) {
    std::vector<PositionCommand> commands;
    for (std::size_t i = 0; i + 2 < bytes.size(); ++i) {
        if (bytes[i] == kFrameStart && bytes[i + 1] != kFrameStart && bytes[i + 2] != kFrameStart) {
            commands.push_back({bytes[i + 1], bytes[i + 2]});
            i += 2;
        }
    }
    return commands;
}

TEST(RandomisedDecoder, AgreesWithTheReferenceOnArbitraryBytes) {
    std::mt19937 random(99);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 64);
    std::bernoulli_distribution frameStart(0.2);
    for (int run = 0; run < 20000; ++run) {
        std::vector<std::uint8_t> bytes;
        for (int n = length(random); n > 0; --n) {
            bytes.push_back(frameStart(random) ? kFrameStart
                                               : static_cast<std::uint8_t>(byte(random)));
        }
        CommandDecoder decoder;
        std::vector<PositionCommand> decoded;
        for (const std::uint8_t b : bytes) {
            if (const auto command = decoder.feed(b)) {
                decoded.push_back(*command);
            }
        }
        ASSERT_EQ(decoded, referenceDecode(bytes)) << "run " << run;

        // Whatever came before, a complete command is always taken whole.
        const PositionCommand next{static_cast<std::uint8_t>(byte(random) % 8),
                                   static_cast<std::uint8_t>(1 + byte(random) % 254)};
        std::optional<PositionCommand> last;
        for (const std::uint8_t b : encode(next)) {
            last = decoder.feed(b);
        }
        ASSERT_EQ(last, next) << "run " << run;
    }
}

}  // namespace
}  // namespace tolvane
