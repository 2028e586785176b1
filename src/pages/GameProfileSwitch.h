#pragma once
// Profiles that follow the running program, on the device pages: each look
// reads the links of every page's profile list, asks the watcher, and
// switches through the profile strip as a user's choice in the list does.
#include <string>
#include <vector>

#include "games/ForegroundSource.h"
#include "games/GameWatcher.h"
#include "games/ProcessTable.h"
#include "pages/DevicePage.h"

namespace m470 {

// A switch made, for the user to see.
struct GameProfileNotice {
    const CVantrelUSBDevice* device = nullptr;
    std::string profileName;
    std::string program;  // empty when the profile from before came back
};

class CGameProfileSwitch {
public:
    CGameProfileSwitch(ProcessTable& processes, ForegroundSource& foreground) : processes_(processes), foreground_(foreground) {}

    std::vector<GameProfileNotice> Check(const std::vector<CDevicePage*>& pages);
    // Whether a later look can switch anything, as the last Check found it
    // (links and held profiles after its switches): its caller re-arms from
    // this without reading every profile list a second time.
    bool WatchingAfterCheck() const { return watchingAfterCheck_; }
    // Whether a look at these pages can switch anything now.
    bool Watching(const std::vector<CDevicePage*>& pages) const { return watcher_.Watching(Collect(pages).devices); }
    // The feature turned off: each held profile goes back as if its programs had ended.
    std::vector<GameProfileNotice> Release(const std::vector<CDevicePage*>& pages);

private:
    // The pages with a profile strip and their devices' links, in one order.
    struct Linked {
        std::vector<CDevicePage*> pages;
        std::vector<DeviceProfiles> devices;
    };
    static Linked Collect(const std::vector<CDevicePage*>& pages);
    std::vector<GameProfileNotice> Apply(const Linked& linked, const std::vector<ProcessInfo>& processes, std::optional<int> foregroundPid);

    ProcessTable& processes_;
    ForegroundSource& foreground_;
    CGameWatcher watcher_;
    bool watchingAfterCheck_ = false;
};

}  // namespace m470
