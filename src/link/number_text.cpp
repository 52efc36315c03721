#include "link/number_text.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tolvane::number_text {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

template <typename Int>
std::optional<Int> readRounded(const QString& text) {
    const auto number = readNumber(text);
    if (!number) {
        return std::nullopt;
    }
    // nearbyint rounds a half to the even neighbour in the default rounding mode.
    const double rounded = std::nearbyint(*number);
    if (rounded < std::numeric_limits<Int>::min() || rounded > std::numeric_limits<Int>::max()) {
        return std::nullopt;
    }
    return static_cast<Int>(rounded);
}

}  // namespace

QString withBlank(int value) {
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

QString plain(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

std::optional<double> readNumber(const QString& text) {
    // Anything outside ASCII cannot be part of a number; toLatin1 would turn it into '?'.
    for (const QChar c : text) {
        if (c.unicode() > 0x7F) {
            return std::nullopt;
        }
    }
    const std::string ascii = text.toStdString();
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    while (first != last && isBlank(*first)) {
        ++first;
    }
    while (last != first && isBlank(*(last - 1))) {
        --last;
    }
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    // from_chars would also take "inf", "nan" and a second sign; a number starts with a digit
    // or a point followed by a digit.
    const bool startsNumber =
        first != last &&
        (isDigit(*first) || (*first == '.' && first + 1 != last && isDigit(first[1])));
    if (!startsNumber) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error != std::errc() || end != last || !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<std::int16_t> readInt16(const QString& text) {
    return readRounded<std::int16_t>(text);
}

std::optional<std::int32_t> readInt32(const QString& text) {
    return readRounded<std::int32_t>(text);
}

}  // namespace tolvane::number_text
