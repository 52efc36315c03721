// The "Playback Speed" slider: its value is the hold of each played step, in whole seconds.
#pragma once

namespace tolvane {

class SequenceView;
struct PlaybackState;

class DelayControl {
  public:
    DelayControl(SequenceView& view, PlaybackState& state) : view_(view), state_(state) {}

    // Holds last one second and the field says "1", wherever the slider's thumb stands.
    void start();
    // A new slider value: the field shows " n" and the next hold lasts n seconds.
    void changed(int value);

  private:
    SequenceView& view_;
    PlaybackState& state_;
};

}  // namespace tolvane
