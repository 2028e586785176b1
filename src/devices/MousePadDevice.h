#pragma once
// A lit mousepad (kind 3; its models are rows of Products.h): its configuration is its lighting.
#include <array>
#include <atomic>

#include "devices/VantrelUSBDevice.h"

namespace m470 {

namespace pad_record {
inline constexpr size_t kActiveIndex = 0;
inline constexpr size_t kMode = 1;  // held as the mode index
inline constexpr size_t kBrightness = 2;
inline constexpr size_t kSpeed = 3;  // held as the user value 0-4
inline constexpr size_t kDirection = 4;
inline constexpr size_t kSevenColours = 5;
inline constexpr size_t kRed = 6;
inline constexpr size_t kKept = 22;     // bytes kept from a read
inline constexpr size_t kRead = 34;     // read at index × 33
inline constexpr size_t kWritten = 21;  // written at index × 64
inline constexpr size_t kReadStride = 33;
inline constexpr size_t kWriteStride = 64;
}  // namespace pad_record


class CVantrelMousePadDevice : public CVantrelUSBDevice {
public:
    explicit CVantrelMousePadDevice(std::shared_ptr<HidBackend> backend = nullptr,
                                    const ProductRow& product = DefaultProduct(DeviceKind::MousePad));
    ~CVantrelMousePadDevice() override;

    int ApplyProfile() override;
    // The pad has only its settings record.
    int WriteAllSettings() override { return WriteSettingsRecord() == kResultSuccess ? 0 : -1; }
    int ReadFromDevice() override;
    void ReloadSettings() override;
    void LoadAssignments() override;
    int WriteToDevice(int record, int firstByte, int flag, int screenWidth, int screenHeight) override;

    const std::array<uint8_t, pad_record::kKept>& Record() const { return record_; }
    // Settings to listeners (the headset tells its audio too).
    virtual void PublishSettings();
    // The 21 bytes WriteToDevice sends.
    virtual std::array<uint8_t, pad_record::kWritten> RecordToWrite() const;

protected:
    // A product built like the pad (one lighting record, host-side steps)
    // with its own kind, wave spacing and trail placement.
    CVantrelMousePadDevice(DeviceKind kind, std::shared_ptr<HidBackend> backend, const ProductRow& product,
                           const WaveShape& wave, size_t trailShift);
    void OnNotification(uint16_t code, bool receiver) override;
    void LightingTick(uint32_t& ticks) override;
    uint32_t StepDueTicks() const override;
    // Static and off, while no per-LED record moves (the mode is the kept record's).
    bool StillEffect(int mode) const override;
    bool StreamsFrame() const override { return StreamsAudioFrame(); }
    int StreamFrame(const LedFrame& frame) override { return StreamFrameBytes(frame); }
    // The bytes of the last read, untranslated, and the index they were read at.
    const std::array<uint8_t, pad_record::kRead>& LastRead() const { return lastRead_; }
    uint8_t LastReadIndex() const { return lastReadIndex_; }

private:
    void PublishLighting();
    // The lighting record with the kept record's mode and speed.
    LightingState LiveLighting() const;
    // The record from the pad (1 byte at 0, then 34 bytes at index × 33).
    int ReadRecord(uint8_t* index = nullptr);
    // The lighting fields of the record from a lighting record.
    void TakeLighting(const LightInfo& light);
    CBasicProfiledata profile_;
    WaveShape wave_ = kPadWave;
    size_t trailShift_ = 0;
    std::array<uint8_t, pad_record::kKept> record_{};
    std::array<uint8_t, pad_record::kRead> lastRead_{};
    uint8_t lastReadIndex_ = 0;
    AttachmentMark recordRead_;
    std::atomic<uint8_t> liveMode_{0}, liveSpeed_{0};  // mode and speed for the lighting thread
    PadTrailState padTrail_;
    bool perLedToShow_ = false;  // new per-LED records not yet run on the frame (under perLedMutex_)
};

}  // namespace m470
