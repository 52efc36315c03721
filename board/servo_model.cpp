#include "servo_model.h"

#include <algorithm>

namespace tolvane::board {

namespace {

constexpr int kFirst = 1;
constexpr int kLast = 254;

}  // namespace

// 127 sits exactly in the middle, so the two halves have different steps: 126 positions lie to
// its left and 127 to its right.
double ServoModel::angleOf(std::uint8_t position) {
    const int clamped = std::clamp<int>(position, kFirst, kLast);
    const double half = kSweep / 2;
    if (clamped <= kCentrePosition) {
        return -half * (kCentrePosition - clamped) / (kCentrePosition - kFirst);
    }
    return half * (clamped - kCentrePosition) / (kLast - kCentrePosition);
}

bool ServoModel::take(PositionCommand command) {
    if (command.channel >= servos_.size()) {
        return false;
    }
    Servo& servo = servos_[command.channel];
    servo.position = command.position;
    servo.target = angleOf(command.position);
    return true;
}

void ServoModel::advance(std::chrono::duration<double> elapsed) {
    const double step = kDegreesPerSecond * std::max(0.0, elapsed.count());
    for (Servo& servo : servos_) {
        servo.angle = servo.target > servo.angle ? std::min(servo.target, servo.angle + step)
                                                 : std::max(servo.target, servo.angle - step);
    }
}

bool ServoModel::moving() const {
    return std::any_of(servos_.begin(), servos_.end(),
                       [](const Servo& servo) { return servo.angle != servo.target; });
}

}  // namespace tolvane::board
