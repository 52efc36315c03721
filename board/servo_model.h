// The eight servos that the board window shows: where each was last told to go, and where its
// horn is on the way there. Free of widgets and clocks, so tests can drive it step by step.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

#include "protocol/servo_protocol.h"

namespace tolvane::board {

class ServoModel {
  public:
    // Angles are in degrees: 0 points straight up, negative to the left, positive to the right.
    static constexpr double kSweep = 180.0;
    // A hobby servo turns about 60 degrees in 0.2 s.
    static constexpr double kDegreesPerSecond = 300.0;

    // Position 1 is the left end of the sweep, 127 the middle and 254 the right end; 0 and 255
    // stay at the ends.
    static double angleOf(std::uint8_t position);

    // Sends a servo towards a command's position; false for a channel the board has no servo on.
    bool take(PositionCommand command);

    // Turns every horn towards its target by as much as the servo speed allows in `elapsed`.
    void advance(std::chrono::duration<double> elapsed);

    bool moving() const;

    // Channels 0 to 7.
    double angle(int channel) const { return servos_.at(channel).angle; }
    double target(int channel) const { return servos_.at(channel).target; }
    // The last position commanded; nothing before the first command.
    std::optional<std::uint8_t> position(int channel) const { return servos_.at(channel).position; }

  private:
    struct Servo {
        std::optional<std::uint8_t> position;
        double target = 0.0;
        double angle = 0.0;
    };
    std::array<Servo, kChannelCount> servos_{};
};

}  // namespace tolvane::board
