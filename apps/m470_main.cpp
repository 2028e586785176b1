// Until the window exists, the program reports its version and the folders it
// would use, so an installation can be checked.
#include <cstdio>
#include <cstring>

#include "Version.h"
#include "platform/Folders.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("m470 %s\n", m470::kVersion);
            return 0;
        }
    }
    std::printf("m470 %s\n", m470::kVersion);
    std::printf("data folder:         %s\n", m470::GetAppDataFolder().c_str());
    std::printf("default data folder: %s\n", m470::GetDefaultDataFolder().c_str());
    std::printf("The configuration window is not built yet; this build provides the core library and its tests.\n");
    return 0;
}
