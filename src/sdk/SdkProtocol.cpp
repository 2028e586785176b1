#include "sdk/SdkProtocol.h"

#include <algorithm>
#include <cstring>

namespace m470::sdk {
namespace {

constexpr uint8_t kMagic[4] = {'O', 'R', 'G', 'B'};

uint32_t Word(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

void PutWord(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

std::vector<uint8_t> EncodePacket(uint32_t device, uint32_t id, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out(std::begin(kMagic), std::end(kMagic));
    out.reserve(kHeaderBytes + data.size());
    PutWord(out, device);
    PutWord(out, id);
    PutWord(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

bool PacketReader::Feed(const uint8_t* bytes, size_t size, std::vector<Packet>& out) {
    if (broken_) return false;
    pending_.insert(pending_.end(), bytes, bytes + size);
    size_t used = 0;
    while (pending_.size() - used >= kHeaderBytes) {
        const uint8_t* header = pending_.data() + used;
        const uint32_t length = Word(header + 12);
        if (std::memcmp(header, kMagic, sizeof kMagic) != 0 || length > kMaxPacketData) {
            broken_ = true;
            pending_.clear();
            return false;
        }
        if (pending_.size() - used - kHeaderBytes < length) break;
        const uint8_t* body = header + kHeaderBytes;
        out.push_back({Word(header + 4), Word(header + 8), {body, body + length}});
        used += kHeaderBytes + length;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
    return true;
}

void ByteWriter::U16(uint16_t value) {
    bytes_.push_back(static_cast<uint8_t>(value));
    bytes_.push_back(static_cast<uint8_t>(value >> 8));
}

void ByteWriter::U32(uint32_t value) { PutWord(bytes_, value); }

void ByteWriter::String(const std::string& text) {
    // A name longer than the field holds is cut, never sent with a wrong length.
    const size_t length = std::min<size_t>(text.size(), 0xFFFE);
    U16(static_cast<uint16_t>(length + 1));
    bytes_.insert(bytes_.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
    bytes_.push_back(0);
}

void ByteWriter::ColourValue(const Colour& colour) { bytes_.insert(bytes_.end(), {colour.red, colour.green, colour.blue, 0}); }

void ByteWriter::Colours(const std::vector<Colour>& colours) {
    U16(static_cast<uint16_t>(colours.size()));
    for (const Colour& colour : colours) ColourValue(colour);
}

std::vector<uint8_t> ByteWriter::Sized() const {
    std::vector<uint8_t> out;
    out.reserve(4 + bytes_.size());
    PutWord(out, static_cast<uint32_t>(4 + bytes_.size()));
    out.insert(out.end(), bytes_.begin(), bytes_.end());
    return out;
}

bool ByteReader::Take(size_t count) {
    if (!ok_ || bytes_.size() - at_ < count) ok_ = false;
    return ok_;
}

uint16_t ByteReader::U16() {
    if (!Take(2)) return 0;
    const uint16_t value = static_cast<uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
    at_ += 2;
    return value;
}

uint32_t ByteReader::U32() {
    if (!Take(4)) return 0;
    const uint32_t value = Word(bytes_.data() + at_);
    at_ += 4;
    return value;
}

std::string ByteReader::String() {
    const uint16_t length = U16();
    if (length == 0 || !Take(length) || bytes_[at_ + length - 1] != 0) {
        ok_ = false;
        return {};
    }
    std::string text(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                      bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + length - 1));
    at_ += length;
    return text;
}

Colour ByteReader::ColourValue() {
    if (!Take(4)) return {};
    const Colour colour{bytes_[at_], bytes_[at_ + 1], bytes_[at_ + 2]};
    at_ += 4;
    return colour;
}

}  // namespace m470::sdk
