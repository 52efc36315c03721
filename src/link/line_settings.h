// The line's speed and framing, read from a settings text such as "2400,N,8,1".
#pragma once

#include <QString>
#include <optional>

namespace tolvane {

// The line as a settings text describes it: "2400,N,8,1" is 2400 baud, no parity, 8 data bits
// and 1 stop bit.
struct LineSettings {
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    int baudRate = 2400;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    // Nothing when the text is malformed: four comma-separated fields, a positive baud rate,
    // parity N, E, O, M or S, 5 to 8 data bits, 1, 1.5 or 2 stop bits.
    static std::optional<LineSettings> parse(const QString& text);

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

}  // namespace tolvane
