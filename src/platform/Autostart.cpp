#include "platform/Autostart.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits.h>
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

// The program's name when the PATH finds this very program under it (the
// package's launcher): the entry then outlives a move of the files behind it.
std::string Launcher(const std::string& executable) {
    const char* path = std::getenv("PATH");
    const std::string name = executable.substr(executable.find_last_of('/') + 1);
    char* own = ::realpath(executable.c_str(), nullptr);
    if (own == nullptr || path == nullptr || name.empty()) {
        std::free(own);
        return executable;
    }
    std::string found;
    std::string folders = path;
    for (size_t start = 0; start <= folders.size() && found.empty();) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        char* resolved = end > start ? ::realpath(candidate.c_str(), nullptr) : nullptr;
        if (resolved != nullptr && std::string(resolved) == own) found = name;
        std::free(resolved);
        start = end + 1;
    }
    std::free(own);
    return found.empty() ? executable : found;
}

}  // namespace

std::string AutostartEntryPath() { return GetAutostartFolder() + kDesktopId + ".desktop"; }

bool AutostartEnabled() {
    struct stat status {};
    return ::stat(AutostartEntryPath().c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string AutostartEntryText(const std::string& executable) {
    if (executable.empty() || executable.find_first_of("\r\n") != std::string::npos) return {};
    // The names of the menu's entry, so the session lists it as the same program.
    return std::string("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=M470 Control Center\n"
                       "Name[zh_CN]=M470 控制中心\n"
                       "Comment=Configure M470 mice, keyboards, mousepads and headsets\n"
                       "Comment[zh_CN]=设置 M470 鼠标、键盘、鼠标垫和耳机\n"
                       "Exec=") +
           ExecArgument(Launcher(executable)) + " " + kTrayOption + "\n" +
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
