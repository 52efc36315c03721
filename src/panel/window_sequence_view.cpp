#include "panel/window_sequence_view.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>

#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/user_messages.h"

namespace tolvane {

namespace {

void showNow(QLineEdit* field, const QString& text) {
    field->setText(text);
    field->repaint();
}

}  // namespace

QString WindowSequenceView::channelText(int channel) const {
    return window_.channelText(channel)->text();
}

void WindowSequenceView::showChannelText(int channel, const QString& text) {
    showNow(window_.channelText(channel), text);
}

void WindowSequenceView::setChannelSlider(int channel, int value) {
    // Emits valueChanged, and so runs the channel's change handling, only when the value changes.
    window_.channelSlider(channel)->setValue(value);
}

void WindowSequenceView::showStep(const QString& text) {
    showNow(window_.stepText(), text);
}

void WindowSequenceView::showDelay(const QString& text) {
    window_.delayText()->setText(text);
}

void WindowSequenceView::processEvents() {
    QCoreApplication::processEvents();
}

void WindowSequenceView::hold(std::chrono::milliseconds length) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + length;
    // A timer may fire a little before its time; go round again for what is left.
    while (!ending()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) {
            return;
        }
        QEventLoop loop;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&panel_, &Panel::finished, &loop, &QEventLoop::quit);
        timer.start(left);
        loop.exec();
    }
}

void WindowSequenceView::showMessage(const QString& text) {
    messages_.show(text);
}

bool WindowSequenceView::ending() const {
    return panel_.closing();
}

}  // namespace tolvane
