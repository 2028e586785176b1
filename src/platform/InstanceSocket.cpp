#include "platform/InstanceSocket.h"

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PrivateFolder.h"

namespace m470 {
namespace {

std::string RuntimeFolder() {
    const char* folder = std::getenv("XDG_RUNTIME_DIR");
    return folder != nullptr ? folder : "";
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A relative runtime folder would put the socket wherever the program was
// started from; it is ignored like an unset one.
bool UsableRuntimeFolder(const std::string& folder) { return !folder.empty() && folder.front() == '/' && IsFolder(folder); }

std::string PrivateSocketFolder() { return TemporaryFolder() + "/" + kInstanceSocketName + "-" + std::to_string(::getuid()); }

}  // namespace

std::string TemporaryFolder() {
    const char* chosen = std::getenv("TMPDIR");
    if (chosen == nullptr || *chosen == '\0') return "/tmp";
    std::string cleaned = std::filesystem::path(chosen).lexically_normal().string();
    while (cleaned.size() > 1 && cleaned.back() == '/') cleaned.pop_back();
    return cleaned;
}

std::string RuntimeFolderNotice() {
    const std::string folder = RuntimeFolder();
    if (folder.empty() || UsableRuntimeFolder(folder)) return {};
    const std::string why = folder.front() == '/' ? "does not exist" : "is not an absolute path";
    return "XDG_RUNTIME_DIR \"" + folder + "\" " + why + "; it is ignored and the socket goes into " + PrivateSocketFolder();
}

std::string InstanceSocketPath(std::string* error) {
    const std::string runtime = RuntimeFolder();
    if (UsableRuntimeFolder(runtime)) return runtime + "/" + kInstanceSocketName;
    // The shared temporary folder: only inside a folder no one else can enter.
    const std::string folder = PrivateSocketFolder();
    std::string why;
    if (!EnsurePrivateFolder(folder, why)) {
        if (error != nullptr) *error = why;
        return {};
    }
    return folder + "/" + kInstanceSocketName;
}

}  // namespace m470
