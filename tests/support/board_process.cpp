#include "board_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace tolvane::test_support {

namespace {

using Clock = std::chrono::steady_clock;

// How long one wait lasts before a Qt event loop gets a turn.
constexpr std::chrono::milliseconds kSlice{10};

std::chrono::milliseconds remaining(Clock::time_point deadline) {
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()));
}

void serveQtEvents() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

std::runtime_error failure(const std::string& what) {
    return std::runtime_error("BoardProcess: " + what + ": " + std::strerror(errno));
}

}  // namespace

BoardProcess::BoardProcess(const std::string& binaryPath, const Options& options,
                           std::chrono::milliseconds startTimeout) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        throw failure("pipe");
    }
    // Neither end may leak into the board (or into later boards): an open write end would keep
    // our reads from ever seeing the end of its output.
    fcntl(pipeFds[0], F_SETFD, FD_CLOEXEC);
    fcntl(pipeFds[1], F_SETFD, FD_CLOEXEC);
    output_ = pipeFds[0];

    std::vector<std::string> arguments = board::toArguments(options);
    arguments.insert(arguments.begin(), binaryPath);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    // The board must not care that its stdin is empty, so give it an empty one.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, binaryPath.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(output_);
        errno = spawned;
        throw failure("cannot start " + binaryPath);
    }
    pid_ = pid;

    const auto deadline = Clock::now() + startTimeout;
    while (device_.empty() && Clock::now() < deadline) {
        if (!readOutput(std::min(kSlice, remaining(deadline)))) {
            break;
        }
    }
    if (device_.empty()) {
        stop();
        close(output_);
        throw std::runtime_error("BoardProcess: " + binaryPath + " printed no device line");
    }
}

BoardProcess::~BoardProcess() {
    stop();
    close(output_);
}

const std::vector<PositionCommand>& BoardProcess::commands() {
    readOutput(std::chrono::milliseconds(0));
    return commands_;
}

bool BoardProcess::waitForCommands(std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const bool open = readOutput(std::chrono::milliseconds(0));
        if (commands_.size() >= count) {
            return true;
        }
        if (!open || Clock::now() >= deadline) {
            return false;
        }
        serveQtEvents();
        readOutput(std::min(kSlice, remaining(deadline)));
    }
}

bool BoardProcess::stop() {
    if (pid_ <= 0) {
        return cleanExit_;
    }
    kill(pid_, SIGTERM);
    // The board's output ends when it exits; read up to there so no printed command is lost.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline && readOutput(std::min(kSlice, remaining(deadline)))) {
    }
    if (Clock::now() >= deadline) {
        kill(pid_, SIGKILL);
    }
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    cleanExit_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return cleanExit_;
}

bool BoardProcess::readOutput(std::chrono::milliseconds wait) {
    if (output_ < 0) {
        return false;
    }
    pollfd fd{output_, POLLIN, 0};
    int timeout = static_cast<int>(wait.count());
    for (;;) {
        const int ready = poll(&fd, 1, timeout);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return ready == 0;
        }
        char buffer[512];
        const ssize_t n = read(output_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;  // the board has closed its output: it has ended
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            takeLine(pending_.substr(0, end));
            pending_.erase(0, end + 1);
        }
        timeout = 0;  // take whatever else is already there, then return
    }
}

void BoardProcess::takeLine(const std::string& line) {
    if (device_.empty()) {
        if (auto device = board::parseDeviceLine(line)) {
            device_ = *device;
        }
        return;
    }
    if (auto command = board::parseCommandLine(line)) {
        commands_.push_back(*command);
    }
}

}  // namespace tolvane::test_support
