#include "fields/number_text.h"

#include <QLocale>
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

const char* skipDigits(const char* first, const char* last) {
    while (first != last && isDigit(*first)) {
        ++first;
    }
    return first;
}

// Digits with an optional point and fraction, then an optional exponent ("e", an optional sign,
// digits), and nothing else.
bool isDecimalNumber(const char* first, const char* last) {
    first = skipDigits(first, last);
    if (first != last && *first == '.') {
        first = skipDigits(first + 1, last);
    }
    if (first != last && (*first == 'e' || *first == 'E')) {
        ++first;
        if (first != last && (*first == '+' || *first == '-')) {
            ++first;
        }
        const char* digits = first;
        first = skipDigits(first, last);
        if (first == digits) {
            return false;
        }
    }
    return first == last;
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
    // A number starts with a digit or a point followed by a digit; this also keeps out "inf",
    // "nan" and a second sign.
    const bool startsNumber =
        first != last &&
        (isDigit(*first) || (*first == '.' && first + 1 != last && isDigit(first[1])));
    if (!startsNumber || !isDecimalNumber(first, last)) {
        return std::nullopt;
    }
    // The C locale's reading, whatever the user's: the form is checked above, and QLocale would
    // otherwise also take group separators ("1,000") and blanks. It rounds to the nearest double
    // and fails, like the form check, beyond the range of a double.
    bool ok = false;
    const double value = QLocale::c().toDouble(
        QString::fromLatin1(first, static_cast<qsizetype>(last - first)), &ok);
    if (!ok || !std::isfinite(value)) {
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
