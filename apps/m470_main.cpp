// Until the window exists, the program reports its version, the folders it
// uses and the HID interfaces it recognises (real ones, or the virtual
// products chosen with --virtual / M470_VIRTUAL).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Version.h"
#include "device_link/HidDevice.h"
#include "device_link/KnownInterface.h"
#include "platform/Folders.h"
#include "sim/VirtualDeviceHub.h"

namespace {

void ListRecognisedInterfaces(const std::shared_ptr<m470::HidBackend>& backend) {
    m470::CHidDevice device(backend);
    device.EnumeratePaths();
    int recognised = 0;
    while (const char* path = device.NextPath()) {
        const auto row = m470::MatchPath(path);
        if (!row) continue;
        ++recognised;
        std::printf("  %-55s known interface row %zu\n", path, *row);
    }
    if (recognised == 0) std::printf("  no supported product found\n");
}

}  // namespace

int main(int argc, char** argv) {
    bool wantVirtual = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("m470 %s\n", m470::kVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--virtual") == 0) wantVirtual = true;
    }
    std::string selection;
    if (const char* chosen = std::getenv("M470_VIRTUAL"); chosen != nullptr && *chosen != '\0') selection = chosen;
    else if (wantVirtual) selection = "mouse,keyboard,mousepad,headset";

    std::unique_ptr<m470::VirtualDeviceHub> hub;
    std::shared_ptr<m470::HidBackend> backend = m470::DefaultHidBackend();
    if (!selection.empty()) {
        std::string error;
        const auto names = m470::ParseVirtualSelection(selection, error);
        if (!names) {
            std::fprintf(stderr, "m470: M470_VIRTUAL: %s\n", error.c_str());
            return 2;
        }
        hub = std::make_unique<m470::VirtualDeviceHub>();
        hub->PlugAll(*names);
        backend = hub->Backend();
    }

    std::printf("m470 %s\n", m470::kVersion);
    std::printf("data folder:         %s\n", m470::GetAppDataFolder().c_str());
    std::printf("default data folder: %s\n", m470::GetDefaultDataFolder().c_str());
    std::printf("%s HID interfaces:\n", hub ? "virtual" : "recognised");
    ListRecognisedInterfaces(backend);
    std::printf("The configuration window is not built yet; this build provides the core library and its tests.\n");
    return 0;
}
