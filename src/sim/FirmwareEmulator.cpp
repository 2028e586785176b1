#include "sim/FirmwareEmulator.h"

#include <algorithm>
#include <cstring>

#include "device_link/CommandCodes.h"

namespace m470 {
using namespace command;

void FirmwareEmulator::AddCommand(uint8_t command, bool write, std::vector<uint8_t>* area, bool needsFrame) {
    commands_.push_back({command, write, area, needsFrame});
}

const FirmwareEmulator::CommandArea* FirmwareEmulator::Find(uint8_t command) const {
    for (const CommandArea& entry : commands_)
        if (entry.command == command) return &entry;
    return nullptr;
}

Report FirmwareEmulator::Answer(const Report& request) {
    std::lock_guard lock(mutex_);
    ++exchanges_;
    Report reply{};
    reply[packet::kReportId] = request[packet::kReportId];
    reply[packet::kCommand] = request[packet::kCommand];
    reply[packet::kLength] = request[packet::kLength];
    reply[packet::kAddressLow] = request[packet::kAddressLow];
    reply[packet::kAddressHigh] = request[packet::kAddressHigh];
    const uint16_t checksum = static_cast<uint16_t>(request[packet::kChecksumLow] | request[packet::kChecksumHigh] << 8);
    reply[packet::kStatus] = checksum != ReportChecksum(request) ? firmware_status::kFailed : Execute(request, reply);
    return reply;
}

uint8_t FirmwareEmulator::Execute(const Report& request, Report& reply) {
    const uint8_t command = request[packet::kCommand];
    const size_t length = request[packet::kLength];
    const size_t address = request[packet::kAddressLow] | request[packet::kAddressHigh] << 8;
    uint8_t* data = reply.data() + kReportDataOffset;
    switch (command) {
        case kBeginConfig:
            inFrame_ = true;
            return firmware_status::kAccepted;
        case kEndConfig:
            inFrame_ = false;
            ValidateImages();
            return firmware_status::kAccepted;
        case kReadShort:
            if (length > kMaxChunkData || address + length > status_block::kSize) return firmware_status::kRejected;
            std::memcpy(data, status_.data() + address, length);
            return firmware_status::kAccepted;
        case kClaimLighting:
            return firmware_status::kAccepted;
        case kQueryLink:
            data[0] = 0xFF;  // the product itself is always reachable
            return firmware_status::kAccepted;
        default:
            break;
    }
    const CommandArea* entry = Find(command);
    if (entry == nullptr || length > kMaxChunkData || address + length > entry->area->size())
        return firmware_status::kRejected;
    if (entry->write) {
        if (entry->needsFrame && !inFrame_) return firmware_status::kRejected;
        std::memcpy(entry->area->data() + address, request.data() + kReportDataOffset, length);
        macroWritten_ = macroWritten_ || command == kWriteMacroImage;
        recoilWritten_ = recoilWritten_ || command == kWriteRecoilImage;
    } else {
        std::memcpy(data, entry->area->data() + address, length);
    }
    return firmware_status::kAccepted;
}

// Images arrive in chunks; the firmware checks them when the frame closes.
void FirmwareEmulator::ValidateImages() {
    const auto check = [this](bool& written, const std::vector<uint8_t>& area, std::vector<ImageEntry>& image) {
        if (!written) return;
        written = false;
        const size_t length = area.size() >= 4 ? static_cast<size_t>(area[2] | area[3] << 8) : 0;
        std::vector<ImageEntry> entries;
        if (length <= area.size() && ParseEventImage(area.data(), length, entries))
            image = std::move(entries);
        else
            ++imagesRejected_;
    };
    check(macroWritten_, macroArea_, macroImage_);
    check(recoilWritten_, recoilArea_, recoilImage_);
}

void FirmwareEmulator::SetBattery(uint8_t level, uint8_t powerState) {
    std::lock_guard lock(mutex_);
    status_[status_block::kBatteryLevel] = level;
    status_[status_block::kBattery] = level;
    status_[status_block::kPowerState] = powerState;
}

void FirmwareEmulator::SetStatusByte(size_t index, uint8_t value) {
    std::lock_guard lock(mutex_);
    if (index < status_.size()) status_[index] = value;
}

std::array<uint8_t, status_block::kSize> FirmwareEmulator::StatusBlock() const {
    std::lock_guard lock(mutex_);
    return status_;
}

bool FirmwareEmulator::InConfigFrame() const {
    std::lock_guard lock(mutex_);
    return inFrame_;
}

void FirmwareEmulator::ApplyNotification(uint16_t code) {
    std::lock_guard lock(mutex_);
    const uint8_t high = static_cast<uint8_t>(code >> 8);
    if (high == 0x10) OnSwitch(code & 0x0F, -1);
    if (high == 0x11) OnSwitch(code & 0x0F, (code >> 4) & 0x0F);
}

std::vector<uint8_t> FirmwareEmulator::Area(uint8_t command) const {
    std::lock_guard lock(mutex_);
    const CommandArea* entry = Find(command);
    return entry != nullptr ? *entry->area : std::vector<uint8_t>();
}

void FirmwareEmulator::WriteArea(uint8_t command, size_t address, const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    const CommandArea* entry = Find(command);
    if (entry == nullptr || address + bytes.size() > entry->area->size()) return;
    std::copy(bytes.begin(), bytes.end(), entry->area->begin() + static_cast<long>(address));
}

std::vector<ImageEntry> FirmwareEmulator::MacroImage() const {
    std::lock_guard lock(mutex_);
    return macroImage_;
}

std::vector<ImageEntry> FirmwareEmulator::RecoilImage() const {
    std::lock_guard lock(mutex_);
    return recoilImage_;
}

int FirmwareEmulator::ImagesRejected() const {
    std::lock_guard lock(mutex_);
    return imagesRejected_;
}

uint32_t FirmwareEmulator::ExchangeCount() const {
    std::lock_guard lock(mutex_);
    return exchanges_;
}

}  // namespace m470
