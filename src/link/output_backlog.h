// Output that waits, in order, until the system has room for it: bytes go in at the back and
// leave from the front in chunks, each chunk costing no more than its own length however long the
// backlog is.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <algorithm>

namespace tolvane {

class OutputBacklog {
  public:
    void append(char byte) { bytes_.append(byte); }
    // The oldest bytes, at most `count`; they stay until drop() removes them.
    [[nodiscard]] QByteArrayView front(qsizetype count) const {
        return QByteArrayView(bytes_).sliced(head_, std::min(count, size()));
    }
    void drop(qsizetype count) {
        head_ += std::min(count, size());
        if (head_ == bytes_.size()) {
            clear();
        } else if (head_ >= kCompactAt && 2 * head_ >= bytes_.size()) {
            // Moving the rest down only once it is no longer than what was dropped keeps the cost
            // of every byte constant.
            bytes_.remove(0, head_);
            head_ = 0;
        }
    }
    void clear() {
        bytes_.clear();
        head_ = 0;
    }
    [[nodiscard]] qsizetype size() const { return bytes_.size() - head_; }
    [[nodiscard]] bool isEmpty() const { return size() == 0; }

  private:
    static constexpr qsizetype kCompactAt = 4096;
    QByteArray bytes_;
    qsizetype head_ = 0;  // where the bytes still waiting begin
};

}  // namespace tolvane
