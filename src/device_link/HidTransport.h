#pragma once
// The request/reply channel of one product: 64-byte command reports on the
// command interface of the cable (primary) or of the receiver (secondary).
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device_link/DeviceInfo.h"
#include "device_link/HidDevice.h"

namespace m470 {

// Result codes of an exchange and of every command operation.
inline constexpr int kResultSuccess = 1;
inline constexpr int kResultNoReply = 0;        // not opened, or no reply read
inline constexpr int kResultWriteFailed = -1;
inline constexpr int kResultDeviceAbsent = -101; // the receiver answered 0xAA
inline constexpr int kResultRejected = -102;     // status 0xFF
inline constexpr int kResultFailed = -103;       // status 0xFE
inline constexpr int kResultRefusedPage = -201;
inline constexpr int kResultTooLarge = -202;     // nothing sent: the image would not fit its format

inline constexpr int LinkWired = 1;
inline constexpr int LinkReceiver = 2;

inline constexpr size_t kReportLength = 64;
inline constexpr uint8_t kCommandReportId = 0x04;
inline constexpr size_t kReportDataOffset = 8;
inline constexpr size_t kMaxChunkData = 56;
inline constexpr uint16_t kMaxBlockSize = 512;

namespace packet {
inline constexpr size_t kReportId = 0;
inline constexpr size_t kChecksumLow = 1;
inline constexpr size_t kChecksumHigh = 2;
inline constexpr size_t kCommand = 3;
inline constexpr size_t kLength = 4;
inline constexpr size_t kAddressLow = 5;
inline constexpr size_t kAddressHigh = 6;
inline constexpr size_t kStatus = 7;
inline constexpr uint8_t kReceiverAnswer = 0xAA;
inline constexpr uint8_t kStatusRejected = 0xFF;
inline constexpr uint8_t kStatusFailed = 0xFE;
}  // namespace packet

using Report = std::array<uint8_t, kReportLength>;

// Sum of bytes 3-63, 16 bits, stored little-endian in bytes 1-2.
uint16_t ReportChecksum(const Report& report);
void StoreChecksum(Report& report);

// Which lock a command takes.
enum class CommandLock { Command, Lighting, None };

class CHidTransport {
public:
    explicit CHidTransport(std::shared_ptr<HidBackend> backend = nullptr);
    ~CHidTransport();

    void SetLinkMode(int mode);
    bool SetBlockSize(uint32_t size);
    uint16_t BlockSize() const { return blockSize_; }
    uint8_t ChunkSize() const { return chunkSize_; }

    // One logged exchange (debug dump of request and reply).
    int Transact(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t replyLength, size_t* received);
    // The lighting stream's exchange: no dump, shorter time limits through a receiver.
    int TransactQuiet(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t replyLength,
                      size_t* received);

    // Opens the command interface at path on its link (the cable's as the
    // primary, the receiver's as the secondary interface) and makes that link
    // carry the traffic: a new attachment. False, and not opened, when the
    // interface does not open.
    bool Attach(const std::string& path, int linkMode);
    // Closes both interfaces; nothing is sent until the next Attach.
    void Detach();

    bool Opened() const { return opened_; }
    // Every opening starts a new attachment: what was read before may come
    // from another device, or from this one before it changed.
    void SetOpened(bool opened);
    // Called (on the caller's thread) whenever the transport becomes opened,
    // so a thread idling while it was closed can look again. Set once, before
    // other threads use the transport.
    void SetOpenedListener(std::function<void()> listener) { openedListener_ = std::move(listener); }
    uint64_t Attachment() const { return attachment_; }
    bool Busy() const { return busyCount_.load() > 0; }
    bool ReceiverMode() const { return receiverMode_; }
    CHidDevice& Primary() { return primary_; }
    CHidDevice& Secondary() { return secondary_; }
    // The firmware version of the interface now carrying the traffic.
    uint16_t InstalledVersion() const;

    // The clock EndConfig waits on, so tests can run it on a manual one. Set
    // once, before other threads use the transport.
    using Clock = std::chrono::steady_clock;
    struct Pacing {
        std::function<Clock::time_point()> now = [] { return Clock::now(); };
        std::function<void(Clock::duration)> sleep = [](Clock::duration pause) { std::this_thread::sleep_for(pause); };
    };
    void SetPacing(Pacing pacing) { pacing_ = std::move(pacing); }

    // The command set. Every operation returns a result code unless stated.
    int BeginConfig();
    // Sent once 10 ms have passed since the last exchange (or the attachment):
    // the time the caller spent after that exchange counts towards the pause.
    int EndConfig(int ignored = 0);
    int ReadDeviceInfo(uint8_t* destination);  // 34 bytes, all or nothing
    int ReadSettings(uint8_t* destination, size_t length, uint32_t baseAddress);
    int WriteSettings(const uint8_t* source, size_t length, uint32_t baseAddress);
    int ReadKeyTable(uint8_t* destination);  // block-size bytes
    int WriteKeyTable(const uint8_t* source, int page);
    int WriteKeyTableSecond(const uint8_t* source, int page);
    int ReadKeyTableThird(uint8_t* destination);  // block size / 3 bytes
    int ReadPagedBlock(uint8_t* destination, size_t length, uint32_t page, uint32_t pageSize);
    int WritePagedBlock(const uint8_t* source, size_t length, uint32_t page, uint32_t pageSize);
    int StreamLighting(const uint8_t* frame, size_t length);
    int WriteMacroImage(const uint8_t* image, size_t length);
    int WriteRecoilImage(const uint8_t* image, size_t length);
    int ReadShort(uint8_t* destination, size_t length, uint16_t address);
    int ClaimLighting();
    // True without sending on the cable; through a receiver true only when the
    // product behind it answers.
    bool QueryLink();

private:
    int Exchange(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t replyLength, size_t* received,
                 bool quiet);
    // Framing steps 4-6: lock, exchange, status; copies data from byte 8 for reads.
    int RunCommand(Report& request, CommandLock lock, uint8_t* data, size_t dataLength, bool quiet = false,
                   bool onlyWhenIdle = false);
    int SimpleCommand(uint8_t code, CommandLock lock, Report* reply = nullptr);
    int ChunkedRead(uint8_t code, uint8_t* destination, size_t length, uint32_t base, size_t chunk);
    int ChunkedWrite(uint8_t code, const uint8_t* source, size_t length, uint32_t base, size_t chunk, CommandLock lock,
                     bool quiet = false, bool dropWhileBusy = false);
    static Report NewRequest(uint8_t code);

    std::atomic<uint16_t> blockSize_{kMaxBlockSize};
    // Busy is a count: exchanges of two threads may overlap.
    std::atomic<int> busyCount_{0};
    std::atomic<bool> opened_{false};
    std::atomic<uint64_t> attachment_{0};
    Pacing pacing_;
    // When the last configuration exchange ended (or the link was attached).
    std::atomic<Clock::rep> lastExchangeEnd_{0};
    void NoteExchangeEnd() { lastExchangeEnd_ = pacing_.now().time_since_epoch().count(); }
    std::function<void()> openedListener_;
    CHidDevice primary_;
    CHidDevice secondary_;
    std::mutex ioLock_;
    // Held for a whole exchange (write and replies): two threads' exchanges
    // never overlap, so no thread can take the other's reply. Taken after the
    // command or lighting lock and before the I/O lock.
    std::mutex exchangeMutex_;
    std::mutex commandLock_;
    std::mutex lightingLock_;
    std::atomic<bool> receiverMode_{false};
    std::atomic<uint8_t> chunkSize_{24};
};

// Remembers the attachment an image was read in: a write is built only on
// what was read from the device attached now.
class AttachmentMark {
public:
    void Set(const CHidTransport& transport) { attachment_ = transport.Attachment(); }
    bool Current(const CHidTransport& transport) const {
        return attachment_ != 0 && attachment_ == transport.Attachment() && transport.Opened();
    }

private:
    uint64_t attachment_ = 0;
};

// Appends the two dump lines of a 64-byte report to the trace.
void TraceReport(const char* title, const uint8_t* bytes, size_t length);

}  // namespace m470
