// The window as laid out: every control's name, kind, place, caption, accessible name, colours,
// range, stacking and tab order, checked against a table written out here; and in each style the
// panel may be drawn in, its sliders' arrows and thumbs, their clicks and the focus ring.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <QApplication>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <QTest>

#include "panel/app_style.h"
#include "panel/main_window.h"

namespace tolvane {
namespace {

struct Placement {
    QString name;
    const char* kind;         // Qt class name
    QRect twips;              // left, top, width, height in twips
    QString caption = {};     // for buttons and the label
    QString accessible = {};  // the name a screen reader says
    QColor base = {};         // a field's background
    int lowest = 0;           // a slider's range, where it starts
    int highest = 0;
};

// clang-format off
std::vector<Placement> allControls() {
    const QColor black(0, 0, 0);
    std::vector<Placement> controls;
    for (int k = 0; k < 8; ++k) {
        const int x = 840 * k;
        const auto channel = [k](const char* text) { return QString::fromLatin1(text).arg(k); };
        const auto number = [k](const char* text) { return QString::fromLatin1(text).arg(k + 1); };
        controls.push_back({channel("Text1(%1)"), "QLineEdit", {120 + x, 240, 735, 285}, {},
                            channel("Channel %1 value"), k == 7 ? QColor(64, 0, 0) : black});
        controls.push_back({number("Picture%1"), "QFrame", {240 + x, 600, 495, 3975}, {},
                            channel("Channel %1 frame")});
        controls.push_back({number("VScroll%1"), "QScrollBar", {360 + x, 720, 255, 3735}, {},
                            channel("Channel %1 position"), {}, 1, 254});
        controls.push_back({number("Command%1"), "QPushButton", {120 + x, 4800, 735, 375},
                            "Center", channel("Center channel %1")});
    }
    controls.insert(controls.end(), {
        {"Frame1", "QGroupBox", {0, 4560, 6855, 735}},
        {"Command9", "QPushButton", {960, 5520, 855, 375}, "Exit", "Exit"},
        {"Command10", "QPushButton", {2160, 5520, 855, 375}, "Save Pos", "Save Pos"},
        {"Command11", "QPushButton", {3360, 5520, 855, 375}, "Playback", "Playback"},
        {"Text3", "QLineEdit", {4920, 5520, 855, 285}, {}, "Playback delay in seconds", black},
        {"Label1", "QLabel", {4800, 5880, 1215, 255}, "Playback Speed"},
        {"Text2", "QLineEdit", {2160, 6000, 855, 285}, {}, "Next step", black},
        {"HScroll1", "QScrollBar", {4560, 6120, 1575, 255}, {}, "Playback speed", {}, 0, 5}});
    return controls;
}
// clang-format on

TEST(MainWindow, EveryControlHasItsNameKindPlaceCaptionColoursAndRange) {
    MainWindow window;
    const auto controls = allControls();
    ASSERT_EQ(controls.size(), 40u);
    for (const Placement& expected : controls) {
        SCOPED_TRACE(expected.name.toStdString());
        QWidget* widget = window.findChild<QWidget*>(expected.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), expected.kind);
        EXPECT_EQ(widget->parentWidget(), window.centralWidget());
        const QRect& t = expected.twips;
        EXPECT_EQ(widget->geometry(),
                  QRect(t.x() / 15, t.y() / 15, t.width() / 15, t.height() / 15));
        EXPECT_EQ(widget->accessibleName(), expected.accessible);
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
            EXPECT_EQ(field->palette().color(QPalette::Text), QColor(0, 255, 0));
            EXPECT_EQ(field->palette().color(QPalette::Base), expected.base);
        }
        if (auto* slider = qobject_cast<QScrollBar*>(widget)) {
            EXPECT_EQ(slider->orientation(),
                      t.height() > t.width() ? Qt::Vertical : Qt::Horizontal);
            EXPECT_EQ(slider->minimum(), expected.lowest);
            EXPECT_EQ(slider->maximum(), expected.highest);
            EXPECT_EQ(slider->value(), expected.lowest);
            EXPECT_EQ(slider->singleStep(), 1);
            EXPECT_EQ(slider->pageStep(), 1);
            EXPECT_FALSE(slider->invertedAppearance());  // the lowest value at the top or left
        }
    }
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

// The styles the panel may be drawn in here: Qt's own two, and the one it takes in place of the
// Windows 11 style where there is one (the Vista style, on Windows).
QStringList panelStyles() {
    QStringList styles{QStringLiteral("Fusion"), QStringLiteral("Windows")};
    const QString inPlaceOfWindows11 =
        panelStyleName(QStringLiteral("windows11"), QStyleFactory::keys());
    if (!styles.contains(inPlaceOfWindows11, Qt::CaseInsensitive)) {
        styles << inPlaceOfWindows11;
    }
    return styles;
}

// The application's style for one test, the one before it back afterwards.
class AppStyleForATest {
  public:
    explicit AppStyleForATest(const QString& style) : before_(QApplication::style()->name()) {
        QApplication::setStyle(style);
    }
    ~AppStyleForATest() { QApplication::setStyle(before_); }
    AppStyleForATest(const AppStyleForATest&) = delete;
    AppStyleForATest& operator=(const AppStyleForATest&) = delete;

  private:
    QString before_;
};

TEST(MainWindow, ClicksInTheTrackAndOnTheArrowsStepByOne) {
    for (const QString& style : panelStyles()) {
        SCOPED_TRACE(style.toStdString());
        const AppStyleForATest use(style);
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
        // Arrow at each end; the track well above and well below the thumb (at 100 of 254 it
        // sits a little above the middle).
        for (const Click& click :
             {Click{"bottom arrow", h - 3, 101}, Click{"top arrow", 3, 100},
              Click{"track below", h - 25, 101}, Click{"track above", 25, 100}}) {
            QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, click.y));
            EXPECT_EQ(slider->value(), click.expected) << click.where;
        }
    }
}

QStyleOptionSlider sliderOption(const QScrollBar& bar) {
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar.orientation();
    if (bar.orientation() == Qt::Horizontal) {
        option.state |= QStyle::State_Horizontal;
    }
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.sliderPosition();
    option.sliderValue = bar.value();
    option.singleStep = bar.singleStep();
    option.pageStep = bar.pageStep();
    return option;
}

// The share of a part's pixels that stand out from the image's commonest colour, by more than 60
// in |dR| + |dG| + |dB|.
double standOutShare(const QImage& image, const QRect& part) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    const QRgb common = std::max_element(counts.cbegin(), counts.cend()).key();
    int standing = 0;
    for (int y = part.top(); y <= part.bottom(); ++y) {
        for (int x = part.left(); x <= part.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int d = std::abs(qRed(p) - qRed(common)) + std::abs(qGreen(p) - qGreen(common)) +
                          std::abs(qBlue(p) - qBlue(common));
            standing += d > 60 ? 1 : 0;
        }
    }
    return static_cast<double>(standing) / (part.width() * part.height());
}

TEST(MainWindow, EverySliderShowsItsArrowsAndThumbWithoutThePointerInEachStyleAtOneAndTwoTimes) {
    for (const QString& style : panelStyles()) {
        const AppStyleForATest use(style);
        MainWindow window;
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.channelText(0)->setFocus();  // no ring on a slider
        std::vector<QScrollBar*> sliders{window.delaySlider()};
        for (int channel = 0; channel < kChannelCount; ++channel) {
            sliders.push_back(window.channelSlider(channel));
            window.channelSlider(channel)->setValue(127);
        }
        for (const int scale : {1, 2}) {
            for (QScrollBar* slider : sliders) {
                QPixmap picture(slider->size() * scale);
                picture.setDevicePixelRatio(scale);
                slider->render(&picture);
                const QImage image = picture.toImage();
                const QStyleOptionSlider option = sliderOption(*slider);
                const auto part = [&](QStyle::SubControl control) {
                    const QRect r = slider->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                                    control, slider);
                    return QRect(r.topLeft() * scale, r.size() * scale);
                };
                const double whole = standOutShare(image, image.rect());
                const double subLine = standOutShare(image, part(QStyle::SC_ScrollBarSubLine));
                const double addLine = standOutShare(image, part(QStyle::SC_ScrollBarAddLine));
                const double thumb = standOutShare(image, part(QStyle::SC_ScrollBarSlider));
                SCOPED_TRACE(QStringLiteral("%1 at %2x, %3: %4% of the slider, arrows %5% and "
                                            "%6%, thumb %7%")
                                 .arg(style)
                                 .arg(scale)
                                 .arg(slider->objectName())
                                 .arg(100 * whole, 0, 'f', 1)
                                 .arg(100 * subLine, 0, 'f', 1)
                                 .arg(100 * addLine, 0, 'f', 1)
                                 .arg(100 * thumb, 0, 'f', 1)
                                 .toStdString());
                EXPECT_GE(whole, 0.02);
                EXPECT_GE(subLine, 0.05);
                EXPECT_GE(addLine, 0.05);
                EXPECT_GE(thumb, 0.05);
            }
        }
    }
}

int pixelsOf(QWidget* widget, const QColor& colour, const QRect& except = {}) {
    const QImage image = widget->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == colour.rgb() && !except.contains(x, y) ? 1 : 0;
        }
    }
    return count;
}

// Where a ring that has gone may still show for a while: under Wine's theme the Vista style
// draws a scroll bar thumb's gripper, as wide as the thumb, over what was painted there before
// and keeps that picture, the ring's edges included. Nowhere in the other styles.
QRect ringMayLinger(QWidget* control, const QString& style) {
    auto* bar = qobject_cast<QScrollBar*>(control);
    if (bar == nullptr || style.compare(QStringLiteral("windowsvista"), Qt::CaseInsensitive) != 0) {
        return {};
    }
    const QStyleOptionSlider option = sliderOption(*bar);
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider,
                                        bar);
}

TEST(MainWindow, TheFocusShowsInTheHighlightColourOnLightAndDarkUnderEachStyle) {
    struct Look {
        const char* name;
        QColor button, window, highlight;
    };
    for (const QString& style : panelStyles()) {
        for (const Look& look : {Look{"light", {239, 239, 239}, {239, 239, 239}, {48, 140, 198}},
                                 Look{"dark", {60, 60, 63}, {45, 45, 48}, {42, 130, 218}}}) {
            const AppStyleForATest use(style);
            MainWindow window;
            QPalette palette(look.button, look.window);
            palette.setColor(QPalette::Highlight, look.highlight);
            window.setPalette(palette);
            window.show();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
            for (const char* name : {"VScroll1", "Picture1", "Command1", "HScroll1"}) {
                SCOPED_TRACE(style.toStdString() + " " + look.name + " " + name);
                auto* control = window.findChild<QWidget*>(QString::fromLatin1(name));
                control->setFocus();
                const int focused = pixelsOf(control, look.highlight);
                window.channelText(3)->setFocus();
                EXPECT_GE(focused, 2 * (control->width() + control->height()));
                // The Vista style fades a control from one state to the next (the ring too).
                const QRect lingers = ringMayLinger(control, style);
                EXPECT_TRUE(QTest::qWaitFor(
                    [&] { return pixelsOf(control, look.highlight, lingers) == 0; }, 2000))
                    << pixelsOf(control, look.highlight, lingers) << " pixels of the ring left";
            }
        }
    }
}

TEST(MainWindow, F10SelectsThePortMenuTitleAndEscapeGivesTheFocusBack) {
    MainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QMenuBar* bar = window.menuBar();
    window.channelSlider(2)->setFocus();
    QTest::keyClick(window.channelSlider(2), Qt::Key_F10);
    EXPECT_EQ(QApplication::focusWidget(), bar);
    EXPECT_EQ(bar->activeAction(), bar->actions().value(0));
    EXPECT_FALSE(bar->actions().value(0)->menu()->isVisible());
    const QColor highlight = bar->palette().color(QPalette::Highlight);
    EXPECT_GT(pixelsOf(bar, highlight), 0) << "the selected title looks like the others";
    QTest::keyClick(bar, Qt::Key_Escape);
    EXPECT_EQ(QApplication::focusWidget(), window.channelSlider(2));
    EXPECT_EQ(bar->activeAction(), nullptr);
    EXPECT_EQ(pixelsOf(bar, highlight), 0);
}

}  // namespace
}  // namespace tolvane
