// tolvane-board: the servo board simulated on a pseudo-terminal, for trying the panel without
// hardware and for the integration tests. The behaviour lives in BoardCore, the serving loop in
// BoardServer, the window in BoardWindow; this file sets up the terminal and starts them.
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "board_cli.h"
#include "board_core.h"
#include "board_server.h"
#include "board_window.h"

namespace {

using tolvane::board::BoardCore;
using tolvane::board::BoardOptions;
using tolvane::board::BoardServer;
using tolvane::board::BoardWindow;

// Written by the signal handler so that poll() wakes without a race against the stop check.
int stopPipe[2] = {-1, -1};

// Asks the serving loop to end; safe in a signal handler.
void requestStop() {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(stopPipe[1], &byte, 1);
}

void onStopSignal(int /*signal*/) {
    const int savedErrno = errno;
    requestStop();
    errno = savedErrno;
}

bool installStopHandlers() {
    if (pipe(stopPipe) != 0) {
        return false;
    }
    for (int fd : stopPipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // SIGPIPE: whoever read our stdout has gone, so nobody is watching this board any more.
    // std::all_of, not std::ranges::all_of: the libc++ of LLVM 14 lacks the latter.
    const std::array stopSignals{SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    return std::all_of(stopSignals.begin(), stopSignals.end(),
                       [&action](int signal) { return sigaction(signal, &action, nullptr) == 0; });
}

void fail(const char* what) {
    tolvane::board::reportFailure(what);
}

struct Terminal {
    int master = -1;
    int slave = -1;
    std::string path;
};

bool openTerminal(Terminal& terminal) {
    terminal.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal.master < 0 || grantpt(terminal.master) != 0 || unlockpt(terminal.master) != 0) {
        fail("cannot open a pseudo-terminal");
        return false;
    }
    const char* name = ptsname(terminal.master);
    if (name == nullptr) {
        fail("ptsname");
        return false;
    }
    terminal.path = name;
    // Holding the slave open ourselves means the master never sees a hangup when the panel closes
    // the port, so the board outlives any number of close/reopen cycles. This fd is never read:
    // that would steal bytes meant for the panel.
    terminal.slave = open(name, O_RDWR | O_NOCTTY);
    if (terminal.slave < 0) {
        fail("cannot open the terminal's slave side");
        return false;
    }
    termios settings{};
    if (tcgetattr(terminal.slave, &settings) != 0) {
        fail("tcgetattr");
        return false;
    }
    cfmakeraw(&settings);
    if (tcsetattr(terminal.slave, TCSANOW, &settings) != 0) {
        fail("tcsetattr");
        return false;
    }
    // Non-blocking so that a panel which never reads cannot stall the board on a full buffer.
    fcntl(terminal.master, F_SETFL, fcntl(terminal.master, F_GETFL) | O_NONBLOCK);
    fcntl(terminal.master, F_SETFD, FD_CLOEXEC);
    fcntl(terminal.slave, F_SETFD, FD_CLOEXEC);
    return true;
}

bool makeLink(const std::string& linkPath, const std::string& target) {
    struct stat existing {};
    if (lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            (void)std::fprintf(stderr, "tolvane-board: %s exists and is not a symbolic link\n",
                               linkPath.c_str());
            return false;
        }
        unlink(linkPath.c_str());
    }
    if (symlink(target.c_str(), linkPath.c_str()) != 0) {
        fail(linkPath.c_str());
        return false;
    }
    return true;
}

// Removes the link only while it still leads to our terminal: another board may have taken it.
void removeLink(const std::string& linkPath, const std::string& target) {
    std::vector<char> buffer(target.size() + 2);
    const ssize_t length = readlink(linkPath.c_str(), buffer.data(), buffer.size());
    if (length >= 0 && std::string(buffer.data(), static_cast<std::size_t>(length)) == target) {
        unlink(linkPath.c_str());
    }
}

// Serves the terminal on a thread of its own, so that painting never holds up the line's pace,
// while this thread runs the window. Whichever ends first ends the other.
int serveWithWindow(BoardServer& server, const Terminal& terminal, const BoardOptions& options) {
    BoardWindow window({QString::fromStdString(terminal.path),
                        tolvane::board::describeReply(options.reply, options.delay), options.baud,
                        options.latency});
    server.setListener([&window](const std::vector<tolvane::PositionCommand>& commands,
                                 const tolvane::board::LineStatus& line) {
        QMetaObject::invokeMethod(
            &window, [&window, commands, line] { window.report(commands, line); },
            Qt::QueuedConnection);
    });
    window.show();
    int status = EXIT_SUCCESS;
    std::thread serving([&server, &status] {
        status = server.run();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    QApplication::exec();
    requestStop();
    serving.join();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const auto parsed =
        tolvane::board::parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        (void)std::fputs(tolvane::board::usage(argv[0]).c_str(), stdout);
        return EXIT_SUCCESS;
    }
    if (!parsed.error.empty()) {
        (void)std::fprintf(stderr, "tolvane-board: %s\n%s", parsed.error.c_str(),
                           tolvane::board::usage(argv[0]).c_str());
        return 2;
    }
    const BoardOptions& options = parsed.options;

    // The display is opened first, so that a board that cannot show its window leaves nothing
    // behind. Without --window nothing needs a display.
    std::optional<QApplication> application;
    if (options.window) {
        application.emplace(argc, argv);
    }

    if (!installStopHandlers()) {
        fail("cannot install signal handlers");
        return EXIT_FAILURE;
    }
    Terminal terminal;
    if (!openTerminal(terminal)) {
        return EXIT_FAILURE;
    }
    // The link is in place before the device line appears, so a reader of that line may use it.
    if (!options.linkPath.empty() && !makeLink(options.linkPath, terminal.path)) {
        return EXIT_FAILURE;
    }
    tolvane::board::printLine(tolvane::board::deviceLine(terminal.path));

    BoardCore core(options.reply, options.delay);
    BoardServer server(terminal.master, stopPipe[0], core, options.baud, options.latency);
    const int status = options.window ? serveWithWindow(server, terminal, options) : server.run();

    if (!options.linkPath.empty()) {
        removeLink(options.linkPath, terminal.path);
    }
    close(terminal.slave);
    close(terminal.master);
    return status;
}
