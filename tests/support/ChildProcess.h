#pragma once
// Programs a test starts are always ended, also when the test fails or dies:
// each runs in a process group of its own (what it starts in turn goes with
// it) and is killed by the kernel should the test process end first. The
// guard's destructor ends the whole group and reaps the program.
#include <QProcess>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace m470::test {

// In the child between fork and exec: async-signal-safe calls only. The
// death signal follows the thread that forked: start children from the
// test's own thread.
inline void DieWithTheTest(pid_t test) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != test) ::_exit(127);  // the test ended before the line above
}

// Waits for pid to end, reaping it; its wait status, or -1 when it still
// runs at the deadline.
inline int ReapBy(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return status;
        if (done < 0 && errno != EINTR) return 0;  // not ours (any more)
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Signals the group; the leader gets limit to end, then the group is killed.
// The leader's wait status.
inline int EndGroup(pid_t leader, int signal, std::chrono::milliseconds limit) {
    ::kill(-leader, signal);
    int status = ReapBy(leader, std::chrono::steady_clock::now() + limit);
    ::kill(-leader, SIGKILL);  // what it started, and itself when it did not end
    if (status == -1) status = ReapBy(leader, std::chrono::steady_clock::now() + std::chrono::seconds(10));
    return status;
}

class ChildProcess {
public:
    // argv[0] is the program's path; environment holds NAME=VALUE lines put
    // over this process's; stdout and stderr go to output (appended).
    // passFd, when not -1, is descriptor 3 of the child.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                 const std::string& output, int passFd = -1) {
        std::vector<std::string> lines = environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string line(*entry);
            const std::string name = line.substr(0, line.find('=') + 1);
            bool replaced = false;
            for (const std::string& given : environment) replaced = replaced || given.rfind(name, 0) == 0;
            if (!replaced) lines.push_back(line);
        }
        std::vector<char*> args, env;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        for (const std::string& line : lines) env.push_back(const_cast<char*>(line.c_str()));
        args.push_back(nullptr);
        env.push_back(nullptr);
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        const pid_t test = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            DieWithTheTest(test);
            const int in = ::open("/dev/null", O_RDONLY);
            ::dup2(in, STDIN_FILENO);
            if (out >= 0) {
                ::dup2(out, STDOUT_FILENO);
                ::dup2(out, STDERR_FILENO);
            }
            if (passFd >= 0) ::dup2(passFd, 3);
            ::execve(args[0], args.data(), env.data());
            ::_exit(127);
        }
        if (pid_ > 0) ::setpgid(pid_, pid_);  // whichever of the two runs first
        if (out >= 0) ::close(out);
    }
    ~ChildProcess() { Stop(SIGKILL); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running() {
        if (pid_ <= 0 || ended_) return false;
        const int status = ReapBy(pid_, std::chrono::steady_clock::now());
        if (status == -1) return true;
        ended_ = true;
        status_ = status;
        return false;
    }
    // Waits up to limit for it to end on its own; its wait status, -1 while it runs.
    int WaitEnd(std::chrono::milliseconds limit) {
        if (!ended_ && pid_ > 0) {
            const int status = ReapBy(pid_, std::chrono::steady_clock::now() + limit);
            if (status == -1) return -1;
            ended_ = true;
            status_ = status;
        }
        ::kill(-pid_, SIGKILL);  // nothing it started stays behind
        return status_;
    }
    // Ends it and its group (signal first, SIGKILL after limit); its wait status.
    int Stop(int signal = SIGTERM, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
        if (pid_ <= 0) return -1;
        if (!ended_) {
            status_ = EndGroup(pid_, signal, limit);
            ended_ = true;
        }
        ::kill(-pid_, SIGKILL);
        return status_;
    }

private:
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = -1;
};

// A QProcess whose program (and what that starts) ends with the test.
class TestProcess : public QProcess {
public:
    // extra runs in the child too (after the group is set up).
    explicit TestProcess(std::function<void()> extra = {}) {
        const pid_t test = ::getpid();
        setChildProcessModifier([test, extra] {
            DieWithTheTest(test);
            if (extra) extra();
        });
        connect(this, &QProcess::started, this, [this] { group_ = processId(); });
    }
    ~TestProcess() override {
        if (processId() > 0) group_ = processId();
        if (group_ > 0) ::kill(-static_cast<pid_t>(group_), SIGKILL);
        waitForFinished(10000);
    }

private:
    qint64 group_ = 0;
};

}  // namespace m470::test
