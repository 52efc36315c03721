// Numbers as the text fields show them, and text read back as numbers.
//
// Two written forms: " 127" (one leading blank for a non-negative number, as the sliders write)
// and plain "127" or "12.5". Reading skips blanks around the number, is independent of the
// user's locale, and never turns text without a number into 0: it answers "no number" instead.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace tolvane::number_text {

// " 127" for 127, "-3" for -3.
QString withBlank(int value);

// Plain decimal text, never an exponent: "127" for 127, "100000" for 100000, "12.5" for 12.5,
// "0.333333333333333" for 1/3: at most 15 significant digits, no trailing zeros.
QString plain(double value);

// The whole text as a number: optional blanks, optional sign, digits with an optional fraction
// and exponent, optional blanks. Empty text, letters, trailing junk, infinities and numbers
// beyond the range of a double give nothing.
std::optional<double> readNumber(const QString& text);

// As readNumber, then rounded to the nearest whole number, a half to the even one; nothing
// when the rounded number does not fit the type.
std::optional<std::int16_t> readInt16(const QString& text);
std::optional<std::int32_t> readInt32(const QString& text);

}  // namespace tolvane::number_text
