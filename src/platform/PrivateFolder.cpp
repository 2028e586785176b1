#include "platform/PrivateFolder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace m470 {

bool EnsurePrivateFolder(const std::string& path, std::string& error) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    // lstat: a symbolic link planted in its place is refused, not followed.
    if (::lstat(path.c_str(), &info) != 0) {
        error = "cannot inspect " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        error = path + " is not a folder";
        return false;
    }
    if (info.st_uid != ::getuid()) {
        error = path + " belongs to another user";
        return false;
    }
    if ((info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(info.st_mode & 0777));
        error = path + " is open to other users (mode " + mode + ")";
        return false;
    }
    return true;
}

}  // namespace m470
