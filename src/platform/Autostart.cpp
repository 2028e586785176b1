#include "platform/Autostart.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/Folders.h"

namespace m470 {
namespace {

// One argument of an Exec key: quoted when it holds a reserved character,
// with '"', '`', '$' and '\' escaped inside the quotes; then the string
// value's own escape of '\', and '%' doubled (it starts field codes).
std::string ExecArgument(const std::string& argument) {
    std::string quoted = argument;
    if (argument.find_first_of(" \t\"'\\><~|&;$*?#()`") != std::string::npos) {
        quoted = "\"";
        for (char c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
            quoted += c;
        }
        quoted += '"';
    }
    std::string value;
    for (char c : quoted) {
        if (c == '\\') value += '\\';
        if (c == '%') value += '%';
        value += c;
    }
    return value;
}

}  // namespace

std::string AutostartEntryPath() { return GetAutostartFolder() + kDesktopId + ".desktop"; }

bool AutostartEnabled() {
    struct stat status {};
    return ::stat(AutostartEntryPath().c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string AutostartEntryText(const std::string& executable) {
    if (executable.empty() || executable.find_first_of("\r\n") != std::string::npos) return {};
    return std::string("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=M470\n"
                       "Comment=Settings and lighting of M470 mice, keyboards, mousepads and headsets\n"
                       "Exec=") +
           ExecArgument(executable) + " " + kTrayOption + "\n" +
           "Icon=" + kDesktopId + "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool SetAutostart(bool enabled, const std::string& executable) {
    const std::string path = AutostartEntryPath();
    if (!enabled) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    const std::string text = AutostartEntryText(executable);
    if (text.empty()) return false;
    const std::string folder = GetAutostartFolder();
    // The folder and its parent ($XDG_CONFIG_HOME) may not exist yet.
    const std::string parent = folder.substr(0, folder.find_last_of('/', folder.size() - 2) + 1);
    ::mkdir(parent.c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    return WriteFileAtomically(path, text);
}

}  // namespace m470
