#include "sequence/player.h"

#include <chrono>

#include "fields/number_text.h"
#include "fields/position_text.h"
#include "sequence/playback_state.h"
#include "sequence/position_table.h"
#include "sequence/sequence_view.h"

namespace tolvane {

namespace {

QString refusal(std::uint64_t step, int channel, const QString& text) {
    return QStringLiteral(
               "Playback stopped at step %1: channel %2 shows \"%3\", which is not a position "
               "from 1 to 254.")
        .arg(step)
        .arg(channel)
        .arg(text);
}

}  // namespace

Player::Player(SequenceView& view, SerialLink& link, const PositionTable& table,
               PlaybackState& state)
    : view_(view),
      table_(table),
      state_(state),
      // A playback whose program is ending stops at the handshake's next look.
      handshake_(link, state.rxBuffer, [view = &view] { return view->ending(); }) {}

void Player::play() {
    EchoState echo;
    // The table may grow while events run, so the count is looked up before every step.
    for (std::uint64_t step = 1; static_cast<double>(step) < table_.posCount(); ++step) {
        view_.showStep(QString::number(step));
        const StepEnd end = playStep(step, echo);
        if (end == StepEnd::Ending) {
            return;
        }
        if (end == StepEnd::Stopped) {
            break;
        }
        // The length is fixed here: a delay change during the hold counts from the next one.
        view_.hold(std::chrono::seconds(state_.playDelay));
        if (view_.ending()) {
            return;
        }
    }
    view_.showStep(stepNumberText(table_.posCount()));
}

Player::StepEnd Player::playStep(std::uint64_t step, EchoState& echo) {
    for (int channel = 0; channel < kChannelCount; ++channel) {
        view_.showChannelText(channel, number_text::plain(table_.position(channel, step)));
        view_.processEvents();
        if (view_.ending()) {
            return StepEnd::Ending;
        }
        // Read back: the user may have typed into the field while events ran.
        const QString text = view_.channelText(channel);
        const auto position = readPosition(text);
        if (!position) {
            return stop(refusal(step, channel, text));
        }
        const auto tries = handshake_.run({static_cast<std::uint8_t>(channel), *position}, echo);
        if (view_.ending()) {
            return StepEnd::Ending;
        }
        if (!tries) {
            return stop(kCommunicationsProblem);
        }
        view_.showMessage(QString::number(*tries));
        if (view_.ending()) {
            return StepEnd::Ending;
        }
    }
    return moveSliders(step);
}

Player::StepEnd Player::moveSliders(std::uint64_t step) {
    for (int channel = 0; channel < kChannelCount; ++channel) {
        // The slider range is the position range, 1 to 254. An earlier channel's field may have
        // been typed into while a later channel ran window events; it is refused as a handshake
        // position would be, rather than passed over.
        const QString text = view_.channelText(channel);
        const auto value = readPosition(text);
        if (!value) {
            return stop(refusal(step, channel, text));
        }
        view_.setChannelSlider(channel, *value);
        if (view_.ending()) {
            return StepEnd::Ending;
        }
    }
    return StepEnd::Played;
}

Player::StepEnd Player::stop(const QString& message) {
    view_.showMessage(message);
    return view_.ending() ? StepEnd::Ending : StepEnd::Stopped;
}

}  // namespace tolvane
