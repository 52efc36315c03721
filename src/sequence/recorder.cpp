#include "sequence/recorder.h"

#include "fields/number_text.h"
#include "sequence/position_table.h"
#include "sequence/sequence_view.h"

namespace tolvane {

void Recorder::save() {
    PositionTable::Step positions{};
    for (int channel = 0; channel < kChannelCount; ++channel) {
        const QString text = view_.channelText(channel);
        const auto number = number_text::readNumber(text);
        if (!number) {
            view_.showMessage(
                QStringLiteral(
                    "Position not saved: channel %1 shows \"%2\", which is not a number.")
                    .arg(channel)
                    .arg(text));
            return;
        }
        positions[static_cast<std::size_t>(channel)] = *number;
    }
    table_.append(positions);
    view_.showStep(stepNumberText(table_.posCount()));
}

}  // namespace tolvane
