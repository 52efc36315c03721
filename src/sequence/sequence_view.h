// What the step sequence needs of the window. Recording, playback and the delay slider reach the
// controls only through this, so they can be driven without widgets.
#pragma once

#include <QString>
#include <chrono>

namespace tolvane {

class SequenceView {
  public:
    virtual ~SequenceView() = default;

    // The text of channel k's field (k = 0..7), as it stands now.
    [[nodiscard]] virtual QString channelText(int channel) const = 0;
    // Writes channel k's field and repaints it before returning.
    virtual void showChannelText(int channel, const QString& text) = 0;
    // Sets channel k's slider. A value that differs from the current one runs the channel's
    // change handling before this returns: the field is rewritten and the command sent.
    virtual void setChannelSlider(int channel, int value) = 0;
    // The step field, repainted before returning.
    virtual void showStep(const QString& text) = 0;
    // The delay field.
    virtual void showDelay(const QString& text) = 0;

    // Runs the window events pending now, then returns. Any handler may run in here.
    virtual void processEvents() = 0;
    // Runs window events as they come, sleeping in between, until `length` has passed on a
    // monotonic clock; returns early once the program is ending.
    virtual void hold(std::chrono::milliseconds length) = 0;
    // A modal message with an OK button; returns once the user has closed it.
    virtual void showMessage(const QString& text) = 0;

    // True once Exit or the close box has ended the program; nothing more may be sent then.
    [[nodiscard]] virtual bool ending() const = 0;
};

}  // namespace tolvane
