// "Playback": every recorded step in order. For each channel the stored position goes into its
// field and out to the board until the board echoes the channel; the tries are reported, the
// sliders follow, and the step is held while the window keeps working.
#pragma once

#include <QString>
#include <cstdint>

#include "sequence/echo_handshake.h"
#include "sequence/playback_state.h"

namespace tolvane {

class PositionTable;
class SequenceView;
class SerialLink;

inline constexpr QLatin1String kCommunicationsProblem("Communications problem encountered");

class Player {
  public:
    Player(SequenceView& view, SerialLink& link, const PositionTable& table, PlaybackState& state);

    // Returns when the last step has been held, after a failure has been reported, or at once
    // when the program ends meanwhile. Window events run while a channel's field is fresh and
    // during each hold; a playback started there runs whole with its own counters.
    void play();

  private:
    enum class StepEnd { Played, Stopped, Ending };

    StepEnd playStep(std::uint64_t step, EchoState& echo);
    StepEnd moveSliders(std::uint64_t step);
    StepEnd stop(const QString& message);

    SequenceView& view_;
    const PositionTable& table_;
    PlaybackState& state_;
    EchoHandshake handshake_;
};

}  // namespace tolvane
