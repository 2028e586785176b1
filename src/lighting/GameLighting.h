#pragma once
// Game events from other programs: an effect shown on a device for a while,
// then the mode that was in force before the first of them.
#include <functional>

namespace m470 {

class CVantrelUSBDevice;

class CGameLighting {
public:
    // Called with each write's result (0 fine, -1 failed, else surplus macro events).
    using WriteReport = std::function<void(int result)>;
    explicit CGameLighting(WriteReport report = nullptr) : report_(std::move(report)) {}

    // Shows mode on device, keeping the mode in force as "OldLedmode" unless
    // a game effect is showing already. A mode outside the device's mode
    // table changes nothing: false.
    bool Show(CVantrelUSBDevice& device, int mode);
    // Puts the kept mode back on the device that showed the effect.
    void Restore();
    bool Showing() const { return device_ != nullptr; }
    CVantrelUSBDevice* Device() const { return device_; }

private:
    void Commit(CVantrelUSBDevice& device, int mode);

    WriteReport report_;
    CVantrelUSBDevice* device_ = nullptr;
};

}  // namespace m470
