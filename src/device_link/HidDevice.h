#pragma once
// One HID interface (one top-level collection of a node): enumeration of the
// interface paths, opening, capabilities, time-limited abortable reads and
// writes, and input-report unpacking.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_link/HidBackend.h"
#include "device_link/HidDescriptor.h"

namespace m470 {

inline constexpr int kInfinite = -1;
inline constexpr size_t kMaxDevicePathLength = 259;

struct HidAttributes {
    uint16_t vendorId = 0, productId = 0, versionNumber = 0;
};

struct HidCaps {
    uint16_t usage = 0, usagePage = 0;
    uint16_t inputReportByteLength = 0, outputReportByteLength = 0, featureReportByteLength = 0;
    uint16_t numberInputButtonCaps = 0, numberInputValueCaps = 0;
    uint16_t numberOutputButtonCaps = 0, numberOutputValueCaps = 0;
    uint16_t numberFeatureButtonCaps = 0, numberFeatureValueCaps = 0;
};

inline constexpr uint32_t kHidStatusSuccess = 0x00110000;
inline constexpr uint32_t kHidStatusIncompatibleReportId = 0xC011000A;

// One control of one report, as UnpackReport fills it.
struct HidDataItem {
    bool isButton = false;
    uint16_t usagePage = 0;
    uint32_t status = kHidStatusSuccess;
    uint32_t reportId = 0;
    bool isSet = false;
    // Button form.
    uint32_t lowestUsage = 0, highestUsage = 0;
    uint32_t usageCapacity = 0;
    std::vector<uint16_t> usages;  // capacity entries; 0 ends the list when shorter
    // Value form.
    uint16_t usage = 0;
    uint32_t rawValue = 0;
    int32_t scaledValue = 0;
};

// One item per input button capability, then one per input value
// capability, ready for UnpackReport.
std::vector<HidDataItem> BuildInputItems(const HidCollection& collection);

class CHidDevice {
public:
    explicit CHidDevice(std::shared_ptr<HidBackend> backend = nullptr);
    ~CHidDevice();
    CHidDevice(const CHidDevice&) = delete;
    CHidDevice& operator=(const CHidDevice&) = delete;

    // The interface paths of every present HID interface; resets the cursor.
    bool EnumeratePaths();
    // The path at the cursor, then advances; nullptr past the end.
    const char* NextPath();
    void FreePaths();
    size_t PathCount() const { return paths_.size(); }

    // Opens the interface behind path (closing a previous one first). Paths
    // of kMaxDevicePathLength + 1 characters or more are refused.
    bool Open(const std::string& path, bool read, bool write, bool overlapped, bool exclusive);
    // Safe from another thread: a pending read or write is woken and fails.
    void Close();
    bool IsOpen() const;
    // Why the last Open failed: the errno of the node's refusal (EACCES and
    // EPERM: the user may not open it), EINVAL for a descriptor refused here;
    // 0 after a successful Open.
    int OpenError() const { return openError_; }

    // One report; nonzero on success. timeoutMs = kInfinite waits without limit.
    // Only input reports whose IDs belong to this collection are returned.
    int Read(uint8_t* buffer, size_t length, size_t* transferred, int timeoutMs);
    int Write(const uint8_t* buffer, size_t length, size_t* transferred, int timeoutMs);
    bool SetOutputReport(const uint8_t* buffer, size_t length);
    // Reads and drops every report already queued on the node (of any
    // collection) without waiting; returns how many were dropped.
    size_t DiscardQueuedInput();
    // Wakes a pending read, which then fails; the interface stays open.
    void AbortPendingRead();

    // Fills every input item whose report ID equals report[0].
    static bool UnpackReport(const uint8_t* report, size_t length, HidReportType type, std::vector<HidDataItem>& items,
                             const HidCollection& collection);
    bool UnpackInputReport(const uint8_t* report, size_t length);

    const HidAttributes& Attributes() const { return attributes_; }
    const HidCaps& Caps() const { return caps_; }
    uint16_t InterfaceNumber() const { return interfaceNumber_; }
    uint16_t CollectionNumber() const { return collectionNumber_; }
    const std::string& Path() const { return path_; }
    std::vector<uint8_t>& InputReport() { return inputReport_; }
    uint16_t InputReportByteLength() const { return caps_.inputReportByteLength; }
    std::vector<HidDataItem>& InputItems() { return inputItems_; }
    const HidCollection& Collection() const { return collection_; }
    bool ReadPending() const { return readPending_; }
    bool WritePending() const { return writePending_; }

private:
    bool FillDeviceInformation(const HidNodeInfo& info);
    void ReleaseReportMembers();
    std::shared_ptr<HidNode> CurrentNode(std::atomic<bool>& pending);
    void FinishTransfer(std::atomic<bool>& pending, int abortFd);

    std::shared_ptr<HidBackend> backend_;
    std::vector<std::string> paths_;
    size_t cursor_ = 0;
    bool openedForRead_ = false, openedForWrite_ = false, openedOverlapped_ = false, openedExclusive_ = false;
    mutable std::mutex nodeMutex_;
    std::shared_ptr<HidNode> node_;
    std::string path_;
    HidCollection collection_;
    HidCaps caps_;
    HidAttributes attributes_;
    std::vector<uint8_t> inputReport_, outputReport_, featureReport_;
    std::vector<HidDataItem> inputItems_;
    uint16_t interfaceNumber_ = 0, collectionNumber_ = 0;
    int openError_ = 0;
    // Separate abort events per direction so Close wakes both transfers.
    int readAbortFd_ = -1, writeAbortFd_ = -1;
    std::atomic<bool> readPending_{false}, writePending_{false};
};

}  // namespace m470
