#include "pages/GameProfileSwitch.h"

#include "platform/JsonFile.h"

namespace m470 {
namespace {

// A page's device by a name that stays its own: its profile folder.
std::string DeviceKey(const CDevicePage& page) { return page.Device().DataFolder(); }

DeviceProfiles ProfilesOf(const CDevicePage& page) {
    const CDeviceProfileUI& strip = *page.ProfileStrip();
    DeviceProfiles device{DeviceKey(page), strip.GetCurrentUuid(), {}};
    const Json::Value list = strip.GetProfileList();
    for (const Json::Value& entry : list)
        device.profiles.push_back({JsonText(Member(entry, "profileUUID")), CDeviceProfileUI::LinkOf(entry)});
    return device;
}

}  // namespace

CGameProfileSwitch::Linked CGameProfileSwitch::Collect(const std::vector<CDevicePage*>& pages) {
    Linked linked;
    for (CDevicePage* page : pages) {
        if (page == nullptr || page->ProfileStripPanel() == nullptr) continue;
        linked.pages.push_back(page);
        linked.devices.push_back(ProfilesOf(*page));
    }
    return linked;
}

std::vector<GameProfileNotice> CGameProfileSwitch::Check(const std::vector<CDevicePage*>& pages) {
    const Linked linked = Collect(pages);
    // Without a link and with nothing to give back, the processes need no reading.
    watchingAfterCheck_ = watcher_.Watching(linked.devices);
    if (!watchingAfterCheck_) return {};
    std::vector<GameProfileNotice> notices = Apply(linked, processes_.List(), foreground_.ForegroundPid());
    watchingAfterCheck_ = watcher_.Watching(linked.devices);  // a profile given back may end the holding
    return notices;
}

std::vector<GameProfileNotice> CGameProfileSwitch::Release(const std::vector<CDevicePage*>& pages) {
    return Apply(Collect(pages), {}, std::nullopt);
}

std::vector<GameProfileNotice> CGameProfileSwitch::Apply(const Linked& linked, const std::vector<ProcessInfo>& processes,
                                                         std::optional<int> foregroundPid) {
    std::vector<GameProfileNotice> notices;
    for (const ProfileSwitch& decided : watcher_.Decide(linked.devices, processes, foregroundPid)) {
        for (CDevicePage* page : linked.pages) {
            if (DeviceKey(*page) != decided.device || !page->ProfileStripPanel()->SwitchTo(decided.uuid)) continue;
            CDeviceProfileUI& strip = *page->ProfileStrip();
            notices.push_back({&page->Device(), strip.RowText(strip.GetCurSel()), decided.program});
        }
    }
    return notices;
}

}  // namespace m470
