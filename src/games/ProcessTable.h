#pragma once
// The programs running for the user, as the profile watcher needs them: who
// they are (executable, command name, the Windows program a Wine or Proton
// process runs) and when they started.
#include <cstdint>
#include <string>
#include <vector>

namespace m470 {

struct ProcessInfo {
    int pid = 0;
    // Clock ticks after boot (field 22 of /proc/PID/stat): orders starts.
    uint64_t startTime = 0;
    std::string exe;         // the executable's path; empty when it cannot be read
    std::string comm;        // the kernel's name, cut to 15 bytes
    std::string argv0;       // the first word of the command line
    std::string windowsExe;  // "Game.exe" of an argument ending in ".exe"; empty when none
};

class ProcessTable {
public:
    virtual ~ProcessTable() = default;
    virtual std::vector<ProcessInfo> List() = 0;
};

// The processes under a /proc folder (another root for tests).
class ProcProcessTable : public ProcessTable {
public:
    explicit ProcProcessTable(std::string root = "/proc") : root_(std::move(root)) {}
    std::vector<ProcessInfo> List() override;
    // One process's entry; false when it is gone or is no process.
    bool Read(int pid, ProcessInfo& info) const;

private:
    std::string root_;
};

// "Game.exe" of "C:\\Games\\Game.exe" or "/home/u/Game/Game.exe"; empty
// when no word of the command line ends in ".exe" (any case).
std::string WindowsProgramOf(const std::vector<std::string>& words);

}  // namespace m470
