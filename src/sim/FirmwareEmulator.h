#pragma once
// The firmware side of one product: answers 64-byte command reports from its
// memory areas the way the products do (checksum check, echo, status byte,
// configuration frames, chunked addressing).
#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "device_link/EventImage.h"
#include "device_link/HidTransport.h"

namespace m470 {

namespace firmware_status {
inline constexpr uint8_t kAccepted = 0x00;
inline constexpr uint8_t kRejected = 0xFF;  // unknown command, bad address or length, write outside a frame
inline constexpr uint8_t kFailed = 0xFE;    // bad checksum
}  // namespace firmware_status

// Status block read with ReadShort at address 0.
namespace status_block {
inline constexpr size_t kBatteryLevel = 0;
inline constexpr size_t kPowerState = 1;  // 0 cable, 1 charging, 2 battery
inline constexpr size_t kBattery = 4;     // reported to the window with message 0x0D01
inline constexpr size_t kPhoneType = 5;   // mousepad: phone lying on it
inline constexpr size_t kSize = 6;
}  // namespace status_block

class FirmwareEmulator {
public:
    virtual ~FirmwareEmulator() = default;

    // Thread-safe: the UI thread and a lighting thread may write at once.
    Report Answer(const Report& request);

    void SetBattery(uint8_t level, uint8_t powerState);
    void SetStatusByte(size_t index, uint8_t value);
    std::array<uint8_t, status_block::kSize> StatusBlock() const;
    bool InConfigFrame() const;
    // A code from the notification table: changes memory as the firmware
    // does for a switch (profile, stage), nothing for other codes.
    void ApplyNotification(uint16_t code);

    // A copy of one memory area by the command that reads or writes it.
    std::vector<uint8_t> Area(uint8_t command) const;
    void WriteArea(uint8_t command, size_t address, const std::vector<uint8_t>& bytes);

    // The last complete macro / recoil image that passed validation.
    std::vector<ImageEntry> MacroImage() const;
    std::vector<ImageEntry> RecoilImage() const;
    int ImagesRejected() const;
    uint32_t ExchangeCount() const;

protected:
    // How one command reaches memory.
    struct CommandArea {
        uint8_t command;
        bool write;
        std::vector<uint8_t>* area;
        bool needsFrame;  // configuration writes; live lighting needs none
    };
    void AddCommand(uint8_t command, bool write, std::vector<uint8_t>* area, bool needsFrame);
    virtual void OnSwitch(uint8_t activeRecord, int activeStage) = 0;

    std::vector<uint8_t> deviceInfo_ = std::vector<uint8_t>(DeviceInfo::kSize, 0);
    std::vector<uint8_t> macroArea_;
    std::vector<uint8_t> recoilArea_;

private:
    uint8_t Execute(const Report& request, Report& reply);
    void ValidateImages();
    const CommandArea* Find(uint8_t command) const;

    mutable std::mutex mutex_;
    std::vector<CommandArea> commands_;
    bool inFrame_ = false;
    bool macroWritten_ = false, recoilWritten_ = false;
    std::array<uint8_t, status_block::kSize> status_{100, 0, 0, 0, 100, 0};
    std::vector<ImageEntry> macroImage_, recoilImage_;
    int imagesRejected_ = 0;
    uint32_t exchanges_ = 0;
};

}  // namespace m470
