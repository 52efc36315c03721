// The step sequence as the panel uses it: the recorded table, recording, playback and the delay
// slider, sharing one table and one playback state.
#pragma once

#include "sequence/delay_control.h"
#include "sequence/playback_state.h"
#include "sequence/player.h"
#include "sequence/position_table.h"
#include "sequence/recorder.h"

namespace tolvane {

class SequenceView;
class SerialLink;

class Sequence {
  public:
    Sequence(SequenceView& view, SerialLink& link)
        : view_(view),
          recorder_(view, table_),
          player_(view, link, table_, state_),
          delay_(view, state_) {}
    Sequence(const Sequence&) = delete;
    Sequence& operator=(const Sequence&) = delete;

    // Start-up: nothing recorded, holds of one second; the step and delay fields say "1".
    void start();
    void save() { recorder_.save(); }
    void play() { player_.play(); }
    void delayChanged(int value) { delay_.changed(value); }

    const PositionTable& table() const { return table_; }
    const PlaybackState& playback() const { return state_; }

  private:
    SequenceView& view_;
    PositionTable table_;
    PlaybackState state_;
    Recorder recorder_;
    Player player_;
    DelayControl delay_;
};

}  // namespace tolvane
