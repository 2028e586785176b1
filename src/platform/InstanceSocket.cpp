#include "platform/InstanceSocket.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PrivateFolder.h"

namespace m470 {
namespace {

std::string RuntimeFolder() {
    const char* folder = std::getenv("XDG_RUNTIME_DIR");
    return folder != nullptr ? folder : "";
}

std::string ModeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%03o", static_cast<unsigned>(mode & 0777));
    return text;
}

// Why the runtime folder cannot hold the socket; empty when it can. A
// relative one would put the socket wherever the program was started from;
// one another user owns or may write into lets that user replace the socket
// with one of their own.
std::string RuntimeFolderProblem(const std::string& folder) {
    if (folder.front() != '/') return "is not an absolute path";
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "does not exist";
    if (info.st_uid != ::getuid()) return "belongs to another user (uid " + std::to_string(info.st_uid) + ")";
    if ((info.st_mode & 022) != 0) return "may be written by other users (mode " + ModeText(info.st_mode) + ")";
    return {};
}

bool UsableRuntimeFolder(const std::string& folder) { return !folder.empty() && RuntimeFolderProblem(folder).empty(); }

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
    if (folder.empty()) return {};
    const std::string why = RuntimeFolderProblem(folder);
    if (why.empty()) return {};
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

bool PeerIsThisUser(int fd, std::string* why) {
    ucred peer {};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) {
        if (why != nullptr) *why = "cannot tell who listens on the socket";
        return false;
    }
    if (peer.uid == ::getuid()) return true;
    if (why != nullptr)
        *why = "the socket is held by another user (uid " + std::to_string(peer.uid) + ", process " + std::to_string(peer.pid) +
               "); nothing was sent to it";
    return false;
}

FileIdentity IdentityOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return {};
    return {info.st_dev, info.st_ino};
}

}  // namespace m470
