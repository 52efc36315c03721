// What playback keeps between runs. Each run's own counters live in the run itself.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace tolvane {

struct PlaybackState {
    // Whole seconds each played step is held; read when a hold starts.
    std::uint8_t playDelay = 1;
    // All that the last reading try took from the port. Shared by nested runs.
    QByteArray rxBuffer;
};

}  // namespace tolvane
