#pragma once
// The program's command line: which run it asks for, or why it is wrong.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace m470 {

struct CommandLine {
    bool help = false;
    bool version = false;
    bool wantVirtual = false;
    bool tray = false;  // start hidden in the tray, when there is one
    std::string script, screenshot;
    // --send NAME [WPARAM [LPARAM]]
    std::optional<std::string> sendName;
    intptr_t sendWParam = 0, sendLParam = 0;
    // Empty when the line is usable; the run then exits 2 with this and the usage.
    std::string error;
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);
// A whole decimal number (optional sign) that fits intptr_t.
std::optional<intptr_t> ParseMessageNumber(const std::string& text);
const char* UsageText();

}  // namespace m470
