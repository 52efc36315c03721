// Save Pos and Playback fed arbitrary channel texts, with a fixed seed: nothing crashes, every step
// whose texts hold numbers is recorded unchanged, every recorded step up to the first unusable one
// is played, and no position byte is ever the frame start.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <cstdio>
#include <random>

#include "link/command_io.h"
#include "link/number_text.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "recording_messages.h"
#include "scripted_link.h"
#include "sequence/sequence.h"

namespace tolvane {
namespace {

using testing::RecordingMessages;
using testing::ScriptedLink;

QString randomChannelText(std::mt19937& random) {
    static const QStringList awkward{"",    " ",   "abc", "12abc", "255",   "254.5", "254.6",
                                     "0",   "0.5", "-1",  "1e3",   "1e400", "nan",   "inf",
                                     "1.5", "2.5", " 1 ", "1,5",   "+7",    "--3",   ".5"};
    std::uniform_int_distribution<int> kind(0, 3);
    if (kind(random) == 0) {
        std::uniform_int_distribution<int> pick(0, static_cast<int>(awkward.size()) - 1);
        return awkward[pick(random)];
    }
    std::uniform_real_distribution<double> position(-10, 270);
    return number_text::plain(std::round(position(random) * 4) / 4);  // quarters: many halves
}

TEST(RandomisedSequence, ArbitraryTextsNeverLoseAStepNorSendTheFrameStart) {
    std::mt19937 random(4242);
    std::size_t saved = 0;
    std::size_t played = 0;
    std::size_t refusals = 0;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        ScriptedLink link;
        link.board = testing::echoOf;
        RecordingMessages messages;
        Panel panel(link, messages);
        MainWindow& window = panel.window();
        panel.load();
        window.delaySlider()->setValue(1);
        window.delaySlider()->setValue(0);  // holds of 0 s

        std::vector<std::array<double, 8>> expected;
        for (int save = 0; save < 6; ++save) {
            std::array<double, 8> values{};
            bool allNumbers = true;
            for (int k = 0; k < 8; ++k) {
                const QString text = randomChannelText(random);
                window.channelText(k)->setText(text);
                const auto number = number_text::readNumber(text);
                allNumbers = allNumbers && number.has_value();
                values[k] = number.value_or(0);
            }
            QTest::mouseClick(window.saveButton(), Qt::LeftButton);
            if (allNumbers) {
                expected.push_back(values);
            }
        }
        const PositionTable& table = panel.sequence().table();
        ASSERT_EQ(table.posCount(), static_cast<double>(expected.size() + 1));
        for (std::size_t step = 0; step < expected.size(); ++step) {
            for (int k = 0; k < 8; ++k) {
                ASSERT_EQ(table.position(k, step + 1), expected[step][k]);
            }
        }

        // Playback goes channel by channel until the first unusable position, if any.
        std::size_t boxes = 0;
        std::size_t refusedStep = 0;
        for (std::size_t step = 0; step < expected.size() && refusedStep == 0; ++step) {
            for (int k = 0; k < 8; ++k) {
                if (!readPosition(number_text::plain(expected[step][k]))) {
                    refusedStep = step + 1;
                    break;
                }
                ++boxes;
            }
        }
        link.clearWritten();
        messages.texts.clear();
        QTest::mouseClick(window.playbackButton(), Qt::LeftButton);

        const QByteArray& sent = link.written();
        ASSERT_EQ(sent.size() % 3, 0);
        for (qsizetype i = 0; i < sent.size(); i += 3) {
            ASSERT_EQ(static_cast<std::uint8_t>(sent[i]), kFrameStart);
            ASSERT_LT(static_cast<std::uint8_t>(sent[i + 1]), 8);
            ASSERT_NE(static_cast<std::uint8_t>(sent[i + 2]), kFrameStart);
            ASSERT_NE(static_cast<std::uint8_t>(sent[i + 2]), 0);
        }
        ASSERT_EQ(messages.texts.size(), static_cast<qsizetype>(boxes + (refusedStep ? 1 : 0)));
        if (refusedStep != 0) {
            EXPECT_TRUE(messages.texts.last().startsWith(
                QStringLiteral("Playback stopped at step %1:").arg(refusedStep)));
        }
        EXPECT_EQ(window.stepText()->text(), QString::number(expected.size() + 1));
        EXPECT_EQ(table.posCount(), static_cast<double>(expected.size() + 1)) << "table kept";
        saved += expected.size();
        played += boxes;
        refusals += refusedStep != 0 ? 1 : 0;
    }
    // The mix must exercise every path: steps saved and refused, channels played and refused.
    std::printf("saved %zu steps, played %zu channels, %zu refusals\n", saved, played, refusals);
    EXPECT_GT(saved, 20u);
    EXPECT_GT(played, 50u);
    EXPECT_GT(refusals, 5u);
}

}  // namespace
}  // namespace tolvane
