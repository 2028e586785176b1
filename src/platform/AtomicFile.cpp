#include "platform/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <signal.h>
#include <system_error>
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

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The rename reaches the disk with the folder's entry, not only the file's data.
void SyncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view content) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    const std::string temporary = TemporaryNameFor(path);
    mode_t mode = 0666;
    struct stat existing {};
    // The owner can always read and write what we write, whatever the old mode.
    if (::stat(path.c_str(), &existing) == 0) mode = (existing.st_mode & 07777) | S_IRUSR | S_IWUSR;
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, content) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) {
        SyncFolderOf(path);
        return true;
    }
    if (ok) error = errno;  // the rename failed
    ::unlink(temporary.c_str());
    errno = error;  // the caller tells why the save failed, not what the clean-up met
    return false;
}

bool IsTemporaryName(std::string_view name, long& pid) {
    // NAME.tmp.PID.N
    const size_t counterDot = name.rfind('.');
    if (counterDot == std::string_view::npos || !AllDigits(name.substr(counterDot + 1))) return false;
    const size_t pidDot = name.rfind('.', counterDot - 1);
    if (pidDot == std::string_view::npos || pidDot < 4 || !AllDigits(name.substr(pidDot + 1, counterDot - pidDot - 1)))
        return false;
    if (name.substr(pidDot - 4, 4) != ".tmp") return false;
    pid = std::strtol(std::string(name.substr(pidDot + 1, counterDot - pidDot - 1)).c_str(), nullptr, 10);
    return true;
}

size_t RemoveOrphanTemporaryFiles(const std::string& folder, int depth) {
    size_t removed = 0;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error), end;
    for (; !error && it != end; it.increment(error)) {
        const std::filesystem::directory_entry& entry = *it;
        std::error_code typeError;
        if (entry.is_directory(typeError)) {
            if (depth > 0) removed += RemoveOrphanTemporaryFiles(entry.path().string(), depth - 1);
            continue;
        }
        long pid = 0;
        if (!IsTemporaryName(entry.path().filename().string(), pid)) continue;
        // A writer that is still running finishes its own file; at start-up
        // a file of our own id is a leftover of an earlier run.
        const bool writerAlive = pid != ::getpid() && pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
        if (writerAlive) continue;
        std::error_code removeError;
        if (std::filesystem::remove(entry.path(), removeError)) ++removed;
    }
    return removed;
}

}  // namespace m470
