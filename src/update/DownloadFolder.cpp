#include "update/DownloadFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/PrivateFolder.h"

namespace m470 {

DownloadFolder::~DownloadFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool DownloadFolder::Create(std::string& error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = (tmp != nullptr && tmp[0] == '/' ? std::string(tmp) : std::string("/tmp"));
    if (pattern.back() != '/') pattern += '/';
    pattern += "UpdateData-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        error = "cannot make a download folder under " + pattern + ": " + std::strerror(errno);
        return false;
    }
    const std::string made(buffer.data());
    if (!EnsurePrivateFolder(made, error)) return false;
    path_ = made + "/";
    return true;
}

std::string DownloadFolder::SafeFileName(const std::string& name) {
    std::string safe;
    for (char c : name) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        safe += kept ? c : '_';
    }
    if (safe.empty() || safe == "." || safe == "..") safe = "_";
    return safe;
}

int DownloadFolder::OpenForWriting(const std::string& fileName) const {
    if (path_.empty()) return -1;
    return ::open((path_ + SafeFileName(fileName)).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
}

}  // namespace m470
