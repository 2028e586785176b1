// The command set: how each command fills the 64-byte request, how it is
// chunked and which lock it takes.
#include <chrono>
#include <cstring>

#include "device_link/CommandCodes.h"
#include "device_link/HidTransport.h"

namespace m470 {


namespace {
constexpr auto kEndConfigDelay = std::chrono::milliseconds(10);
constexpr uint8_t kLinkReachable = 0xFF;
}  // namespace

int CHidTransport::BeginConfig() { return SimpleCommand(command::kBeginConfig, CommandLock::Command); }

int CHidTransport::EndConfig(int) {
    // The firmware needs a pause between the last exchange of a sequence and
    // its end; only what is left of it is slept.
    const Clock::time_point due = Clock::time_point(Clock::duration(lastExchangeEnd_.load())) + kEndConfigDelay;
    const Clock::time_point now = pacing_.now();
    if (due > now) pacing_.sleep(due - now);
    return SimpleCommand(command::kEndConfig, CommandLock::Command);
}

int CHidTransport::ReadDeviceInfo(uint8_t* destination) {
    uint8_t block[DeviceInfo::kSize];
    const int result = ChunkedRead(command::kReadDeviceInfo, block, sizeof block, 0, chunkSize_);
    if (result == kResultSuccess) std::memcpy(destination, block, sizeof block);
    return result;
}

int CHidTransport::ReadSettings(uint8_t* destination, size_t length, uint32_t baseAddress) {
    return ChunkedRead(command::kReadSettings, destination, length, baseAddress, chunkSize_);
}

int CHidTransport::WriteSettings(const uint8_t* source, size_t length, uint32_t baseAddress) {
    return ChunkedWrite(command::kWriteSettings, source, length, baseAddress, chunkSize_, CommandLock::Command);
}

int CHidTransport::ReadKeyTable(uint8_t* destination) {
    return ChunkedRead(command::kReadKeyTable, destination, blockSize_, 0, chunkSize_);
}

int CHidTransport::WriteKeyTable(const uint8_t* source, int page) {
    if (page != 0) return kResultRefusedPage;
    return ChunkedWrite(command::kWriteKeyTable, source, blockSize_, 0, chunkSize_, CommandLock::Command);
}

int CHidTransport::WriteKeyTableSecond(const uint8_t* source, int page) {
    if (page != 0) return kResultRefusedPage;
    return ChunkedWrite(command::kWriteKeyTableSecond, source, blockSize_, 0, chunkSize_, CommandLock::Command);
}

int CHidTransport::ReadKeyTableThird(uint8_t* destination) {
    return ChunkedRead(command::kReadKeyTableThird, destination, blockSize_ / 3u, 0, chunkSize_);
}

int CHidTransport::ReadPagedBlock(uint8_t* destination, size_t length, uint32_t page, uint32_t pageSize) {
    return ChunkedRead(command::kReadPagedBlock, destination, length, page * pageSize, chunkSize_);
}

int CHidTransport::WritePagedBlock(const uint8_t* source, size_t length, uint32_t page, uint32_t pageSize) {
    return ChunkedWrite(command::kWritePagedBlock, source, length, page * pageSize, chunkSize_, CommandLock::Lighting);
}

int CHidTransport::StreamLighting(const uint8_t* frame, size_t length) {
    return ChunkedWrite(command::kStreamLighting, frame, length, 0, chunkSize_, CommandLock::Lighting, true, true);
}

int CHidTransport::WriteMacroImage(const uint8_t* image, size_t length) {
    return ChunkedWrite(command::kWriteMacroImage, image, length, 0, chunkSize_, CommandLock::Command);
}

int CHidTransport::WriteRecoilImage(const uint8_t* image, size_t length) {
    // Always full 56-byte chunks, and only the I/O lock.
    return ChunkedWrite(command::kWriteRecoilImage, image, length, 0, kMaxChunkData, CommandLock::None);
}

int CHidTransport::ReadShort(uint8_t* destination, size_t length, uint16_t address) {
    if (length > kMaxChunkData) length = kMaxChunkData;
    Report request = NewRequest(command::kReadShort);
    request[packet::kLength] = static_cast<uint8_t>(length);
    request[packet::kAddressLow] = static_cast<uint8_t>(address);
    request[packet::kAddressHigh] = static_cast<uint8_t>(address >> 8);
    return RunCommand(request, CommandLock::Command, destination, length);
}

int CHidTransport::ClaimLighting() { return SimpleCommand(command::kClaimLighting, CommandLock::Command); }

bool CHidTransport::QueryLink() {
    if (!receiverMode_) return true;
    Report reply{};
    return SimpleCommand(command::kQueryLink, CommandLock::Command, &reply) == kResultSuccess &&
           reply[kReportDataOffset] == kLinkReachable;
}

}  // namespace m470
