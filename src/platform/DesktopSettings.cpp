#include "platform/DesktopSettings.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/DebugTrace.h"

extern char** environ;

namespace m470 {
namespace {

// The child's id and the read end of its output, or -1.
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
    pid_t child = -1;
    const int error = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (error != 0) {
        ::close(ends[0]);
        return -1;
    }
    output = ends[0];
    return child;
}

}  // namespace

std::optional<std::string> RunForOutput(const std::vector<std::string>& command) {
    if (command.empty()) return std::nullopt;
    int output = -1;
    const pid_t child = Spawn(command, output);
    if (child < 0) return std::nullopt;
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(output, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    ::close(output);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return text;
}

std::optional<std::string> DesktopSettings::Get(const std::string& schema, const std::string& key) const {
    std::optional<std::string> value = RunForOutput({tool_, "get", schema, key});
    if (!value) return std::nullopt;
    return TrimmedAnswer(std::move(*value));
}

std::string TrimmedAnswer(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

bool DesktopSettings::Set(const std::string& schema, const std::string& key, const std::string& value) const {
    const bool taken = RunForOutput({tool_, "set", schema, key, value}).has_value();
    DebugTrace::Printf("desktop setting %s %s = %s%s", schema.c_str(), key.c_str(), value.c_str(), taken ? "" : " (not taken)");
    return taken;
}

}  // namespace m470
