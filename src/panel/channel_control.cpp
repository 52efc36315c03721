#include "panel/channel_control.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "fields/number_text.h"
#include "fields/position_text.h"
#include "link/serial_link.h"
#include "panel/main_window.h"

namespace tolvane {

ChannelControl::ChannelControl(MainWindow& window, SerialLink& link, QObject* parent)
    : QObject(parent), window_(window), link_(link) {
    for (int channel = 0; channel < kChannelCount; ++channel) {
        // valueChanged alone covers arrows, track, keys and every reported thumb move: Qt also
        // emits sliderMoved during a drag, and listening to both would send each move twice.
        connect(window_.channelSlider(channel), &QScrollBar::valueChanged, this,
                [this, channel] { sendSliderPosition(channel); });
        connect(window_.centerButton(channel), &QPushButton::clicked, this,
                [this, channel] { center(channel); });
    }
}

void ChannelControl::sendSliderPosition(int channel) {
    QLineEdit* text = window_.channelText(channel);
    text->setText(number_text::withBlank(window_.channelSlider(channel)->value()));
    // The position is read back from the field, which now holds the slider's value.
    if (const auto position = readPosition(text->text())) {
        writeCommand(link_, {static_cast<std::uint8_t>(channel), *position});
    }
}

void ChannelControl::center(int channel) {
    writeCommand(link_, {static_cast<std::uint8_t>(channel), kCentrePosition});
    window_.channelText(channel)->setText(number_text::withBlank(kCentrePosition));
    window_.channelSlider(channel)->setValue(kCentrePosition);
}

}  // namespace tolvane
