#pragma once
// The framed read and write sequences that every product uses.
#include <cstdint>
#include <functional>
#include <vector>

#include "device_link/DeviceInfo.h"
#include "device_link/EventImage.h"
#include "device_link/HidTransport.h"

namespace m470 {

// Through a receiver each command is preceded by QueryLink; a lost link ends
// the sequence before the next command.
class ConfigSequence {
public:
    // checkEveryCommand: QueryLink before every command (writes) or only
    // before the first (reads).
    explicit ConfigSequence(CHidTransport& transport, bool checkEveryCommand = true)
        : transport_(transport), checkEveryCommand_(checkEveryCommand) {}
    // Runs one command of the sequence; returns its result (0 when the link
    // check failed and nothing was sent).
    int Run(const std::function<int()>& command);
    // BeginConfig, the commands in order (stopping at the first failure),
    // then EndConfig to close the frame. A lost receiver link stops at once.
    // Returns the first failure or the result of EndConfig.
    int Framed(const std::vector<std::function<int()>>& commands);
    bool LinkLost() const { return linkLost_; }

private:
    CHidTransport& transport_;
    bool checkEveryCommand_;
    bool checked_ = false;
    bool linkLost_ = false;
};

// QueryLink (receiver), BeginConfig, ReadDeviceInfo, SetBlockSize(slots × 3),
// ReadKeyTable, and for the keyboard ReadKeyTableThird, EndConfig. A refused
// block size ends the reads (kResultNoReply); the frame is still closed.
// info and keyTable change only with a successful read of each.
int ReadDeviceImage(CHidTransport& transport, DeviceInfo& info, std::vector<uint8_t>& keyTable,
                    std::vector<uint8_t>* thirdTable = nullptr);

// The active settings record: ReadSettings of its index (1 byte at address
// 0), then of size bytes at index × stride. record and index change only
// when both reads succeed.
int ReadActiveRecord(CHidTransport& transport, uint8_t* record, size_t size, size_t stride, uint8_t& index);

// Builds the image of the entries and downloads it (framed) with command
// 0x15 (macros) or 0x17 (recoil patterns). For macros an image larger than
// capacity bytes is not sent; surplus receives the events that did not fit.
enum class EventImageKind { Macros, Recoil };
int DownloadEventImage(CHidTransport& transport, EventImageKind kind, const std::vector<ImageEntry>& entries,
                       size_t capacity, uint32_t* surplus);

}  // namespace m470
