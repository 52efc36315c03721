// Save Pos and Playback fed arbitrary channel texts, with a fixed seed: nothing crashes, every step
// whose texts hold numbers is recorded unchanged, every recorded step up to the first unusable one
// is played, and no position byte is ever 0 or the frame start. What to expect is known from how
// each text was made, not read back through the program.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <cstdio>
#include <random>

#include "panel/main_window.h"
#include "panel/panel.h"
#include "recording_messages.h"
#include "scripted_link.h"
#include "sequence/sequence.h"

namespace tolvane {
namespace {

using test_support::RecordingMessages;
using test_support::ScriptedLink;
using Commands = std::vector<PositionCommand>;

struct ChannelText {
    QString text;
    std::optional<double> number;  // what Save Pos records; nothing: the step is not saved
    std::optional<int> position;   // what playback sends; nothing: the playback stops there
};

ChannelText randomChannelText(std::mt19937& random) {
    static const std::vector<ChannelText> awkward{
        {"", {}, {}},     {" ", {}, {}},         {"abc", {}, {}},      {"12abc", {}, {}},
        {"255", 255, {}}, {"254.5", 254.5, 254}, {"254.6", 254.6, {}}, {"0", 0, {}},
        {"0.5", 0.5, {}}, {"-1", -1, {}},        {"1e3", 1000, {}},    {"1e400", {}, {}},
        {"nan", {}, {}},  {"inf", {}, {}},       {"1.5", 1.5, 2},      {"2.5", 2.5, 2},
        {" 1 ", 1, 1},    {"1,5", {}, {}},       {"+7", 7, 7},         {"--3", {}, {}},
        {".5", 0.5, {}},  {"253.5", 253.5, 254}};
    std::uniform_int_distribution<int> kind(0, 7);
    if (kind(random) == 0) {
        std::uniform_int_distribution<std::size_t> pick(0, awkward.size() - 1);
        return awkward[pick(random)];
    }
    // Quarters from -10 to 270, many of them halves, written and rounded by hand.
    const int quarters = std::uniform_int_distribution<int>(-40, 1080)(random);
    const int size = std::abs(quarters);
    static const char* const fractions[] = {"", ".25", ".5", ".75"};
    const QString text = QStringLiteral("%1%2%3")
                             .arg(quarters < 0 ? "-" : "")
                             .arg(size / 4)
                             .arg(fractions[size % 4]);
    const int rest = ((quarters % 4) + 4) % 4;  // above the whole number below
    const int below = (quarters - rest) / 4;
    const int rounded = rest < 2 ? below : rest > 2 ? below + 1 : below + below % 2;
    return {text, quarters / 4.0,
            rounded >= 1 && rounded <= 254 ? std::optional<int>(rounded) : std::nullopt};
}

TEST(RandomisedSequence, ArbitraryTextsNeverLoseAStepNorSendTheFrameStart) {
    std::mt19937 random(4242);
    std::size_t saved = 0;
    std::size_t played = 0;
    std::size_t refusals = 0;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        ScriptedLink link;
        link.board = test_support::echoOf;
        RecordingMessages messages;
        Panel panel(link, messages);
        MainWindow& window = panel.window();
        panel.load();
        window.delaySlider()->setValue(1);
        window.delaySlider()->setValue(0);  // holds of 0 s

        std::vector<std::array<ChannelText, 8>> steps;
        for (int save = 0; save < 6; ++save) {
            std::array<ChannelText, 8> step;
            bool allNumbers = true;
            for (int k = 0; k < 8; ++k) {
                // Now and then channel 0 keeps the last step's text: its slider stays, others move.
                const bool keep = k == 0 && save % 2 == 1 && !steps.empty();
                step[k] = keep ? steps.back()[0] : randomChannelText(random);
                window.channelText(k)->setText(step[k].text);
                allNumbers = allNumbers && step[k].number.has_value();
            }
            QTest::mouseClick(window.saveButton(), Qt::LeftButton);
            if (allNumbers) {
                steps.push_back(step);
            }
        }
        const PositionTable& table = panel.sequence().table();
        ASSERT_EQ(table.posCount(), static_cast<double>(steps.size() + 1));
        for (std::size_t step = 0; step < steps.size(); ++step) {
            for (int k = 0; k < 8; ++k) {
                ASSERT_EQ(table.position(k, step + 1), *steps[step][k].number) << "channel " << k;
            }
        }

        // The board echoes at once. Each channel's first try reads its own echo, except that the
        // first channel of a step reads the echo of the first slider moved by the step before.
        Commands expected;
        QStringList boxes;
        std::array<int, 8> sliders{127, 127, 127, 127, 127, 127, 127, 127};
        int firstMoved = -1;  // none
        std::size_t refusedStep = 0;
        for (std::size_t step = 0; step < steps.size() && refusedStep == 0; ++step) {
            for (std::uint8_t k = 0; k < 8 && refusedStep == 0; ++k) {
                if (const auto position = steps[step][k].position) {
                    const int tries = k == 0 && firstMoved > 0 ? 2 : 1;
                    expected.insert(expected.end(), tries, {k, std::uint8_t(*position)});
                    boxes << QString::number(tries);
                } else {
                    refusedStep = step + 1;
                }
            }
            firstMoved = -1;
            for (std::uint8_t k = 0; k < 8 && refusedStep == 0; ++k) {
                const int position = *steps[step][k].position;
                if (sliders[k] != position) {
                    sliders[k] = position;
                    expected.push_back({k, std::uint8_t(position)});
                    firstMoved = firstMoved < 0 ? k : firstMoved;
                }
            }
        }
        link.readWaiting();  // the echoes of the start-up commands
        link.clearWritten();
        messages.texts.clear();
        QTest::mouseClick(window.playbackButton(), Qt::LeftButton);

        EXPECT_EQ(link.commands(), expected);
        for (qsizetype i = 2; i < link.written().size(); i += 3) {
            ASSERT_NE(static_cast<std::uint8_t>(link.written()[i]), kFrameStart);
            ASSERT_NE(static_cast<std::uint8_t>(link.written()[i]), 0);
        }
        if (refusedStep != 0) {
            ASSERT_FALSE(messages.texts.isEmpty());
            EXPECT_TRUE(messages.texts.takeLast().startsWith(
                QStringLiteral("Playback stopped at step %1:").arg(refusedStep)));
        }
        EXPECT_EQ(messages.texts, boxes);
        EXPECT_EQ(window.stepText()->text(), QString::number(steps.size() + 1));
        EXPECT_EQ(table.posCount(), static_cast<double>(steps.size() + 1)) << "table kept";
        saved += steps.size();
        played += boxes.size();
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
