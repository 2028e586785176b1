#include "platform/DesktopSettings.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/DebugTrace.h"
#include "platform/StoppableThread.h"

extern char** environ;

namespace m470 {
namespace {

// The child's id and the read end of its output, or -1. The child leads a
// process group of its own, so that killing it reaches what it started.
pid_t Spawn(const std::vector<std::string>& command, int& output) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return -1;
    std::vector<char*> argv;
    for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t child = -1;
    const int error = ::posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (error != 0) {
        ::close(ends[0]);
        return -1;
    }
    output = ends[0];
    return child;
}

// Whether fd has something to read (or its end) before the deadline and
// before the stop event, when there is one, is set.
bool ReadableInTime(int fd, const ToolLimit& limit, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int timeoutMs = static_cast<int>(std::max<int64_t>(left.count(), 0));
        if (limit.stop != nullptr) return WaitForFdOrStop(fd, *limit.stop, timeoutMs) == FdWait::Ready;
        pollfd watched{fd, POLLIN, 0};
        const int ready = ::poll(&watched, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

// The child's output until it closes it; false when the limit came first.
bool ReadAll(int output, const ToolLimit& limit, std::chrono::steady_clock::time_point deadline, std::string& text) {
    char buffer[4096];
    for (;;) {
        if (!ReadableInTime(output, limit, deadline)) return false;
        const ssize_t got = ::read(output, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) return true;
        text.append(buffer, static_cast<size_t>(got));
    }
}

}  // namespace

std::optional<std::string> RunForOutput(const std::vector<std::string>& command, const ToolLimit& limit) {
    if (command.empty() || (limit.stop != nullptr && limit.stop->IsSet())) return std::nullopt;
    int output = -1;
    const pid_t child = Spawn(command, output);
    if (child < 0) return std::nullopt;
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + limit.time;
    bool ended = ReadAll(output, limit, deadline, text);
    // Its output closed, the tool may still linger: its process descriptor
    // becomes readable when it has ended.
    if (const int process = ended ? static_cast<int>(::syscall(SYS_pidfd_open, child, 0)) : -1; process >= 0) {
        ended = ReadableInTime(process, limit, deadline);
        ::close(process);
    }
    if (!ended) ::kill(-child, SIGKILL);
    ::close(output);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended) {
        DebugTrace::Printf("desktop tool %s gave no answer: stopped", command.front().c_str());
        return std::nullopt;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return text;
}

std::optional<std::string> DesktopSettings::Get(const std::string& schema, const std::string& key) const {
    std::optional<std::string> value = RunForOutput({tool_, "get", schema, key}, limit_);
    if (!value) return std::nullopt;
    return TrimmedAnswer(std::move(*value));
}

std::string TrimmedAnswer(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

bool DesktopSettings::Set(const std::string& schema, const std::string& key, const std::string& value) const {
    const bool taken = RunForOutput({tool_, "set", schema, key, value}, limit_).has_value();
    DebugTrace::Printf("desktop setting %s %s = %s%s", schema.c_str(), key.c_str(), value.c_str(), taken ? "" : " (not taken)");
    return taken;
}

}  // namespace m470
