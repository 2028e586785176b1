#include "games/GameWatcher.h"

#include <algorithm>

#include "games/ProgramMatch.h"

namespace m470 {
namespace {

bool Lists(const DeviceProfiles& device, const std::string& uuid) {
    return std::any_of(device.profiles.begin(), device.profiles.end(), [&](const ProfileLinkRow& row) { return row.uuid == uuid; });
}

// Later start wins; pids break a tie within one clock tick.
bool StartedLater(const ProcessInfo& a, const ProcessInfo& b) {
    return a.startTime != b.startTime ? a.startTime > b.startTime : a.pid > b.pid;
}

}  // namespace

CGameWatcher::Winner CGameWatcher::Pick(const DeviceProfiles& device, const std::vector<ProcessInfo>& processes,
                                        std::optional<int> foregroundPid) {
    Winner winner;
    for (const ProfileLinkRow& row : device.profiles) {
        if (row.program.empty()) continue;
        const ProgramLink link = MakeProgramLink(row.program);
        for (const ProcessInfo& process : processes) {
            if (!LinkMatches(link, process)) continue;
            const bool inFront = foregroundPid && process.pid == *foregroundPid;
            const bool winnerInFront = winner.process != nullptr && foregroundPid && winner.process->pid == *foregroundPid;
            if (winner.process == nullptr || inFront || (!winnerInFront && StartedLater(process, *winner.process)))
                winner = {&row, &process};
        }
    }
    return winner;
}

bool CGameWatcher::Watching(const std::vector<DeviceProfiles>& devices) const {
    if (!held_.empty()) return true;
    for (const DeviceProfiles& device : devices)
        for (const ProfileLinkRow& row : device.profiles)
            if (!row.program.empty()) return true;
    return false;
}

std::vector<ProfileSwitch> CGameWatcher::Decide(const std::vector<DeviceProfiles>& devices, const std::vector<ProcessInfo>& processes,
                                                std::optional<int> foregroundPid) {
    std::vector<ProfileSwitch> switches;
    for (const DeviceProfiles& device : devices) {
        const Winner winner = Pick(device, processes, foregroundPid);
        const auto held = held_.find(device.device);
        if (winner.row != nullptr) {
            Held& state = held == held_.end() ? held_[device.device] = Held{device.currentUuid, {}} : held->second;
            // Only a new winner switches: a profile the user chose while the
            // program runs stays until another linked program takes over.
            if (winner.row->uuid == state.appliedUuid) continue;
            state.appliedUuid = winner.row->uuid;
            if (winner.row->uuid != device.currentUuid)
                switches.push_back({device.device, winner.row->uuid, SwitchReason::ProgramRuns, winner.row->program});
            continue;
        }
        if (held == held_.end()) continue;
        const Held state = held->second;
        held_.erase(held);
        const bool untouched = device.currentUuid == state.appliedUuid;
        if (untouched && state.restoreUuid != device.currentUuid && Lists(device, state.restoreUuid))
            switches.push_back({device.device, state.restoreUuid, SwitchReason::ProgramsEnded, {}});
    }
    return switches;
}

}  // namespace m470
