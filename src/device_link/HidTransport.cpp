#include "device_link/HidTransport.h"

#include <algorithm>
#include <cstring>

#include "platform/DebugTrace.h"

namespace m470 {
namespace {

constexpr int kReceiverTimeoutMs = 5000;
constexpr int kWiredTimeoutMs = 1000;
constexpr int kQuietReceiverTimeoutMs = 500;
constexpr int kChunkDropped = 2;  // internal: a lighting chunk given up while busy

// One 32-byte dump line: groups of four, three spaces between the first four
// groups and two between the rest. Filled by hand: every exchange is traced,
// and formatting each byte through printf was most of an exchange's CPU.
std::string DumpLine(const uint8_t* bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    char line[32 * 2 + 31 + 3 * 2 + 4];  // digits, single spaces, the wider gaps
    size_t at = 0;
    for (size_t i = 0; i < 32; ++i) {
        line[at++] = kDigits[bytes[i] >> 4];
        line[at++] = kDigits[bytes[i] & 0x0F];
        if (i == 31) break;
        const size_t spaces = (i % 4 != 3) ? 1 : (i < 12 ? 3 : 2);
        for (size_t s = 0; s < spaces; ++s) line[at++] = ' ';
    }
    return std::string(line, at);
}

}  // namespace

uint16_t ReportChecksum(const Report& report) {
    uint32_t sum = 0;
    for (size_t i = packet::kCommand; i < kReportLength; ++i) sum += report[i];
    return static_cast<uint16_t>(sum);
}

void StoreChecksum(Report& report) {
    const uint16_t sum = ReportChecksum(report);
    report[packet::kChecksumLow] = static_cast<uint8_t>(sum);
    report[packet::kChecksumHigh] = static_cast<uint8_t>(sum >> 8);
}

void TraceReport(const char* title, const uint8_t* bytes, size_t length) {
    Report padded{};
    std::memcpy(padded.data(), bytes, std::min(length, kReportLength));
    DebugTrace::Write(title);
    DebugTrace::Write(DumpLine(padded.data()));
    DebugTrace::Write(DumpLine(padded.data() + 32));
}

CHidTransport::CHidTransport(std::shared_ptr<HidBackend> backend) : primary_(backend), secondary_(backend) {}

CHidTransport::~CHidTransport() { opened_ = false; }

void CHidTransport::SetOpened(bool opened) {
    if (opened) {
        ++attachment_;
        NoteExchangeEnd();  // a product just attached gets the whole pause before its first EndConfig
    }
    const bool was = opened_.exchange(opened);
    if (opened && !was && openedListener_) openedListener_();
}

void CHidTransport::SetLinkMode(int mode) {
    const bool receiver = mode == LinkReceiver;
    receiverMode_ = receiver;
    chunkSize_ = receiver ? 24 : 56;
}

bool CHidTransport::Attach(const std::string& path, int linkMode) {
    std::lock_guard lock(ioLock_);
    SetOpened(false);
    CHidDevice& interface = linkMode == LinkReceiver ? secondary_ : primary_;
    interface.Close();
    if (!interface.Open(path, true, true, true, false)) return false;
    SetOpened(true);
    SetLinkMode(linkMode);
    return true;
}

void CHidTransport::Detach() {
    std::lock_guard lock(ioLock_);
    SetOpened(false);
    primary_.Close();
    secondary_.Close();
}

bool CHidTransport::SetBlockSize(uint32_t size) {
    if (size > kMaxBlockSize) return false;
    blockSize_ = static_cast<uint16_t>(size);
    return true;
}

uint16_t CHidTransport::InstalledVersion() const {
    return (receiverMode_ ? secondary_ : primary_).Attributes().versionNumber;
}

int CHidTransport::Transact(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t replyLength,
                            size_t* received) {
    std::lock_guard exchange(exchangeMutex_);
    ++busyCount_;
    return Exchange(request, requestLength, reply, replyLength, received, false);
}

int CHidTransport::TransactQuiet(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t replyLength,
                                 size_t* received) {
    std::lock_guard exchange(exchangeMutex_);
    ++busyCount_;
    return Exchange(request, requestLength, reply, replyLength, received, true);
}

// The caller has already counted this exchange as busy.
int CHidTransport::Exchange(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t replyLength,
                            size_t* received, bool quiet) {
    if (received != nullptr) *received = 0;
    int result = kResultNoReply;
    if (opened_) {
        Report out{};
        std::memcpy(out.data(), request, std::min(requestLength, kReportLength));
        if (!quiet) TraceReport("命令", out.data(), out.size());
        const bool receiver = receiverMode_;
        CHidDevice& interface = receiver ? secondary_ : primary_;
        const int timeout = receiver ? (quiet ? kQuietReceiverTimeoutMs : kReceiverTimeoutMs) : kWiredTimeoutMs;
        int written;
        {
            std::lock_guard lock(ioLock_);
            // Reports of the node's other collections (and late replies) wait
            // in the same queue as our reply; the kernel drops the newest
            // report when it is full, so it is emptied before each request.
            interface.DiscardQueuedInput();
            written = interface.Write(out.data(), out.size(), nullptr, timeout);
        }
        if (!written) {
            result = kResultWriteFailed;
        } else {
            Report in{};
            size_t got = 0;
            {
                std::lock_guard lock(ioLock_);
                for (int attempt = 0; attempt < 2; ++attempt) {
                    in.fill(0);
                    const int read = interface.Read(in.data(), in.size(), &got, timeout);
                    if (in[packet::kCommand] == out[packet::kCommand]) {
                        result = read;
                        break;
                    }
                    if (receiver && in[packet::kCommand] == packet::kReceiverAnswer) {
                        result = kResultDeviceAbsent;
                        break;
                    }
                    // A reply of another exchange is skipped once; the second
                    // one is taken whatever it answers.
                    result = read;
                }
            }
            if (!quiet) TraceReport("返回", in.data(), in.size());
            if (reply != nullptr) std::memcpy(reply, in.data(), std::min(replyLength, in.size()));
            if (received != nullptr) *received = got;
        }
        if (!quiet) NoteExchangeEnd();
    }
    --busyCount_;
    return result;
}

Report CHidTransport::NewRequest(uint8_t code) {
    Report request{};
    request[packet::kReportId] = kCommandReportId;
    request[packet::kCommand] = code;
    return request;
}

int CHidTransport::RunCommand(Report& request, CommandLock lock, uint8_t* data, size_t dataLength, bool quiet,
                              bool onlyWhenIdle) {
    StoreChecksum(request);
    Report reply{};
    int result;
    {
        std::unique_lock<std::mutex> held;
        if (lock == CommandLock::Command) held = std::unique_lock(commandLock_);
        if (lock == CommandLock::Lighting) held = std::unique_lock(lightingLock_);
        if (onlyWhenIdle) {
            // Live lighting gives way: while another exchange is in flight the
            // chunk is dropped instead of waiting.
            std::unique_lock exchange(exchangeMutex_, std::try_to_lock);
            if (!exchange.owns_lock()) return kChunkDropped;
            ++busyCount_;
            result = Exchange(request.data(), request.size(), reply.data(), reply.size(), nullptr, quiet);
        } else {
            result = quiet ? TransactQuiet(request.data(), request.size(), reply.data(), reply.size(), nullptr)
                           : Transact(request.data(), request.size(), reply.data(), reply.size(), nullptr);
        }
    }
    if (result != kResultSuccess) return result;
    if (reply[packet::kStatus] == packet::kStatusRejected) return kResultRejected;
    if (reply[packet::kStatus] == packet::kStatusFailed) return kResultFailed;
    if (data != nullptr) std::memcpy(data, reply.data() + kReportDataOffset, std::min(dataLength, kMaxChunkData));
    return kResultSuccess;
}

int CHidTransport::SimpleCommand(uint8_t code, CommandLock lock, Report* reply) {
    Report request = NewRequest(code);
    uint8_t data[kMaxChunkData] = {};
    const int result = RunCommand(request, lock, data, sizeof data);
    if (reply != nullptr) std::memcpy(reply->data() + kReportDataOffset, data, sizeof data);
    return result;
}

namespace {

void SetChunkHeader(Report& request, size_t length, uint32_t address) {
    request[packet::kLength] = static_cast<uint8_t>(length);
    request[packet::kAddressLow] = static_cast<uint8_t>(address);
    request[packet::kAddressHigh] = static_cast<uint8_t>(address >> 8);
}

size_t ChunkLength(size_t offset, size_t chunk, size_t total) {
    return offset + chunk < total ? chunk : total - offset;
}

}  // namespace

int CHidTransport::ChunkedRead(uint8_t code, uint8_t* destination, size_t length, uint32_t base, size_t chunk) {
    Report request = NewRequest(code);
    for (size_t offset = 0; offset < length; offset += chunk) {
        const size_t part = ChunkLength(offset, chunk, length);
        SetChunkHeader(request, part, base + static_cast<uint32_t>(offset));
        uint8_t data[kMaxChunkData];
        const int result = RunCommand(request, CommandLock::Command, data, part);
        if (result != kResultSuccess) return result;
        std::memcpy(destination + offset, data, part);
    }
    return kResultSuccess;
}

int CHidTransport::ChunkedWrite(uint8_t code, const uint8_t* source, size_t length, uint32_t base, size_t chunk,
                                CommandLock lock, bool quiet, bool dropWhileBusy) {
    // The data area is not cleared between chunks: bytes after a short last
    // chunk still hold the previous chunk's data (firmware ignores them).
    Report request = NewRequest(code);
    for (size_t offset = 0; offset < length; offset += chunk) {
        const size_t part = ChunkLength(offset, chunk, length);
        SetChunkHeader(request, part, base + static_cast<uint32_t>(offset));
        std::memcpy(request.data() + kReportDataOffset, source + offset, part);
        const int result = RunCommand(request, lock, nullptr, 0, quiet, dropWhileBusy);
        if (result == kChunkDropped) {
            DebugTrace::Write("放弃灯光数据");  // counts as sent; the next frame replaces it
            continue;
        }
        if (result != kResultSuccess) return result;
    }
    return kResultSuccess;
}

}  // namespace m470
