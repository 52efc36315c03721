// Randomised inputs with fixed seeds: arbitrary text for number reading and arbitrary bytes for
// the command decoder. Nothing may crash, and the answers must agree with simple references.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "link/command_io.h"
#include "link/number_text.h"
#include "link/servo_protocol.h"

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

TEST(RandomisedNumberText, ReadingIsTotalAndConsistent) {
    std::mt19937 random(20261207);
    int numbers = 0;
    for (int i = 0; i < 200000; ++i) {
        const QString text = randomText(random);
        const auto number = number_text::readNumber(text);
        const auto int16 = number_text::readInt16(text);
        const auto int32 = number_text::readInt32(text);
        const auto position = readPosition(text);
        if (!number) {
            ASSERT_FALSE(int16 || int32 || position) << text.toStdString();
            continue;
        }
        ++numbers;
        ASSERT_TRUE(std::isfinite(*number)) << text.toStdString();
        const double rounded = std::nearbyint(*number);
        ASSERT_EQ(int32.has_value(), rounded >= -2147483648.0 && rounded <= 2147483647.0);
        ASSERT_EQ(int16.has_value(), rounded >= -32768 && rounded <= 32767);
        if (int32) {
            ASSERT_EQ(*int32, rounded);
        }
        // A position is never the frame start and never outside what a slider shows.
        if (position) {
            ASSERT_GE(*position, 1);
            ASSERT_LE(*position, 254);
            ASSERT_EQ(*position, rounded);
        }
    }
    EXPECT_GT(numbers, 10000) << "the generator should also make valid numbers";
}

TEST(RandomisedNumberText, PlainTextOfAnyDoubleReadsBack) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> anyValue(-1e6, 1e6);
    for (int i = 0; i < 100000; ++i) {
        const double value = anyValue(random);
        ASSERT_EQ(number_text::readNumber(number_text::plain(value)), value);
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
