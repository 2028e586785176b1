#include "lighting/GameLighting.h"

#include "devices/VantrelUSBDevice.h"

namespace m470 {

void CGameLighting::Commit(CVantrelUSBDevice& device, int mode) {
    LightInfo light = device.GetLightInfo();
    if (device_ == nullptr) light.oldLedmode = light.selectItem;  // the user's mode, before the first effect
    light.selectItem = static_cast<uint8_t>(mode);
    device.SetSynced(false);
    const int result = device.CommitLightInfo(light) == kResultSuccess ? 0 : -1;
    device.Tell(DeviceChange::Lighting);
    if (report_) report_(result);
}

bool CGameLighting::Show(CVantrelUSBDevice& device, int mode) {
    if (mode < 0 || static_cast<size_t>(mode) >= device.LightModeCount()) return false;
    if (device_ != nullptr && device_ != &device) Restore();  // one device shows a game effect at a time
    Commit(device, mode);
    device_ = &device;
    return true;
}

void CGameLighting::Restore() {
    if (device_ == nullptr) return;
    CVantrelUSBDevice& device = *device_;
    const int kept = device.GetLightInfo().oldLedmode;
    Commit(device, kept);
    device_ = nullptr;
}

}  // namespace m470
