// The window as laid out: every control's name, kind, place, caption, colours, range, stacking
// and tab order, checked against the layout tables.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "panel/main_window.h"

namespace tolvane {
namespace {

struct Placement {
    QString name;
    const char* kind;  // Qt class name
    QRect twips;       // left, top, width, height in twips
    QString caption;   // for buttons and the label
};

std::vector<Placement> allControls() {
    std::vector<Placement> controls;
    for (int k = 0; k < 8; ++k) {
        const int pitch = 840 * k;
        controls.push_back({QStringLiteral("Text1(%1)").arg(k), "QLineEdit",
                            QRect(120 + pitch, 240, 735, 285), QString()});
        controls.push_back({QStringLiteral("Picture%1").arg(k + 1), "QFrame",
                            QRect(240 + pitch, 600, 495, 3975), QString()});
        controls.push_back({QStringLiteral("VScroll%1").arg(k + 1), "QScrollBar",
                            QRect(360 + pitch, 720, 255, 3735), QString()});
        controls.push_back({QStringLiteral("Command%1").arg(k + 1), "QPushButton",
                            QRect(120 + pitch, 4800, 735, 375), QStringLiteral("Center")});
    }
    controls.push_back({"Frame1", "QGroupBox", QRect(0, 4560, 6855, 735), QString()});
    controls.push_back({"Command9", "QPushButton", QRect(960, 5520, 855, 375), "Exit"});
    controls.push_back({"Command10", "QPushButton", QRect(2160, 5520, 855, 375), "Save Pos"});
    controls.push_back({"Command11", "QPushButton", QRect(3360, 5520, 855, 375), "Playback"});
    controls.push_back({"Text3", "QLineEdit", QRect(4920, 5520, 855, 285), QString()});
    controls.push_back({"Label1", "QLabel", QRect(4800, 5880, 1215, 255), "Playback Speed"});
    controls.push_back({"Text2", "QLineEdit", QRect(2160, 6000, 855, 285), QString()});
    controls.push_back({"HScroll1", "QScrollBar", QRect(4560, 6120, 1575, 255), QString()});
    return controls;
}

QWidget* control(const MainWindow& window, const QString& name) {
    return window.findChild<QWidget*>(name);
}

TEST(MainWindow, EveryControlHasItsNameKindPlaceAndCaption) {
    MainWindow window;
    const auto controls = allControls();
    ASSERT_EQ(controls.size(), 40u);
    for (const Placement& expected : controls) {
        SCOPED_TRACE(expected.name.toStdString());
        QWidget* widget = control(window, expected.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), expected.kind);
        EXPECT_EQ(widget->parentWidget(), window.centralWidget());
        const QRect& t = expected.twips;
        EXPECT_EQ(widget->geometry(),
                  QRect(t.x() / 15, t.y() / 15, t.width() / 15, t.height() / 15));
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), expected.caption);
            EXPECT_FALSE(button->isDefault());
        }
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), expected.caption);
        }
        if (auto* field = qobject_cast<QLineEdit*>(widget)) {
            EXPECT_TRUE(field->text().isEmpty());
            EXPECT_EQ(field->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
            EXPECT_FALSE(field->isReadOnly());
        }
    }
}

TEST(MainWindow, FieldsShowGreenOnBlackAndTheLastChannelOnDarkRed) {
    MainWindow window;
    QStringList fields{"Text2", "Text3"};
    for (int k = 0; k < 8; ++k) {
        fields << QStringLiteral("Text1(%1)").arg(k);
    }
    for (const QString& name : fields) {
        SCOPED_TRACE(name.toStdString());
        const QPalette palette = control(window, name)->palette();
        EXPECT_EQ(palette.color(QPalette::Text), QColor(0, 255, 0));
        const QColor background = name == "Text1(7)" ? QColor(64, 0, 0) : QColor(0, 0, 0);
        EXPECT_EQ(palette.color(QPalette::Base), background);
    }
}

TEST(MainWindow, SlidersHaveTheirRangesStepsAndStartValues) {
    MainWindow window;
    for (int k = 0; k < 8; ++k) {
        const QScrollBar* slider = window.channelSlider(k);
        EXPECT_EQ(slider->orientation(), Qt::Vertical);
        EXPECT_EQ(slider->minimum(), 1);
        EXPECT_EQ(slider->maximum(), 254);
        EXPECT_EQ(slider->value(), 1);
        EXPECT_EQ(slider->singleStep(), 1);
        EXPECT_EQ(slider->pageStep(), 1);
        EXPECT_FALSE(slider->invertedAppearance());  // 1 at the top
    }
    const QScrollBar* delay = window.delaySlider();
    EXPECT_EQ(delay->orientation(), Qt::Horizontal);
    EXPECT_EQ(delay->minimum(), 0);
    EXPECT_EQ(delay->maximum(), 5);
    EXPECT_EQ(delay->value(), 0);
    EXPECT_EQ(delay->pageStep(), 1);
}

TEST(MainWindow, HasAFixedClientAreaAndNoMinimizeOrMaximize) {
    MainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.centralWidget()->size(), QSize(459, 438));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tolvane"));
    EXPECT_FALSE(window.windowIcon().isNull());
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
}

TEST(MainWindow, StacksControlsFromHScroll1DownToLabel1) {
    MainWindow window;
    QStringList expectedTopDown{"HScroll1", "Text3", "Command11", "Text2", "Command10", "Command9"};
    for (int k = 7; k >= 0; --k) {
        expectedTopDown << QStringLiteral("Text1(%1)").arg(k);
    }
    for (int k = 8; k >= 1; --k) {
        expectedTopDown << QStringLiteral("Command%1").arg(k);
    }
    for (int k = 8; k >= 1; --k) {
        expectedTopDown << QStringLiteral("VScroll%1").arg(k);
    }
    for (int k = 1; k <= 8; ++k) {
        expectedTopDown << QStringLiteral("Picture%1").arg(k);
    }
    expectedTopDown << "Frame1"
                    << "Label1";

    // Qt keeps siblings bottom first.
    QStringList actualTopDown;
    for (const QObject* child : window.centralWidget()->children()) {
        if (child->isWidgetType()) {
            actualTopDown.prepend(child->objectName());
        }
    }
    EXPECT_EQ(actualTopDown, expectedTopDown);
}

TEST(MainWindow, TabVisitsControlsInTheirOrderSkippingFrameAndLabel) {
    MainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(QApplication::focusWidget(), window.channelSlider(0));

    QStringList expected{"VScroll1", "VScroll2", "Picture1", "Picture2"};
    for (int k = 3; k <= 8; ++k) {
        expected << QStringLiteral("VScroll%1").arg(k);
    }
    for (int k = 3; k <= 8; ++k) {
        expected << QStringLiteral("Picture%1").arg(k);
    }
    for (int k = 1; k <= 8; ++k) {
        expected << QStringLiteral("Command%1").arg(k);
    }
    for (int k = 0; k < 8; ++k) {
        expected << QStringLiteral("Text1(%1)").arg(k);
    }
    expected << "Command9"
             << "Command10"
             << "Text2"
             << "Command11"
             << "Text3"
             << "HScroll1"
             << "VScroll1";  // and round again

    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited, expected);
}

TEST(MainWindow, PortMenuHasTwoPlainItems) {
    MainWindow window;
    const QList<QAction*> titles = window.menuBar()->actions();
    ASSERT_EQ(titles.size(), 1);
    EXPECT_EQ(titles[0]->text(), QStringLiteral("Com Port"));
    QMenu* menu = titles[0]->menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), QStringLiteral("mnuSelectPort"));
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 2);
    const QStringList names{"mnuCom12400", "mnuCom22400"};
    const QStringList captions{"Com1,2400,N,8,1", "Com2,2400,N,8,1"};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(items[i]->objectName(), names[i]);
        EXPECT_EQ(items[i]->text(), captions[i]);
        EXPECT_FALSE(items[i]->isCheckable());
        EXPECT_TRUE(items[i]->shortcut().isEmpty());
        EXPECT_TRUE(items[i]->isEnabled());
    }
}

TEST(MainWindow, ClicksInTheTrackAndOnTheArrowsStepByOne) {
    MainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QScrollBar* slider = window.channelSlider(2);
    slider->setValue(100);
    const int h = slider->height();
    const int x = slider->width() / 2;
    struct Click {
        const char* where;
        int y;
        int expected;
    };
    // Arrow at each end; the track well above and well below the thumb (at 100 of 254 it sits
    // a little above the middle).
    for (const Click& click : {Click{"bottom arrow", h - 3, 101}, Click{"top arrow", 3, 100},
                               Click{"track below", h - 25, 101}, Click{"track above", 25, 100}}) {
        QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, click.y));
        EXPECT_EQ(slider->value(), click.expected) << click.where;
    }
}

}  // namespace
}  // namespace tolvane
