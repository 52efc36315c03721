#include "panel/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleFactory>

#include "panel/app_icon.h"
#include "panel/focus_ring_style.h"
#include "panel/menu_bar_key.h"
#include "panel/step_by_one_style.h"
#include "panel/window_layout.h"

namespace tolvane {

namespace {

const QColor kFieldText(0, 255, 0);
const QColor kFieldBackground(0, 0, 0);
const QColor kLastChannelBackground(64, 0, 0);

QLineEdit* makeField(QWidget* client, const QString& name, layout::TwipRect place,
                     const QColor& background) {
    auto* field = new QLineEdit(client);
    field->setObjectName(name);
    field->setGeometry(layout::toPixels(place));
    field->setAlignment(Qt::AlignCenter);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Text, kFieldText);
    field->setPalette(palette);
    return field;
}

QScrollBar* makeSlider(QWidget* client, const QString& name, Qt::Orientation orientation,
                       layout::TwipRect place, int minimum, int maximum, QStyle* style) {
    auto* slider = new QScrollBar(orientation, client);
    slider->setObjectName(name);
    slider->setGeometry(layout::toPixels(place));
    slider->setStyle(style);
    slider->setRange(minimum, maximum);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    slider->setValue(minimum);
    // Scroll bars take no focus by default; these do, and move with the arrow keys.
    slider->setFocusPolicy(Qt::StrongFocus);
    return slider;
}

QPushButton* makeButton(QWidget* client, const QString& name, const QString& caption,
                        layout::TwipRect place, QStyle* style) {
    auto* button = new QPushButton(caption, client);
    button->setObjectName(name);
    button->setGeometry(layout::toPixels(place));
    button->setStyle(style);
    // Enter presses the focused button and no other; there is no default button.
    button->setAutoDefault(true);
    button->setDefault(false);
    return button;
}

// The default user-interface font, made smaller where needed so that the widest caption fits its
// label and a line of text fits the 19-pixel fields, whatever the platform's default.
QFont fittingFont(QFont font) {
    const int labelWidth = layout::toPixels(layout::kDelayLabel).width();
    const int fieldHeight = layout::toPixels(layout::kStepText).height();
    constexpr qreal kSmallest = 6.0;
    constexpr qreal kStep = 0.5;
    while (font.pointSizeF() > kSmallest) {
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(QStringLiteral("Playback Speed")) <= labelWidth &&
            metrics.height() <= fieldHeight - 4) {
            break;
        }
        font.setPointSizeF(font.pointSizeF() - kStep);
    }
    return font;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tolvane"));
    setWindowIcon(appIcon());
    // A fixed frame with a system menu and a close box, but no minimize or maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    setFont(fittingFont(font()));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(layout::toPixels(layout::kClientArea).size());
    setCentralWidget(client);

    // The controls that take the focus, and the menu bar, are drawn in the application's style
    // with a ring that shows the focus; the sliders' track clicks step by one.
    auto* style = new FocusRingStyle(
        new StepByOneStyle(QStyleFactory::create(QApplication::style()->name())));
    style->setParent(this);
    buildControls(client, style);
    buildMenu(style);
    setTabOrder();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    channelSliders_[0]->setFocus();
}

void MainWindow::buildControls(QWidget* client, QStyle* style) {
    // Every control gets an accessible name that says which channel it serves, for screen readers
    // (eight captions read "Center"); the captions themselves stay as they are.
    //
    // Created from the bottom of the stack to the top: later siblings are drawn over earlier
    // ones, which settles the few overlaps (sliders over their picture boxes, Center buttons over
    // the frame, the picture boxes over the frame's top edge, the delay slider over the label).
    delayLabel_ = new QLabel(QStringLiteral("Playback Speed"), client);
    delayLabel_->setObjectName(QStringLiteral("Label1"));
    delayLabel_->setGeometry(layout::toPixels(layout::kDelayLabel));
    delayLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    frame_ = new QGroupBox(client);
    frame_->setObjectName(QStringLiteral("Frame1"));
    frame_->setGeometry(layout::toPixels(layout::kFrame));

    for (int channel = kChannelCount - 1; channel >= 0; --channel) {
        auto* picture = new QFrame(client);
        picture->setObjectName(QStringLiteral("Picture%1").arg(channel + 1));
        picture->setGeometry(layout::toPixels(layout::channelPicture(channel)));
        picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        picture->setLineWidth(2);
        picture->setFocusPolicy(Qt::StrongFocus);
        picture->setStyle(style);
        picture->setAccessibleName(QStringLiteral("Channel %1 frame").arg(channel));
        pictures_[channel] = picture;
    }
    for (int channel = 0; channel < kChannelCount; ++channel) {
        channelSliders_[channel] =
            makeSlider(client, QStringLiteral("VScroll%1").arg(channel + 1), Qt::Vertical,
                       layout::channelSlider(channel), layout::kChannelMinimum,
                       layout::kChannelMaximum, style);
        channelSliders_[channel]->setAccessibleName(
            QStringLiteral("Channel %1 position").arg(channel));
    }
    for (int channel = 0; channel < kChannelCount; ++channel) {
        centerButtons_[channel] =
            makeButton(client, QStringLiteral("Command%1").arg(channel + 1),
                       QStringLiteral("Center"), layout::centerButton(channel), style);
        centerButtons_[channel]->setAccessibleName(
            QStringLiteral("Center channel %1").arg(channel));
    }
    for (int channel = 0; channel < kChannelCount; ++channel) {
        const bool last = channel == kChannelCount - 1;
        channelTexts_[channel] = makeField(client, QStringLiteral("Text1(%1)").arg(channel),
                                           layout::channelText(channel),
                                           last ? kLastChannelBackground : kFieldBackground);
        channelTexts_[channel]->setAccessibleName(QStringLiteral("Channel %1 value").arg(channel));
    }
    exitButton_ = makeButton(client, QStringLiteral("Command9"), QStringLiteral("Exit"),
                             layout::kExitButton, style);
    saveButton_ = makeButton(client, QStringLiteral("Command10"), QStringLiteral("Save Pos"),
                             layout::kSaveButton, style);
    stepText_ = makeField(client, QStringLiteral("Text2"), layout::kStepText, kFieldBackground);
    playbackButton_ = makeButton(client, QStringLiteral("Command11"), QStringLiteral("Playback"),
                                 layout::kPlaybackButton, style);
    delayText_ = makeField(client, QStringLiteral("Text3"), layout::kDelayText, kFieldBackground);
    delaySlider_ =
        makeSlider(client, QStringLiteral("HScroll1"), Qt::Horizontal, layout::kDelaySlider,
                   layout::kDelayMinimum, layout::kDelayMaximum, style);

    // Exit, Save Pos and Playback go by their captions.
    for (QPushButton* button : {exitButton_, saveButton_, playbackButton_}) {
        button->setAccessibleName(button->text());
    }
    stepText_->setAccessibleName(QStringLiteral("Next step"));
    delayText_->setAccessibleName(QStringLiteral("Playback delay in seconds"));
    delaySlider_->setAccessibleName(QStringLiteral("Playback speed"));
}

void MainWindow::buildMenu(QStyle* style) {
    menuBar()->setStyle(style);
    QMenu* portMenu = menuBar()->addMenu(QStringLiteral("Com Port"));
    portMenu->setObjectName(QStringLiteral("mnuSelectPort"));
    com1Action_ = portMenu->addAction(QStringLiteral("Com1,2400,N,8,1"));
    com1Action_->setObjectName(QStringLiteral("mnuCom12400"));
    com2Action_ = portMenu->addAction(QStringLiteral("Com2,2400,N,8,1"));
    com2Action_->setObjectName(QStringLiteral("mnuCom22400"));
    // The title keeps its caption without a mnemonic; F10 and Alt reach it from the keyboard.
    addMenuBarKey(*this);
}

void MainWindow::setTabOrder() {
    // Tab visits the controls in this order, passing over the frame and the label, which take
    // no focus, and wraps around from the last to the first.
    std::vector<QWidget*> order;
    order.push_back(channelSliders_[0]);
    order.push_back(channelSliders_[1]);
    order.push_back(pictures_[0]);
    order.push_back(pictures_[1]);
    for (int channel = 2; channel < kChannelCount; ++channel) {
        order.push_back(channelSliders_[channel]);
    }
    for (int channel = 2; channel < kChannelCount; ++channel) {
        order.push_back(pictures_[channel]);
    }
    order.insert(order.end(), centerButtons_.begin(), centerButtons_.end());
    order.push_back(frame_);
    order.insert(order.end(), channelTexts_.begin(), channelTexts_.end());
    order.insert(order.end(), {exitButton_, saveButton_, stepText_, playbackButton_, delayText_,
                               delaySlider_, delayLabel_});
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    emit closedByUser();
    event->accept();
}

}  // namespace tolvane
