#include "board_window.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace tolvane::board {

namespace {

constexpr std::chrono::milliseconds kFrameInterval{16};

// The horn and the target mark keep their own colours, which read on a light and a dark face.
const QColor kHorn(0x1f, 0x5f, 0xa8);
const QColor kTarget(0xe0, 0x6c, 0x1a);

// `share` of the way from `from` to `to`.
QColor mixed(const QColor& from, const QColor& to, double share) {
    const auto channel = [share](int a, int b) {
        return static_cast<int>(std::lround(a + (b - a) * share));
    };
    return {channel(from.red(), to.red()), channel(from.green(), to.green()),
            channel(from.blue(), to.blue())};
}

// A point `length` from `centre` in the direction of a servo angle (0 up, positive clockwise).
QPointF along(const QPointF& centre, double degrees, qreal length) {
    const double radians = degrees * std::numbers::pi / 180.0;
    return centre + QPointF(length * std::sin(radians), -length * std::cos(radians));
}

// The largest dial that fits a cell above its label, with a margin: a half disc on a hub, about
// twice as wide as it is high.
qreal dialRadius(const QSizeF& cell, qreal labelHeight) {
    return std::max(4.0, std::min(cell.width() / 2.2, (cell.height() - labelHeight) / 1.25));
}

// The grid (columns) that gives the dials the most room in `area`.
int bestColumns(const QSizeF& area, qreal labelHeight) {
    int best = 1;
    qreal bestRadius = -1;
    for (const int columns : {8, 4, 2, 1}) {
        const int rows = kChannelCount / columns;
        const qreal radius =
            dialRadius(QSizeF(area.width() / columns, area.height() / rows), labelHeight);
        if (radius > bestRadius) {
            bestRadius = radius;
            best = columns;
        }
    }
    return best;
}

}  // namespace

QString describeReply(ReplyMode mode, std::chrono::milliseconds delay) {
    QString text = mode == ReplyMode::Echo          ? QStringLiteral("echo")
                   : mode == ReplyMode::ChannelOnly ? QStringLiteral("channel byte only")
                                                    : QStringLiteral("no reply");
    if (mode != ReplyMode::None && delay.count() != 0) {
        text += QStringLiteral(" after %1 ms").arg(delay.count());
    }
    return text;
}

BoardWindow::BoardWindow(Description description, QWidget* parent)
    : QWidget(parent), description_(std::move(description)) {
    setWindowTitle(QStringLiteral("Tolvane board"));
    setMinimumSize(240, 150);
    frames_.setTimerType(Qt::PreciseTimer);
    frames_.setInterval(kFrameInterval);
    connect(&frames_, &QTimer::timeout, this, &BoardWindow::nextFrame);
}

void BoardWindow::report(const std::vector<PositionCommand>& commands, const LineStatus& line) {
    for (const PositionCommand& command : commands) {
        servos_.take(command);
    }
    line_ = line;
    if (servos_.moving() && !frames_.isActive()) {
        sinceFrame_.start();
        frames_.start();
    }
    update();
}

void BoardWindow::nextFrame() {
    servos_.advance(std::chrono::nanoseconds(sinceFrame_.nsecsElapsed()));
    sinceFrame_.restart();
    if (!servos_.moving()) {
        frames_.stop();
    }
    update();
}

// Everything else follows the system's palette, light or dark.
BoardWindow::Colours BoardWindow::colours() const {
    const QPalette& p = palette();
    const QColor ink = p.color(QPalette::WindowText);
    return {p.color(QPalette::Window), p.color(QPalette::Base), ink,
            mixed(p.color(QPalette::Base), ink, 0.45), mixed(p.color(QPalette::Window), ink, 0.12)};
}

void BoardWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Colours colour = colours();
    painter.fillRect(rect(), colour.background);

    // Text grows with the window, within readable bounds.
    QFont statusFont = painter.font();
    statusFont.setPixelSize(
        static_cast<int>(std::clamp(std::min(height() / 32.0, width() / 48.0), 10.0, 16.0)));
    const QFontMetricsF metrics(statusFont);
    const qreal margin = metrics.height() * 0.5;
    const QStringList lines = flowStatus(metrics, width() - 2 * margin);
    const qreal statusHeight = metrics.lineSpacing() * lines.size() + 2 * margin;
    const QRectF status(0, height() - statusHeight, width(), statusHeight);
    const QRectF servos(0, 0, width(), height() - statusHeight);

    const qreal textSize = std::clamp(std::min(servos.width(), servos.height()) / 26, 9.0, 18.0);
    const int columns = bestColumns(servos.size(), textSize * 2.6);
    const int rows = kChannelCount / columns;
    const qreal cellWidth = servos.width() / columns;
    const qreal cellHeight = servos.height() / rows;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        const int row = channel / columns;
        const int column = channel % columns;
        const QRectF cell(cellWidth * column, cellHeight * row, cellWidth, cellHeight);
        drawServo(painter, cell, channel, textSize, colour);
    }

    painter.fillRect(status, colour.band);
    painter.setFont(statusFont);
    painter.setPen(colour.ink);
    painter.drawText(status.adjusted(margin, margin, -margin, -margin),
                     Qt::AlignLeft | Qt::AlignTop, lines.join(QLatin1Char('\n')));
}

// The status line's parts, as many to a line as fit `width`; a part wider than that is elided.
QStringList BoardWindow::flowStatus(const QFontMetricsF& metrics, qreal width) const {
    const QString separator = QStringLiteral("   ");
    QStringList lines;
    for (const QString& part : statusParts()) {
        const QString joined = lines.isEmpty() ? part : lines.back() + separator + part;
        if (!lines.isEmpty() && metrics.horizontalAdvance(joined) <= width) {
            lines.back() = joined;
        } else {
            lines.append(metrics.elidedText(part, Qt::ElideRight, width));
        }
    }
    return lines;
}

void BoardWindow::drawServo(QPainter& painter, const QRectF& cell, int channel, qreal textSize,
                            const Colours& colour) const {
    const qreal labelHeight = textSize * 2.6;
    const qreal radius = dialRadius(cell.size(), labelHeight);
    // The half disc, the hub below its centre and the label form one block, centred in the cell.
    const qreal block = radius * 1.2 + labelHeight;
    const QPointF hub(cell.center().x(), cell.center().y() - block / 2 + radius * 1.05);
    QRectF disc(0, 0, 2 * radius, 2 * radius);
    disc.moveCenter(hub);
    QPainterPath face;
    face.moveTo(hub);
    face.arcTo(disc, 0, 180);
    face.closeSubpath();
    painter.setPen(QPen(colour.ink, std::max(1.0, radius / 40)));
    painter.setBrush(colour.face);
    painter.drawPath(face);

    // Ticks every 22.5 degrees, longer at the ends, the quarters and the middle.
    for (int step = -4; step <= 4; ++step) {
        const double degrees = step * ServoModel::kSweep / 8;
        const qreal inner = radius * (step % 2 == 0 ? 0.82 : 0.9);
        painter.setPen(QPen(colour.tick, std::max(1.0, radius / 50)));
        painter.drawLine(along(hub, degrees, inner), along(hub, degrees, radius * 0.97));
    }

    if (servos_.position(channel)) {
        // Where the servo is heading, on the rim.
        painter.setPen(Qt::NoPen);
        painter.setBrush(kTarget);
        painter.drawEllipse(along(hub, servos_.target(channel), radius * 0.9), radius * 0.06,
                            radius * 0.06);
    }

    const double angle = servos_.angle(channel);
    QPen horn(kHorn, radius * 0.14, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(horn);
    painter.drawLine(hub, along(hub, angle, radius * 0.72));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour.face);
    painter.drawEllipse(along(hub, angle, radius * 0.64), radius * 0.035, radius * 0.035);
    painter.setBrush(colour.ink);
    painter.drawEllipse(hub, radius * 0.11, radius * 0.11);

    QFont font = painter.font();
    font.setPixelSize(static_cast<int>(textSize));
    painter.setFont(font);
    painter.setPen(colour.ink);
    const QRectF label(cell.left(), hub.y() + radius * 0.15, cell.width(), labelHeight);
    const auto position = servos_.position(channel);
    const QString text = QStringLiteral("channel %1\n%2")
                             .arg(channel)
                             .arg(position ? QString::number(*position) : QStringLiteral("-"));
    painter.drawText(label, Qt::AlignHCenter | Qt::AlignTop, text);
}

QStringList BoardWindow::statusParts() const {
    QStringList parts{description_.device,
                      QStringLiteral("%1 commands received").arg(line_.commands),
                      QStringLiteral("reply: ") + description_.reply};
    if (description_.baud == 0) {
        parts.append(QStringLiteral("line: unpaced"));
    } else {
        const double seconds = static_cast<double>(line_.waiting) * 10 / description_.baud;
        parts.append(QStringLiteral("line: %1 baud, %2 bytes waiting (%3 s)")
                         .arg(description_.baud)
                         .arg(line_.waiting)
                         .arg(seconds, 0, 'f', 2));
    }
    if (description_.latency.count() > 0) {
        parts.append(QStringLiteral("adapter latency %1 ms").arg(description_.latency.count()));
    }
    return parts;
}

}  // namespace tolvane::board
