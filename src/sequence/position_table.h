// The recorded steps: eight channel positions each, numbered from 1, kept as they were read.
#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <vector>

#include "protocol/servo_protocol.h"

namespace tolvane {

class PositionTable {
  public:
    using Step = std::array<double, kChannelCount>;

    // The number the next recorded step will get: one more than the steps recorded.
    [[nodiscard]] double posCount() const { return posCount_; }
    [[nodiscard]] std::size_t stepCount() const { return posTable_.size(); }

    // Appends a step; every earlier step keeps its values.
    void append(const Step& positions);
    // The position of `channel` in `step` (1 to stepCount()), by value: the table may grow
    // while a caller runs window events, so nothing may point into it.
    [[nodiscard]] double position(int channel, std::size_t step) const;

  private:
    std::vector<Step> posTable_;
    double posCount_ = 1;
};

// A step number as the step field shows it: "1", "300", never in exponent form.
QString stepNumberText(double number);

}  // namespace tolvane
