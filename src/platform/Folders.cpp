#include "platform/Folders.h"

#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace m470 {
namespace {

std::mutex gOverrideMutex;
std::string gInstallOverride;

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/tmp";
}

// $VARIABLE when set to an absolute path, else home + fallback.
std::string XdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    return WithSlash(HomeFolder()) + fallback;
}

// Creates every missing level of folder (like mkdir -p).
void EnsureFolder(const std::string& folder) {
    std::string partial;
    for (size_t pos = 0; pos < folder.size();) {
        size_t next = folder.find('/', pos + 1);
        if (next == std::string::npos) next = folder.size();
        partial = folder.substr(0, next);
        struct stat info {};
        if (!partial.empty() && ::stat(partial.c_str(), &info) != 0) ::mkdir(partial.c_str(), 0755);
        pos = next;
    }
}

std::string ExecutableFolder() {
    char buffer[4096];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return "./";
    std::string path(buffer, static_cast<size_t>(length));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

}  // namespace

void SetInstallFolderOverride(const std::string& folder) {
    std::lock_guard lock(gOverrideMutex);
    gInstallOverride = folder.empty() ? std::string() : WithSlash(folder);
}

std::string GetInstallFolder() {
    {
        std::lock_guard lock(gOverrideMutex);
        if (!gInstallOverride.empty()) return gInstallOverride;
    }
    static const std::string folder = ExecutableFolder();
    return folder;
}

std::string GetDefaultDataFolder() { return GetInstallFolder() + "DefaultData/"; }

std::string GetAppDataFolder() {
    std::string folder = WithSlash(XdgFolder("XDG_DATA_HOME", ".local/share")) + "M470/";
    EnsureFolder(folder);
    return folder;
}

std::string GetDeviceFolder(const std::string& deviceFolderName) {
    std::string folder = GetAppDataFolder() + deviceFolderName + "/";
    EnsureFolder(folder);
    return folder;
}

std::string GetDefaultProfilePath(const std::string& deviceFolderName) {
    return GetDefaultDataFolder() + deviceFolderName + ".Json";
}

std::string GetTempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = WithSlash(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "UpdateData/";
    EnsureFolder(folder);
    return folder;
}

std::string GetAutostartFolder() { return WithSlash(XdgFolder("XDG_CONFIG_HOME", ".config")) + "autostart/"; }

std::string GetConfigFolder() {
    std::string folder = WithSlash(XdgFolder("XDG_CONFIG_HOME", ".config")) + "M470/";
    EnsureFolder(folder);
    return folder;
}

}  // namespace m470
