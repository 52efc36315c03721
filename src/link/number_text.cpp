#include "link/number_text.h"

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
    // Fifteen significant digits, all a double holds faithfully, taken from the exponent form
    // ("-1.25000000000000e+02") and laid out again without an exponent.
    constexpr int kDecimals = 14;
    if (!std::isfinite(value)) {
        return QString::number(value);  // no text ever reads as one
    }
    const QString scientific = QString::number(value, 'e', kDecimals);
    const qsizetype e = scientific.indexOf(QLatin1Char('e'));
    const bool negative = scientific.startsWith(QLatin1Char('-'));
    QString digits = scientific.left(e).remove(QLatin1Char('-')).remove(QLatin1Char('.'));
    const int exponent = scientific.mid(e + 1).toInt();
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0'))) {
        digits.chop(1);
    }
    if (digits == QLatin1String("0")) {
        return digits;  // also for -0
    }
    QString text;
    if (exponent < 0) {
        text = QStringLiteral("0.") + QString(-exponent - 1, QLatin1Char('0')) + digits;
    } else if (digits.size() <= exponent + 1) {
        text = digits + QString(exponent + 1 - digits.size(), QLatin1Char('0'));
    } else {
        text = digits.left(exponent + 1) + QLatin1Char('.') + digits.mid(exponent + 1);
    }
    return negative ? QLatin1Char('-') + text : text;
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
