// The step sequence's view of the main window: fields, sliders, message boxes, the event loop,
// and whether Exit or the close box has ended the program.
#pragma once

#include "sequence/sequence_view.h"

namespace tolvane {

class MainWindow;
class Panel;
class UserMessages;

class WindowSequenceView final : public SequenceView {
  public:
    WindowSequenceView(MainWindow& window, UserMessages& messages, const Panel& panel)
        : window_(window), messages_(messages), panel_(panel) {}

    QString channelText(int channel) const override;
    void showChannelText(int channel, const QString& text) override;
    void setChannelSlider(int channel, int value) override;
    void showStep(const QString& text) override;
    void showDelay(const QString& text) override;
    void processEvents() override;
    // Sleeps in a local event loop until a precise timer fires at the end, or Exit is clicked.
    void hold(std::chrono::milliseconds length) override;
    void showMessage(const QString& text) override;
    bool ending() const override;

  private:
    MainWindow& window_;
    UserMessages& messages_;
    const Panel& panel_;
};

}  // namespace tolvane
