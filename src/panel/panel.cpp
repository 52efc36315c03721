#include "panel/panel.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "fields/number_text.h"
#include "link/serial_link.h"
#include "panel/channel_control.h"
#include "panel/link_messages.h"
#include "panel/main_window.h"
#include "panel/port_keeper.h"
#include "panel/port_menu.h"
#include "panel/user_messages.h"
#include "panel/window_sequence_view.h"
#include "sequence/sequence.h"

namespace tolvane {

Panel::Panel(SerialLink& link, UserMessages& messages, QObject* parent)
    : Panel(link, messages, PortLookup{}, parent) {}

Panel::Panel(SerialLink& link, UserMessages& messages, PortLookup lookup, QObject* parent)
    : QObject(parent),
      link_(link),
      messages_(messages),
      window_(std::make_unique<MainWindow>()),
      channels_(std::make_unique<ChannelControl>(*window_, link_)),
      keeper_(std::make_unique<PortKeeper>(link_, std::move(lookup))),
      portMenu_(std::make_unique<PortMenu>(
          *keeper_, messages_, [this](const LinkError& error) { reportLinkError(error); })),
      sequenceView_(std::make_unique<WindowSequenceView>(*window_, messages_, *this)),
      sequence_(std::make_unique<Sequence>(*sequenceView_, link_)) {
    connect(&link_, &SerialLink::lost, this, [this](const LinkError& error) {
        keeper_->lost();  // before the message, which waits for the user
        reportLinkError(error);
    });
    connect(window_->com1Action(), &QAction::triggered, portMenu_.get(), &PortMenu::chooseCom1);
    connect(window_->com2Action(), &QAction::triggered, portMenu_.get(), &PortMenu::chooseCom2);
    connect(window_->exitButton(), &QPushButton::clicked, this, &Panel::exitProgram);
    connect(window_->saveButton(), &QPushButton::clicked, this, [this] { sequence_->save(); });
    connect(window_->playbackButton(), &QPushButton::clicked, this, &Panel::play);
    // valueChanged alone covers clicks, keys and every reported thumb move.
    connect(window_->delaySlider(), &QScrollBar::valueChanged, this,
            [this](int value) { sequence_->delayChanged(value); });
    connect(window_.get(), &MainWindow::closedByUser, this, &Panel::end);
}

Panel::~Panel() = default;

void Panel::load() {
    if (const auto error = keeper_->open(1)) {
        QTimer::singleShot(0, this, [this, error = *error] { reportLinkError(error); });
    }

    sequence_->start();

    for (int channel = 0; channel < kChannelCount; ++channel) {
        window_->channelText(channel)->setText(number_text::withBlank(kCentrePosition));
        writeCommand(link_, {static_cast<std::uint8_t>(channel), kCentrePosition});
    }
    // Each slider moves from 1 to the centre, so its change handling sends the centre again.
    for (int channel = 0; channel < kChannelCount; ++channel) {
        window_->channelSlider(channel)->setValue(kCentrePosition);
    }
}

void Panel::exitProgram() {
    end();
}

void Panel::end() {
    if (closing_) {
        return;
    }
    closing_ = true;
    keeper_->stop();
    if (link_.isOpen()) {
        link_.close();
    }
    emit finished();
}

void Panel::play() {
    // The port is neither closed nor opened by the keeper while a playback runs.
    keeper_->playbackStarted();
    sequence_->play();
    keeper_->playbackEnded();
}

void Panel::reportLinkError(const LinkError& error) {
    if (!closing_) {
        messages_.show(describeLinkError(error));
    }
}

}  // namespace tolvane
