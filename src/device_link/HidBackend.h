#pragma once
// What CHidDevice needs from the operating system, behind one interface so the
// same device code runs on hidraw nodes and on the in-process virtual devices.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace m470 {

enum class HidIoResult { Ok, TimedOut, Aborted, Failed };

// Waits until fd is readable (or writable), abortFd is readable, or the time
// limit passes (timeoutMs < 0: no limit). Shared by the backends.
// A remainder below 1 ms is waited as 1 ms, never as poll(0) in a loop.
HidIoResult WaitForFd(int fd, bool forWrite, int abortFd, int timeoutMs);

// Identity of an opened interface.
struct HidNodeInfo {
    uint16_t vendorId = 0, productId = 0, versionNumber = 0;
    std::vector<uint8_t> reportDescriptor;  // of the whole USB interface
};

// One opened interface node. Reports carry their report ID in byte 0 (0 for
// unnumbered reports), as Windows hands them out.
class HidNode {
public:
    virtual ~HidNode() = default;
    virtual const HidNodeInfo& Info() const = 0;
    // One input report; abortFd readable ends the wait with Aborted.
    virtual HidIoResult ReadReport(std::vector<uint8_t>& report, int timeoutMs, int abortFd) = 0;
    virtual HidIoResult WriteReport(const uint8_t* data, size_t length, int timeoutMs, int abortFd) = 0;
    // An output report through the control pipe (the headset's LED reports).
    virtual bool SetOutputReport(const uint8_t* data, size_t length) = 0;
};

class HidBackend {
public:
    virtual ~HidBackend() = default;
    // One interface path per top-level collection of every present HID node,
    // in a stable order, carrying the markers vid_, pid_, &mi_ and &col.
    virtual std::vector<std::string> EnumerateInterfaces() = 0;
    // nullptr when the node behind the path cannot be opened.
    virtual std::unique_ptr<HidNode> Open(const std::string& path, bool read, bool write) = 0;
    // Open, and why not: error is 0 when the node opened, else the errno of
    // the refusal (EACCES, EPERM: the user may not open the node) or EIO.
    virtual std::unique_ptr<HidNode> OpenWithError(const std::string& path, bool read, bool write, int& error);
    // Whether the interface behind a path is still there (the presence probe).
    virtual bool Present(const std::string& path);
    // Moves on whenever interfaces may have come or gone, so a scan can skip
    // enumerating while nothing changed.
    virtual uint64_t ChangeCount() { return 0; }
    // A descriptor that becomes readable when ChangeCount may have moved on
    // (ChangeCount makes it quiet again), so a scan can sleep until then;
    // -1 when the backend has none.
    virtual int ChangeFd() { return -1; }
};

// The backend that new CHidDevice objects use: hidraw unless the program
// (or a test) installs another one.
std::shared_ptr<HidBackend> DefaultHidBackend();
void SetDefaultHidBackend(std::shared_ptr<HidBackend> backend);

// Interface-path form shared by the backends:
//   <node>&vid_XXXX&pid_XXXX[&mi_XX][&colXX]
// &mi_ only for USB interfaces, &col only when the node has more than one
// top-level collection.
struct HidNodeDescription {
    std::string node;  // e.g. /dev/hidraw3
    uint16_t vendorId = 0, productId = 0;
    int interfaceNumber = -1;  // -1: not a USB interface
    size_t collectionCount = 0;
};
std::vector<std::string> MakeInterfacePaths(const HidNodeDescription& description);
// The node part of an interface path (everything before the first "&").
std::string NodeOfInterfacePath(const std::string& path);

}  // namespace m470
