// The board's window: a dial for each of the eight servos, its horn at the servo's angle and its
// channel and last position beneath, over a status line. Draws at any size and pixel ratio; the
// horns turn at servo speed. Fed from the board's serving loop, it holds no board logic itself.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "board_server.h"
#include "servo_model.h"

namespace tolvane::board {

class BoardWindow : public QWidget {
  public:
    struct Description {
        QString device;                        // e.g. /dev/pts/5
        QString reply;                         // how the board answers, e.g. "echo after 40 ms"
        long baud = 0;                         // 0: unpaced
        std::chrono::milliseconds latency{0};  // the adapter's latency timer; 0: none
    };

    explicit BoardWindow(Description description, QWidget* parent = nullptr);

    // What the serving loop took since the last report, and the line as it stands.
    void report(const std::vector<PositionCommand>& commands, const LineStatus& line);

    QSize sizeHint() const override { return {640, 400}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Colours {
        QColor background, face, ink, tick, band;
    };

    void nextFrame();
    Colours colours() const;
    void drawServo(QPainter& painter, const QRectF& cell, int channel, qreal textSize,
                   const Colours& colour) const;
    QStringList statusParts() const;
    QStringList flowStatus(const QFontMetricsF& metrics, qreal width) const;

    Description description_;
    LineStatus line_;
    ServoModel servos_;
    QTimer frames_;
    QElapsedTimer sinceFrame_;
};

// How a board with these reply settings answers, in the words of the status line.
QString describeReply(ReplyMode mode, std::chrono::milliseconds delay);

}  // namespace tolvane::board
