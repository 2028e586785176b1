#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace m470 {
namespace {

bool WriteAll(int fd, std::string_view content) {
    const char* data = content.data();
    size_t left = content.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view content) {
    if (path.empty()) return false;
    const std::string temporary = TemporaryNameFor(path);
    mode_t mode = 0666;
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) mode = existing.st_mode & 07777;
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, content) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace m470
