#include "sequence/delay_control.h"

#include <algorithm>

#include "fields/number_text.h"
#include "sequence/playback_state.h"
#include "sequence/sequence_view.h"

namespace tolvane {

void DelayControl::start() {
    state_.playDelay = 1;
    view_.showDelay(number_text::plain(state_.playDelay));
}

void DelayControl::changed(int value) {
    view_.showDelay(number_text::withBlank(value));
    state_.playDelay = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

}  // namespace tolvane
