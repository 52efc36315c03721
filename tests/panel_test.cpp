// Start-up, manual channel control and Exit through a scripted line: the exact bytes, in order;
// and the signals that end the program as Exit does.
#include <gtest/gtest.h>

#include <csignal>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/termination_signals.h"
#include "recording_messages.h"
#include "scripted_link.h"

namespace tolvane {
namespace {

using test_support::bytes;
using test_support::RecordingMessages;
using test_support::ScriptedLink;

QByteArray centreAll() {
    QByteArray result;
    for (int channel = 0; channel < 8; ++channel) {
        result += bytes({0xFF, channel, 0x7F});
    }
    return result;
}

class PanelTest : public ::testing::Test {
  protected:
    ScriptedLink link;
    RecordingMessages messages;
    Panel panel{link, messages};
    MainWindow& window = panel.window();

    void loadAndForget() {
        panel.load();
        link.clearWritten();
    }
};

TEST_F(PanelTest, StartUpOpensCom1AndSendsTheFortyEightBytes) {
    panel.load();
    EXPECT_EQ(link.calls().mid(0, 3), QStringList({"settings 2400,N,8,1", "port 1", "open"}));
    EXPECT_EQ(link.openPort(), 1);
    EXPECT_EQ(link.written(), centreAll() + centreAll());
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(window.channelText(k)->text(), QStringLiteral(" 127"));
        EXPECT_EQ(window.channelSlider(k)->value(), 127);
    }
    EXPECT_EQ(window.stepText()->text(), QStringLiteral("1"));
    EXPECT_EQ(window.delayText()->text(), QStringLiteral("1"));
    EXPECT_EQ(window.delaySlider()->value(), 0);
    EXPECT_FALSE(link.calls().contains("read"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(PanelTest, StartUpWithoutCom1ShowsOneMessageAndRunsOn) {
    link.openFailures[1] =
        LinkError{LinkError::Kind::NotFound, 1, "/dev/ttyS0", "No such file or directory"};
    panel.load();
    EXPECT_TRUE(link.written().isEmpty());
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(window.channelText(k)->text(), QStringLiteral(" 127"));
        EXPECT_EQ(window.channelSlider(k)->value(), 127);
    }
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].contains("COM1"));
    EXPECT_TRUE(messages.texts[0].contains("/dev/ttyS0"));
    EXPECT_TRUE(messages.texts[0].contains("does not exist"));

    window.channelSlider(3)->setValue(50);  // moves on screen, sends nothing, no new message
    EXPECT_EQ(window.channelText(3)->text(), QStringLiteral(" 50"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(link.written().isEmpty());
    EXPECT_EQ(messages.texts.size(), 1);
}

struct SliderCase {
    const char* name;
    int channel;
    int value;
    const char* text;
};

class SliderMoves : public PanelTest, public ::testing::WithParamInterface<SliderCase> {};

TEST_P(SliderMoves, WriteTheFieldAndSendOneCommand) {
    const SliderCase& c = GetParam();
    loadAndForget();
    window.channelSlider(c.channel)->setValue(c.value);
    EXPECT_EQ(window.channelText(c.channel)->text(), QString::fromLatin1(c.text));
    EXPECT_EQ(link.written(), bytes({0xFF, c.channel, c.value}));
}

INSTANTIATE_TEST_SUITE_P(Table, SliderMoves,
                         ::testing::Values(SliderCase{"ThirdTo200", 2, 200, " 200"},
                                           SliderCase{"FirstToTop", 0, 1, " 1"},
                                           SliderCase{"LastToBottom", 7, 254, " 254"},
                                           SliderCase{"FifthOneDown", 4, 128, " 128"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PanelTest, SettingTheSameValueSendsNothing) {
    loadAndForget();
    window.channelText(1)->setText("typed");
    window.channelSlider(1)->setValue(127);
    EXPECT_TRUE(link.written().isEmpty());
    EXPECT_EQ(window.channelText(1)->text(), QStringLiteral("typed"));
}

TEST_F(PanelTest, CenterSendsTwiceWhenTheSliderMovesAndOnceWhenCentred) {
    loadAndForget();
    window.channelSlider(5)->setValue(40);
    link.clearWritten();
    QTest::mouseClick(window.centerButton(5), Qt::LeftButton);
    EXPECT_EQ(link.written(), bytes({0xFF, 5, 0x7F, 0xFF, 5, 0x7F}));
    EXPECT_EQ(window.channelText(5)->text(), QStringLiteral(" 127"));
    EXPECT_EQ(window.channelSlider(5)->value(), 127);

    link.clearWritten();
    window.channelText(5)->setText("x");
    QTest::mouseClick(window.centerButton(5), Qt::LeftButton);
    EXPECT_EQ(link.written(), bytes({0xFF, 5, 0x7F}));
    EXPECT_EQ(window.channelText(5)->text(), QStringLiteral(" 127"));
}

TEST_F(PanelTest, TypingIntoAFieldSendsNothing) {
    loadAndForget();
    window.show();
    QTest::keyClicks(window.channelText(0), "200");
    QTest::keyClick(window.channelText(0), Qt::Key_Return);
    EXPECT_TRUE(link.written().isEmpty());
}

TEST_F(PanelTest, KeysAndDragsSendOneCommandPerValue) {
    loadAndForget();
    window.show();
    QScrollBar* slider = window.channelSlider(6);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Down);
    QTest::keyClick(slider, Qt::Key_PageDown);
    EXPECT_EQ(link.written(), bytes({0xFF, 6, 128, 0xFF, 6, 129}));

    // A drag reports each thumb position both as a move and as a value change; one command each.
    link.clearWritten();
    slider->setSliderDown(true);
    for (const int position : {130, 140, 150}) {
        slider->setSliderPosition(position);
    }
    slider->setSliderDown(false);
    EXPECT_EQ(link.written(), bytes({0xFF, 6, 130, 0xFF, 6, 140, 0xFF, 6, 150}));
}

TEST_F(PanelTest, ExitClosesThePortAndEndsTheProgram) {
    loadAndForget();
    QSignalSpy finished(&panel, &Panel::finished);
    QTest::mouseClick(window.exitButton(), Qt::LeftButton);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(link.calls().last(), QStringLiteral("close"));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(panel.closing());
}

TEST_F(PanelTest, ClosingTheWindowReleasesThePort) {
    loadAndForget();
    window.show();
    QSignalSpy finished(&panel, &Panel::finished);
    window.close();
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(finished.count(), 1);
}

TEST_F(PanelTest, ALostLinkIsReportedOnceAndLaterMovesSendNothing) {
    loadAndForget();
    link.failNextWrite("Input/output error");
    window.channelSlider(0)->setValue(10);
    window.channelSlider(0)->setValue(11);
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(link.written().isEmpty());
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].contains("lost"));
    EXPECT_TRUE(messages.texts[0].contains("Input/output error"));
    EXPECT_EQ(window.channelText(0)->text(), QStringLiteral(" 11"));
}

#ifdef Q_OS_UNIX
// Each signal reaches the event loop, where it can end the program as Exit does, instead of
// ending the process on the spot; afterwards the system's default is back.
TEST(TerminationSignals, ArriveInTheEventLoop) {
    for (const int number : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(number);
        ::signal(number, SIG_DFL);  // as a program started from a terminal finds it
        {
            TerminationSignals caught;
            QSignalSpy received(&caught, &TerminationSignals::received);
            ASSERT_EQ(::raise(number), 0);
            EXPECT_TRUE(received.wait(5000));
            ASSERT_EQ(received.count(), 1);
            EXPECT_EQ(received.first().first().toInt(), number);
        }
        struct sigaction after {};
        ASSERT_EQ(::sigaction(number, nullptr, &after), 0);
        EXPECT_EQ(after.sa_handler, SIG_DFL);
    }
}
#endif

}  // namespace
}  // namespace tolvane
