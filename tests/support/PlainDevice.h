#pragma once
// A device of any kind with no product behind it: it reads and writes
// nothing, keeps an empty profile document and lights as the mouse does.
// Tests of the device core and of pages that need only the core use it.
#include "devices/VantrelUSBDevice.h"

namespace m470::test {

class PlainDevice : public CVantrelUSBDevice {
public:
    explicit PlainDevice(DeviceKind kind, std::shared_ptr<HidBackend> backend = nullptr)
        : CVantrelUSBDevice(kind, std::move(backend)) {
        UseProfileDocument(document_);
    }
    ~PlainDevice() override { StopThreads(); }
    int ReadFromDevice() override { return 0; }
    void ReloadSettings() override {}
    void LoadAssignments() override {}
    int ApplyProfile() override { return ApplyLightingProfile(); }
    int WriteToDevice(int, int, int, int, int) override { return 0; }  // nothing sent
    int WriteAllSettings() override { return WriteSettingsRecord() == kResultSuccess ? 0 : -1; }

protected:
    void OnNotification(uint16_t, bool) override {}
    void LightingTick(uint32_t& ticks) override { StepModeTable(ticks); }
    uint32_t StepDueTicks() const override { return ModeTableDueTicks(); }
    bool StillEffect(int mode) const override { return mode == 2 || mode == 3; }
    bool StreamsFrame() const override { return StreamsAudioFrame(); }
    int StreamFrame(const LedFrame& frame) override { return StreamFrameBytes(frame); }

private:
    CBasicProfiledata document_;
};

}  // namespace m470::test
