#include "music/CaptureProtocol.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PrivateFolder.h"

namespace m470 {
namespace {

void PutWord(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t GetWord(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

bool KnownKind(uint32_t kind) {
    return kind == static_cast<uint32_t>(FrameKind::Command) || kind == static_cast<uint32_t>(FrameKind::Data);
}

}  // namespace

std::vector<uint8_t> EncodeFrame(const CaptureFrame& frame) {
    std::vector<uint8_t> out;
    out.reserve(kFrameHeaderBytes + frame.data.size());
    PutWord(out, static_cast<uint32_t>(frame.kind));
    PutWord(out, static_cast<uint32_t>(frame.parameter));
    PutWord(out, static_cast<uint32_t>(frame.data.size()));
    out.insert(out.end(), frame.data.begin(), frame.data.end());
    return out;
}

CaptureFrame CommandFrame(CaptureCommand command) {
    return {FrameKind::Command, static_cast<int32_t>(command), {}};
}

CaptureFrame ValuesFrame(int32_t dataType, const int32_t* values, size_t count) {
    CaptureFrame frame{FrameKind::Data, dataType, {}};
    frame.data.reserve(count * 4);
    for (size_t i = 0; i < count; ++i) PutWord(frame.data, static_cast<uint32_t>(values[i]));
    return frame;
}

bool FrameDecoder::Feed(const uint8_t* bytes, size_t size, std::vector<CaptureFrame>& out) {
    if (broken_) return false;
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    size_t at = 0;
    while (buffer_.size() - at >= kFrameHeaderBytes) {
        const uint8_t* header = buffer_.data() + at;
        const uint32_t kind = GetWord(header);
        const uint32_t length = GetWord(header + 8);
        if (!KnownKind(kind) || length > kMaxFrameData) {
            broken_ = true;
            buffer_.clear();
            return false;
        }
        if (buffer_.size() - at - kFrameHeaderBytes < length) break;
        CaptureFrame frame{static_cast<FrameKind>(kind), static_cast<int32_t>(GetWord(header + 4)), {}};
        frame.data.assign(header + kFrameHeaderBytes, header + kFrameHeaderBytes + length);
        out.push_back(std::move(frame));
        at += kFrameHeaderBytes + length;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

std::vector<int32_t> ReadValues(const std::vector<uint8_t>& data, size_t maxBytes) {
    const size_t count = std::min(data.size(), maxBytes) / 4;
    std::vector<int32_t> values(count);
    for (size_t i = 0; i < count; ++i) values[i] = static_cast<int32_t>(GetWord(data.data() + 4 * i));
    return values;
}

std::string CaptureFolder(std::string* error) {
    std::string why;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    std::string folder;
    if (runtime != nullptr && runtime[0] == '/' && ::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode))
        folder = runtime;
    else
        folder = (std::getenv("TMPDIR") && std::getenv("TMPDIR")[0] == '/' ? std::string(std::getenv("TMPDIR"))
                                                                            : std::string("/tmp")) +
                 "/M470-" + std::to_string(::getuid());
    // Any local process could otherwise send us frames or take our place.
    if (!EnsurePrivateFolder(folder, why)) {
        if (error != nullptr) *error = why;
        return {};
    }
    return folder;
}

std::string CaptureSocketPath(const std::string& folder) { return folder + "/" + kCaptureName; }
std::string CaptureLockPath(const std::string& folder) { return folder + "/" + kCaptureName + ".lock"; }

}  // namespace m470
