// Manual control of the eight channels. Every value change of a channel slider, by the user or by
// code, writes the value into the channel's text field and sends it to the board at once; a
// Center click sends the centre position and brings the field and slider there.
#pragma once

#include <QObject>

namespace tolvane {

class MainWindow;
class SerialLink;

class ChannelControl final : public QObject {
    Q_OBJECT

  public:
    ChannelControl(MainWindow& window, SerialLink& link, QObject* parent = nullptr);

    // The slider's value becomes the field's text " v", and the text is sent as the position.
    void sendSliderPosition(int channel);
    // Sends the centre position, then moves field and slider there; a slider that moves sends the
    // centre position once more through its own change handling.
    void center(int channel);

  private:
    MainWindow& window_;
    SerialLink& link_;
};

}  // namespace tolvane
