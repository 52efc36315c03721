// The built tolvane-board through real pseudo-terminals, opened the way a serial port is.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "board_process.h"

namespace tolvane::test_support {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kTimeout{5000};

// A port opened with plain POSIX calls, closed on scope exit.
class Port {
  public:
    explicit Port(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        if (fd_ < 0) {
            return;
        }
        termios settings{};
        tcgetattr(fd_, &settings);
        cfmakeraw(&settings);
        tcsetattr(fd_, TCSANOW, &settings);
    }
    ~Port() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool write(const Bytes& bytes) {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads until `count` bytes have arrived or the timeout passes.
    Bytes read(std::size_t count, milliseconds timeout = kTimeout) {
        Bytes bytes;
        const auto deadline = Clock::now() + timeout;
        while (bytes.size() < count) {
            const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0 || !(p.revents & POLLIN)) {
                break;
            }
            std::uint8_t buffer[64];
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n <= 0) {
                break;
            }
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

  private:
    int fd_;
};

Bytes commandBytes(const std::vector<PositionCommand>& commands) {
    Bytes bytes;
    for (const PositionCommand& command : commands) {
        const auto encoded = encode(command);
        bytes.insert(bytes.end(), encoded.begin(), encoded.end());
    }
    return bytes;
}

struct PtyCase {
    const char* name;
    BoardProcess::Options options;
    Bytes sent;
    std::vector<PositionCommand> commands;  // expected to be printed
    Bytes replies;                          // expected back on the port
};

void PrintTo(const PtyCase& c, std::ostream* os) {
    *os << c.name;
}

class BoardPtyTest : public ::testing::TestWithParam<PtyCase> {};

TEST_P(BoardPtyTest, AnswersAndPrintsCommands) {
    const PtyCase& c = GetParam();
    BoardProcess board(TOLVANE_BOARD_PATH, c.options);
    Port port(board.device());
    ASSERT_TRUE(port.isOpen()) << board.device();

    const auto sentAt = Clock::now();
    ASSERT_TRUE(port.write(c.sent));
    ASSERT_TRUE(board.waitForCommands(c.commands.size(), kTimeout));
    EXPECT_EQ(board.commands(), c.commands);
    EXPECT_EQ(port.read(c.replies.size()), c.replies);
    if (!c.replies.empty()) {
        // The board took the bytes after we sent them, so its delay is a lower bound here.
        EXPECT_GE(Clock::now() - sentAt, c.options.delay);
    }
    // Anything further is a reply too many. A short look can only miss one arriving late, never
    // fail a good board.
    EXPECT_EQ(port.read(1, milliseconds(100)), Bytes{});
    EXPECT_TRUE(board.stop());
}

constexpr std::uint8_t S = kFrameStart;
using Options = BoardProcess::Options;
using board::ReplyMode;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Modes, BoardPtyTest, ::testing::Values(
    PtyCase{"Echo", {}, commandBytes({{0, 10}, {7, 254}, {3, 0}}),
            {{0, 10}, {7, 254}, {3, 0}}, {0, 10, 7, 254, 3, 0}},
    PtyCase{"NoiseAndCutFrame", {}, {9, 9, S, 1, S, 2, 20}, {{2, 20}}, {2, 20}},
    PtyCase{"OneByte", {ReplyMode::ChannelOnly, milliseconds(0), ""},
            commandBytes({{1, 100}, {6, 200}}), {{1, 100}, {6, 200}}, {1, 6}},
    PtyCase{"Delayed", {ReplyMode::Echo, milliseconds(40), ""},
            commandBytes({{4, 40}, {5, 50}}), {{4, 40}, {5, 50}}, {4, 40, 5, 50}},
    PtyCase{"NoReply", {ReplyMode::None, milliseconds(0), ""},
            commandBytes({{2, 127}}), {{2, 127}}, {}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// At 2400 baud a command takes 30 bit times, 12.5 ms, to come down the line and its echo 20 bit
// times to go back. Sixteen commands sent at once are decoded one by one as they come through,
// at least 15 x 12.5 ms from the first to the last; the last echo leaves only after that.
TEST(BoardPty, PacedLineTakesItsTime) {
    BoardProcess board(TOLVANE_BOARD_PATH, Options{ReplyMode::Echo, milliseconds(0), "", 2400});
    Port port(board.device());
    ASSERT_TRUE(port.isOpen());
    std::vector<PositionCommand> commands;
    Bytes echoes;
    for (std::uint8_t k = 0; k < 16; ++k) {
        commands.push_back({static_cast<std::uint8_t>(k % 8), static_cast<std::uint8_t>(100 + k)});
        echoes.insert(echoes.end(),
                      {static_cast<std::uint8_t>(k % 8), static_cast<std::uint8_t>(100 + k)});
    }
    const auto sentAt = Clock::now();
    ASSERT_TRUE(port.write(commandBytes(commands)));
    ASSERT_TRUE(board.waitForCommands(1, kTimeout));
    const auto firstAt = Clock::now();
    ASSERT_TRUE(board.waitForCommands(16, kTimeout));
    const auto lastAt = Clock::now();
    EXPECT_EQ(port.read(echoes.size()), echoes);
    const auto echoedAt = Clock::now();
    EXPECT_EQ(board.commands(), commands);

    using Ms = std::chrono::duration<double, std::milli>;
    EXPECT_GE(Ms(lastAt - firstAt).count(), 15 * 12.5);
    // 48 bytes in, then the last 2 out.
    EXPECT_GE(Ms(echoedAt - sentAt).count(), 50 * 10 / 2.4);
    // Generous: the line itself needs about 210 ms.
    EXPECT_LT(Ms(echoedAt - sentAt).count(), 1000.0);
}

// Behind an adapter whose timer fires once a second, the echoes of five commands sent 50 ms
// apart come in at most two bursts, a whole tick apart, never one by one as they were made.
TEST(BoardPty, LatencyHandsAnswersOverAtTheTimersTicks) {
    BoardProcess board(TOLVANE_BOARD_PATH,
                       Options{ReplyMode::Echo, milliseconds(0), "", 0, false, milliseconds(1000)});
    Port port(board.device());
    ASSERT_TRUE(port.isOpen());
    std::thread sender([&port] {
        for (std::uint8_t k = 0; k < 5; ++k) {
            port.write(commandBytes({{k, 50}}));
            std::this_thread::sleep_for(milliseconds(50));
        }
    });
    Bytes got;
    Clock::time_point last;
    std::vector<Clock::duration> pauses;  // of over 25 ms between two bytes
    for (Bytes byte; got.size() < 10 && !(byte = port.read(1, milliseconds(3000))).empty();) {
        const Clock::time_point now = Clock::now();
        if (!got.empty() && now - last > milliseconds(25)) {
            pauses.push_back(now - last);
        }
        last = now;
        got.push_back(byte[0]);
    }
    sender.join();
    EXPECT_EQ(got, (Bytes{0, 50, 1, 50, 2, 50, 3, 50, 4, 50}));
    EXPECT_LE(pauses.size(), 1U);
    for (const auto pause : pauses) {
        EXPECT_GT(pause, milliseconds(700));
    }
}

// The panel closes and reopens its port; the board must still be there afterwards.
TEST(BoardPty, SurvivesPortClosedAndReopened) {
    BoardProcess board(TOLVANE_BOARD_PATH);
    for (std::uint8_t round = 0; round < 3; ++round) {
        Port port(board.device());
        ASSERT_TRUE(port.isOpen()) << "round " << int(round);
        ASSERT_TRUE(port.write(commandBytes({{round, 100}})));
        EXPECT_EQ(port.read(2), (Bytes{round, 100})) << "round " << int(round);
    }
    ASSERT_TRUE(board.waitForCommands(3, kTimeout));
    EXPECT_EQ(board.commands(), (std::vector<PositionCommand>{{0, 100}, {1, 100}, {2, 100}}));
    EXPECT_TRUE(board.running());
}

// COM1 and COM2 at once: each board answers and reports only its own port's commands.
TEST(BoardPty, TwoBoardsRunAtOnce) {
    BoardProcess com1(TOLVANE_BOARD_PATH);
    BoardProcess com2(TOLVANE_BOARD_PATH);
    ASSERT_NE(com1.device(), com2.device());
    Port port1(com1.device());
    Port port2(com2.device());
    ASSERT_TRUE(port1.isOpen() && port2.isOpen());

    ASSERT_TRUE(port1.write(commandBytes({{1, 11}})));
    ASSERT_TRUE(port2.write(commandBytes({{2, 22}})));
    EXPECT_EQ(port1.read(2), (Bytes{1, 11}));
    EXPECT_EQ(port2.read(2), (Bytes{2, 22}));
    ASSERT_TRUE(com1.waitForCommands(1, kTimeout));
    ASSERT_TRUE(com2.waitForCommands(1, kTimeout));
    EXPECT_EQ(com1.commands(), (std::vector<PositionCommand>{{1, 11}}));
    EXPECT_EQ(com2.commands(), (std::vector<PositionCommand>{{2, 22}}));
}

// A stopped board is an unplugged adapter: the open port hangs up.
TEST(BoardPty, StopHangsUpTheOpenPort) {
    BoardProcess board(TOLVANE_BOARD_PATH);
    Port port(board.device());
    ASSERT_TRUE(port.isOpen());
    ASSERT_TRUE(port.write(commandBytes({{3, 33}})));
    EXPECT_EQ(port.read(2), (Bytes{3, 33}));

    EXPECT_TRUE(board.stop());
    EXPECT_FALSE(board.running());
    EXPECT_EQ(board.commands(), (std::vector<PositionCommand>{{3, 33}}));
    pollfd p{port.fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, static_cast<int>(kTimeout.count())), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
}

class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tolvane-board-XXXXXX");
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

TEST(BoardPty, LinkReplacesOldLinkLeadsToDeviceAndGoesOnExit) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::filesystem::path link = dir.path() / "COM1";
    // Left behind by an earlier board that was killed.
    std::filesystem::create_symlink("/dev/pts/does-not-exist", link);

    BoardProcess board(TOLVANE_BOARD_PATH,
                       Options{ReplyMode::Echo, milliseconds(0), link.string()});
    EXPECT_EQ(std::filesystem::read_symlink(link), board.device());
    {
        Port port(link.string());
        ASSERT_TRUE(port.isOpen());
        ASSERT_TRUE(port.write(commandBytes({{5, 55}})));
        EXPECT_EQ(port.read(2), (Bytes{5, 55}));
    }
    EXPECT_TRUE(board.stop());
    EXPECT_FALSE(std::filesystem::is_symlink(std::filesystem::symlink_status(link)));
}

TEST(BoardPty, RefusesToReplaceAFileWithALink) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::filesystem::path file = dir.path() / "COM1";
    { std::ofstream(file) << "keep me"; }
    EXPECT_THROW(
        BoardProcess(TOLVANE_BOARD_PATH, Options{ReplyMode::Echo, milliseconds(0), file.string()}),
        std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
}

}  // namespace
}  // namespace tolvane::test_support
