#include "device_link/CommandSequences.h"

#include <algorithm>

#include "platform/DebugTrace.h"

namespace m470 {

int ConfigSequence::Run(const std::function<int()>& command) {
    if (linkLost_) return kResultNoReply;
    if ((checkEveryCommand_ || !checked_) && !transport_.QueryLink()) {
        DebugTrace::Write("receiver link lost: sequence stopped");
        linkLost_ = true;
        return kResultNoReply;
    }
    checked_ = true;
    return command();
}

int ConfigSequence::Framed(const std::vector<std::function<int()>>& commands) {
    int result = Run([&] { return transport_.BeginConfig(); });
    if (result != kResultSuccess) return result;
    for (const auto& command : commands) {
        result = Run(command);
        if (result != kResultSuccess) break;
    }
    if (linkLost_) return result;
    const int ended = Run([&] { return transport_.EndConfig(); });
    return result == kResultSuccess ? ended : result;
}

int ReadDeviceImage(CHidTransport& transport, DeviceInfo& info, std::vector<uint8_t>& keyTable,
                    std::vector<uint8_t>* thirdTable) {
    ConfigSequence sequence(transport, false);
    DeviceInfo fresh;
    std::vector<uint8_t> table, third;
    return sequence.Framed({
        [&] { return transport.ReadDeviceInfo(fresh.bytes.data()); },
        [&] {
            info = fresh;
            if (!transport.SetBlockSize(fresh.KeyTableLength())) {
                DebugTrace::Printf("key table of %u slots is larger than a block: reads stopped", fresh.KeySlotCount());
                return kResultNoReply;
            }
            table.assign(transport.BlockSize(), 0);
            const int result = transport.ReadKeyTable(table.data());
            if (result == kResultSuccess) keyTable = table;
            return result;
        },
        [&] {
            if (thirdTable == nullptr) return kResultSuccess;
            third.assign(transport.BlockSize() / 3u, 0);
            const int result = transport.ReadKeyTableThird(third.data());
            if (result == kResultSuccess) *thirdTable = third;
            return result;
        },
    });
}

int DownloadEventImage(CHidTransport& transport, EventImageKind kind, const std::vector<ImageEntry>& entries,
                       size_t capacity, uint32_t* surplus) {
    if (surplus != nullptr) *surplus = 0;
    const size_t total = EventImageLength(entries);
    if (kind == EventImageKind::Macros && total > capacity) {
        if (surplus != nullptr) *surplus = EventImageSurplus(total, capacity);
        return kResultNoReply;
    }
    const std::vector<uint8_t> image = BuildEventImage(entries);
    return ConfigSequence(transport).Framed({[&] {
        return kind == EventImageKind::Macros ? transport.WriteMacroImage(image.data(), image.size())
                                              : transport.WriteRecoilImage(image.data(), image.size());
    }});
}

int ReadActiveRecord(CHidTransport& transport, uint8_t* record, size_t size, size_t stride, uint8_t& index) {
    uint8_t active = 0;
    std::vector<uint8_t> bytes(size);
    int result = transport.ReadSettings(&active, 1, 0);
    if (result == kResultSuccess)
        result = transport.ReadSettings(bytes.data(), bytes.size(), static_cast<uint32_t>(active * stride));
    if (result != kResultSuccess) return result;
    std::copy(bytes.begin(), bytes.end(), record);
    index = active;
    return kResultSuccess;
}

}  // namespace m470
