// The one window: eight channel columns (text field, slider in its picture box, Center button)
// over a strip with Exit, Save Pos, Playback, the step and delay fields and the delay slider,
// and the "Com Port" menu. It only builds and exposes the controls; Panel gives them meaning.
#pragma once

#include <QMainWindow>
#include <array>

#include "protocol/servo_protocol.h"

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QStyle;

namespace tolvane {

class MainWindow final : public QMainWindow {
    Q_OBJECT

  public:
    explicit MainWindow(QWidget* parent = nullptr);

    QLineEdit* channelText(int channel) const { return channelTexts_.at(channel); }
    QScrollBar* channelSlider(int channel) const { return channelSliders_.at(channel); }
    QPushButton* centerButton(int channel) const { return centerButtons_.at(channel); }
    QPushButton* exitButton() const { return exitButton_; }
    QPushButton* saveButton() const { return saveButton_; }
    QPushButton* playbackButton() const { return playbackButton_; }
    QLineEdit* stepText() const { return stepText_; }
    QLineEdit* delayText() const { return delayText_; }
    QScrollBar* delaySlider() const { return delaySlider_; }
    QAction* com1Action() const { return com1Action_; }
    QAction* com2Action() const { return com2Action_; }

  signals:
    // The user closed the window with its close box.
    void closedByUser();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildControls(QWidget* client, QStyle* style);
    void buildMenu(QStyle* style);
    void setTabOrder();

    std::array<QLineEdit*, kChannelCount> channelTexts_{};
    std::array<QFrame*, kChannelCount> pictures_{};
    std::array<QScrollBar*, kChannelCount> channelSliders_{};
    std::array<QPushButton*, kChannelCount> centerButtons_{};
    QGroupBox* frame_ = nullptr;
    QLabel* delayLabel_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* playbackButton_ = nullptr;
    QLineEdit* stepText_ = nullptr;
    QLineEdit* delayText_ = nullptr;
    QScrollBar* delaySlider_ = nullptr;
    QAction* com1Action_ = nullptr;
    QAction* com2Action_ = nullptr;
};

}  // namespace tolvane
