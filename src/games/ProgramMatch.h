#pragma once
// Whether a running process is the program a profile is linked to. A link
// holding "/" names one executable by its path; otherwise it is a program's
// name, compared with the base name of what runs (case matters, as in file
// names), the kernel's 15-byte command name, and the Windows program of a
// Wine or Proton process (case does not matter there, as on Windows).
#include <string>

#include "games/ProcessTable.h"

namespace m470 {

struct ProgramLink {
    std::string text;      // as the profile list keeps it
    std::string resolved;  // a path link with its symbolic links followed; else the text
};

ProgramLink MakeProgramLink(const std::string& text);
bool LinkMatches(const ProgramLink& link, const ProcessInfo& process);
// The part after the last "/" (or "\\" of a Windows path).
std::string ProgramBaseName(const std::string& path);

}  // namespace m470
