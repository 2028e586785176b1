#include "music/ParentTie.h"

#include <csignal>
#include <cstring>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

#include "music/CaptureProtocol.h"

namespace m470 {

bool TieToParent(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], kParentOption) != 0) continue;
        if (i + 1 >= argc) return false;
        const std::string text = argv[i + 1];
        if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
        const pid_t parent = static_cast<pid_t>(std::stol(text));
        // The signal comes when the thread that started us ends; a parent
        // that ended before this line is found by the check after it.
        // That end is a normal end of ours: the lock goes with the process.
        std::signal(SIGTERM, [](int) { ::_exit(0); });
        if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) return false;
        return parent > 0 && ::getppid() == parent;
    }
    return true;
}

}  // namespace m470
