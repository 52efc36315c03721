// Save Pos, Playback and the delay slider as wired into the panel, over a scripted line: the exact
// bytes, the message boxes, the fields and the sliders.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <numeric>
#include <span>

#include "panel/main_window.h"
#include "panel/panel.h"
#include "recording_messages.h"
#include "scripted_link.h"
#include "sequence/sequence.h"
#include "test_printers.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using test_support::bytes;
using test_support::echoOf;
using test_support::PrintTo;
using test_support::RecordingMessages;
using test_support::ScriptedLink;

const QString kCommunicationsProblem = QStringLiteral("Communications problem encountered");

QByteArray command(int channel, int position) {
    return bytes({0xFF, channel, position});
}

class SequencePanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        panel.load();
        link.board = echoOf;
        // Holds of 0 s: the slider starts at 0 while the hold is 1 s, so go there by way of 1.
        window.delaySlider()->setValue(1);
        window.delaySlider()->setValue(0);
        messages.onShow = [this](const QString&) {
            stepDuringMessages << window.stepText()->text();
        };
        forget();
    }

    // Drops what was sent and what the board answered so far.
    void forget() {
        link.clearWritten();
        link.readWaiting();
    }

    // Sets every slider, saves, and forgets the bytes the moves sent.
    void record(const std::array<int, 8>& positions) {
        for (int k = 0; k < 8; ++k) {
            window.channelSlider(k)->setValue(positions[k]);
        }
        QTest::mouseClick(window.saveButton(), Qt::LeftButton);
        forget();
    }

    void play() { QTest::mouseClick(window.playbackButton(), Qt::LeftButton); }

    ScriptedLink link;
    RecordingMessages messages;
    Panel panel{link, messages};
    MainWindow& window = panel.window();
    QStringList stepDuringMessages;
};

TEST(SequencePanel, StartUpRecordsNothingAndHoldsOneSecondWithTheSliderAtZero) {
    ScriptedLink link;
    RecordingMessages messages;
    Panel panel(link, messages);
    MainWindow& window = panel.window();
    panel.load();
    EXPECT_EQ(window.stepText()->text(), QStringLiteral("1"));
    EXPECT_EQ(window.delayText()->text(), QStringLiteral("1"));
    EXPECT_EQ(window.delaySlider()->value(), 0);
    EXPECT_EQ(panel.sequence().playback().playDelay, 1);

    link.clearWritten();
    QTest::mouseClick(window.playbackButton(), Qt::LeftButton);
    EXPECT_TRUE(link.written().isEmpty());
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_EQ(window.stepText()->text(), QStringLiteral("1"));

    window.delaySlider()->setValue(3);
    EXPECT_EQ(window.delayText()->text(), QStringLiteral(" 3"));
    EXPECT_EQ(panel.sequence().playback().playDelay, 3);
}

TEST_F(SequencePanelTest, SaveStoresTheFieldsUnchangedAndShowsTheNextStep) {
    window.channelText(0)->setText(QStringLiteral("12.5"));
    window.channelText(3)->setText(QStringLiteral("  3.25 "));
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);
    EXPECT_EQ(window.stepText()->text(), QStringLiteral("2"));
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);
    EXPECT_EQ(window.stepText()->text(), QStringLiteral("3"));

    const PositionTable& table = panel.sequence().table();
    ASSERT_EQ(table.stepCount(), 2u);
    for (const std::size_t step : {1u, 2u}) {
        EXPECT_EQ(table.position(0, step), 12.5);
        EXPECT_EQ(table.position(3, step), 3.25);
        EXPECT_EQ(table.position(7, step), 127.0);
    }
    EXPECT_TRUE(link.written().isEmpty());
    EXPECT_TRUE(messages.texts.isEmpty());
}

struct UnusableSave {
    const char* name;
    int channel;
    const char* text;
};

class SaveWithoutANumber : public SequencePanelTest,
                           public ::testing::WithParamInterface<UnusableSave> {};

TEST_P(SaveWithoutANumber, RecordsNothingAndNamesTheChannel) {
    const UnusableSave& c = GetParam();
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);  // one good step first
    window.channelText(c.channel)->setText(QString::fromUtf8(c.text));

    QTest::mouseClick(window.saveButton(), Qt::LeftButton);

    EXPECT_EQ(messages.texts,
              QStringList(QStringLiteral("Position not saved: channel %1 shows \"%2\", which is "
                                         "not a number.")
                              .arg(c.channel)
                              .arg(QString::fromUtf8(c.text))));
    EXPECT_EQ(panel.sequence().table().posCount(), 2.0);
    EXPECT_EQ(panel.sequence().table().stepCount(), 1u);
    EXPECT_EQ(window.stepText()->text(), QStringLiteral("2"));
}

INSTANTIATE_TEST_SUITE_P(Table, SaveWithoutANumber,
                         ::testing::Values(UnusableSave{"EmptyFirstField", 0, ""},
                                           UnusableSave{"BlanksOnly", 4, "   "},
                                           UnusableSave{"Letters", 5, "abc"},
                                           UnusableSave{"TrailingJunkInLast", 7, "12x"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SequencePanelTest, OneStepWithAnEchoingBoard) {
    // Channel 7 stays at 127, so its slider does not move during the playback.
    const std::array<int, 8> step{10, 30, 50, 70, 90, 110, 130, 127};
    record(step);
    for (int k = 0; k < 7; ++k) {
        window.channelSlider(k)->setValue(200);
    }
    forget();

    play();

    QByteArray expected;
    for (int k = 0; k < 8; ++k) {
        expected += command(k, step[k]);  // one try each: the first echo names the channel
    }
    for (int k = 0; k < 7; ++k) {
        expected += command(k, step[k]);  // the slider moves back, through its change handling
    }
    EXPECT_EQ(link.written(), expected);
    EXPECT_EQ(messages.texts, QStringList(8, QStringLiteral("1")));
    EXPECT_EQ(stepDuringMessages, QStringList(8, QStringLiteral("1")));
    EXPECT_EQ(window.stepText()->text(), QStringLiteral("2"));
    QStringList texts;
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(window.channelSlider(k)->value(), step[k]);
        texts << window.channelText(k)->text();
    }
    // Moved sliders write their form; channel 7 keeps the playback's, without the blank.
    EXPECT_EQ(texts, QStringList({" 10", " 30", " 50", " 70", " 90", " 110", " 130", "127"}));
}

// A board that stops answering, or no port at all: 200 tries, then the failure and the end.
struct SilentCase {
    const char* name;
    int silentFrom;  // the first channel the board does not answer
    bool portOpen;
};

class SilentBoard : public SequencePanelTest, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(SilentBoard, GivesUpAfterTwoHundredTries) {
    const SilentCase& c = GetParam();
    const std::array<int, 8> step{10, 30, 50, 70, 90, 110, 130, 150};
    record(step);
    record({1, 2, 3, 4, 5, 6, 7, 8});  // the sliders stand elsewhere now
    link.board = [&](PositionCommand command) {
        return command.channel < c.silentFrom ? bytes({command.channel, 0}) : QByteArray();
    };
    if (!c.portOpen) {
        link.close();
    }
    const int waitsBefore = link.waits();

    play();

    QByteArray expected;
    if (c.portOpen) {
        for (int k = 0; k < c.silentFrom; ++k) {
            expected += command(k, step[k]);
        }
        for (int i = 0; i < 200; ++i) {
            expected += command(c.silentFrom, step[c.silentFrom]);
        }
        EXPECT_EQ(link.waits() - waitsBefore, c.silentFrom + 200) << "one wait per try";
        // The silent channel waits 107 ms for its first try and 41 ms for each other one: 8,266
        // ms in all, inside the 10 s within which the user hears of it.
        const auto silent = std::span(link.windows()).last(200);
        EXPECT_EQ(silent.front(), 107ms);
        EXPECT_EQ(std::accumulate(silent.begin(), silent.end(), 0ms), 8266ms);
    } else {
        EXPECT_EQ(link.waits(), waitsBefore) << "no port, no wait";
    }
    EXPECT_EQ(link.written(), expected);
    EXPECT_EQ(messages.texts, QStringList(c.silentFrom, QStringLiteral("1"))
                                  << kCommunicationsProblem);
    EXPECT_EQ(stepDuringMessages.last(), QStringLiteral("1"));
    EXPECT_EQ(window.stepText()->text(), QStringLiteral("3"));
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(window.channelSlider(k)->value(), k + 1) << "sliders unmoved";
        const QString text =
            k <= c.silentFrom ? QString::number(step[k]) : QStringLiteral(" %1").arg(k + 1);
        EXPECT_EQ(window.channelText(k)->text(), text) << "channel " << k;
    }
    EXPECT_EQ(panel.sequence().table().stepCount(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Table, SilentBoard,
                         ::testing::Values(SilentCase{"FromTheFirstChannel", 0, true},
                                           SilentCase{"FromChannel3", 3, true},
                                           SilentCase{"NoPortOpen", 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Exit or the close box during a hold ends the playback there: nothing more goes out.
class EndDuringHold : public SequencePanelTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EndDuringHold, SendsNothingMore) {
    const bool closeBox = GetParam();
    record({10, 30, 50, 70, 90, 110, 130, 150});
    record({1, 2, 3, 4, 5, 6, 7, 8});
    window.delaySlider()->setValue(5);
    window.show();
    QByteArray writtenAtEnd;
    messages.onShow = [&](const QString&) {
        if (messages.texts.size() == 8) {
            // Runs once the first step's hold has started.
            QTimer::singleShot(20, &panel, [&] {
                writtenAtEnd = link.written();
                if (closeBox) {
                    window.close();
                } else {
                    QTest::mouseClick(window.exitButton(), Qt::LeftButton);
                }
            });
        }
    };

    play();

    ASSERT_TRUE(panel.closing());
    EXPECT_EQ(writtenAtEnd.size(), 16 * 3) << "the first step's tries and slider moves";
    EXPECT_EQ(link.written(), writtenAtEnd);
    EXPECT_EQ(messages.texts.size(), 8);
    EXPECT_EQ(window.stepText()->text(), QStringLiteral("1"));
}

INSTANTIATE_TEST_SUITE_P(Table, EndDuringHold, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "CloseBox" : "ExitButton"; });

}  // namespace
}  // namespace tolvane
