#pragma once
// Which profile each device should show while linked programs run: the
// linked program in front wins, else the one started last. The profile shown
// before the first switch comes back when the last linked program ends,
// unless the user chose another meanwhile or it was deleted.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "games/ProcessTable.h"

namespace m470 {

// One row of a device's profile list; program is empty for an unlinked one.
struct ProfileLinkRow {
    std::string uuid;
    std::string program;
};

struct DeviceProfiles {
    std::string device;  // any name that stays the device's own
    std::string currentUuid;
    std::vector<ProfileLinkRow> profiles;
};

enum class SwitchReason { ProgramRuns, ProgramsEnded };

struct ProfileSwitch {
    std::string device;
    std::string uuid;
    SwitchReason reason = SwitchReason::ProgramRuns;
    std::string program;  // the link that won; empty for a restore
};

class CGameWatcher {
public:
    // One look at the processes; the switches to make now, at most one per device.
    std::vector<ProfileSwitch> Decide(const std::vector<DeviceProfiles>& devices, const std::vector<ProcessInfo>& processes,
                                      std::optional<int> foregroundPid);
    // Whether a look can switch anything: a device has a linked profile, or
    // a linked program held a profile until now.
    bool Watching(const std::vector<DeviceProfiles>& devices) const;
    // Whether a linked program holds the device's profile now.
    bool Holding(const std::string& device) const { return held_.count(device) != 0; }

private:
    struct Winner {
        const ProfileLinkRow* row = nullptr;
        const ProcessInfo* process = nullptr;
    };
    static Winner Pick(const DeviceProfiles& device, const std::vector<ProcessInfo>& processes, std::optional<int> foregroundPid);

    // Per device while a linked program holds it: the profile to restore and
    // the one the watcher switched to.
    struct Held {
        std::string restoreUuid, appliedUuid;
    };
    std::map<std::string, Held> held_;
};

}  // namespace m470
