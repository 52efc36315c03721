#include "sequence/position_table.h"

namespace tolvane {

void PositionTable::append(const Step& positions) {
    posTable_.push_back(positions);
    posCount_ += 1;
}

double PositionTable::position(int channel, std::size_t step) const {
    return posTable_.at(step - 1).at(static_cast<std::size_t>(channel));
}

QString stepNumberText(double number) {
    // Step numbers are whole; the shortest double text would turn 1000000 into "1e+06".
    return QString::number(static_cast<qint64>(number));
}

}  // namespace tolvane
