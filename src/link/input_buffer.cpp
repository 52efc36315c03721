#include "link/input_buffer.h"

#include <algorithm>
#include <utility>

namespace tolvane {

qsizetype InputBuffer::append(const char* data, qsizetype size) {
    const qsizetype kept = std::min(size, kCapacity - bytes_.size());
    bytes_.append(data, kept);
    return size - kept;
}

QByteArray InputBuffer::take(qsizetype length) {
    if (length <= 0 || length >= bytes_.size()) {
        return std::exchange(bytes_, QByteArray());
    }
    QByteArray taken = bytes_.left(length);
    bytes_.remove(0, length);
    return taken;
}

}  // namespace tolvane
