// Received bytes waiting to be read, held the way the input buffer of a classic serial control
// holds them: a fixed capacity, and bytes that arrive while it is full are lost, the oldest ones
// kept, as a hardware overrun keeps them. A board that floods the line, or hours of echoes that
// nobody reads, cost no more than this.
#pragma once

#include <QByteArray>

namespace tolvane {

class InputBuffer {
  public:
    static constexpr int kCapacity = 1024;

    // Keeps what fits and returns how many bytes were dropped.
    qsizetype append(const char* data, qsizetype size);
    // Removes and returns the oldest `length` bytes, or all of them when `length` is 0.
    QByteArray take(qsizetype length = 0);
    void clear() { bytes_.clear(); }
    [[nodiscard]] int size() const { return static_cast<int>(bytes_.size()); }
    [[nodiscard]] bool isFull() const { return bytes_.size() >= kCapacity; }

  private:
    QByteArray bytes_;
};

}  // namespace tolvane
