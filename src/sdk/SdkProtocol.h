#pragma once
// The OpenRGB SDK protocol's bytes: the 16-byte header ("ORGB", device
// index, packet id, data size, little-endian), the packet reader that cuts a
// client's stream into packets, and the little-endian reader and writer the
// packet bodies are built with. Knows nothing of our devices.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace m470::sdk {

// The highest protocol version we speak; a client asking more gets this one.
inline constexpr uint32_t kProtocolVersion = 4;
inline constexpr size_t kHeaderBytes = 16;
// The largest body a client may send: an UpdateLEDs of every LED of the
// largest product is under 1 KiB; anything far above it is no client of ours.
inline constexpr uint32_t kMaxPacketData = 16 * 1024;

namespace packet_id {
inline constexpr uint32_t kRequestControllerCount = 0;
inline constexpr uint32_t kRequestControllerData = 1;
inline constexpr uint32_t kRequestProtocolVersion = 40;
inline constexpr uint32_t kSetClientName = 50;
inline constexpr uint32_t kDeviceListUpdated = 100;
inline constexpr uint32_t kRequestProfileList = 150;
inline constexpr uint32_t kSaveProfile = 151;
inline constexpr uint32_t kLoadProfile = 152;
inline constexpr uint32_t kDeleteProfile = 153;
inline constexpr uint32_t kResizeZone = 1000;
inline constexpr uint32_t kUpdateLeds = 1050;
inline constexpr uint32_t kUpdateZoneLeds = 1051;
inline constexpr uint32_t kUpdateSingleLed = 1052;
inline constexpr uint32_t kSetCustomMode = 1100;
inline constexpr uint32_t kUpdateMode = 1101;
inline constexpr uint32_t kSaveMode = 1102;
}  // namespace packet_id

struct Packet {
    uint32_t device = 0;
    uint32_t id = 0;
    std::vector<uint8_t> data;
    friend bool operator==(const Packet&, const Packet&) = default;
};

// The header and body of one packet.
std::vector<uint8_t> EncodePacket(uint32_t device, uint32_t id, const std::vector<uint8_t>& data);

// Cuts a stream into packets as its bytes arrive, in reads of any length.
// A header without the magic or with a size over kMaxPacketData breaks the
// reader for good: there is no way to find the next packet after it.
class PacketReader {
public:
    // Complete packets go to out; false once broken (now or before).
    bool Feed(const uint8_t* bytes, size_t size, std::vector<Packet>& out);
    bool Broken() const { return broken_; }
    // Bytes held for a packet not complete yet.
    size_t Pending() const { return pending_.size(); }

private:
    std::vector<uint8_t> pending_;
    bool broken_ = false;
};

struct Colour {
    uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

// Little-endian fields, strings as a 16-bit length (terminator counted), the
// bytes and a 0, colours as red, green, blue and a pad byte.
class ByteWriter {
public:
    void U16(uint16_t value);
    void U32(uint32_t value);
    void String(const std::string& text);
    void Colours(const std::vector<Colour>& colours);  // 16-bit count, then each
    void ColourValue(const Colour& colour);
    std::vector<uint8_t>& Bytes() { return bytes_; }
    // The bytes with their own total size (4 bytes, counted) in front, as the
    // controller data, profile list and mode blocks begin.
    std::vector<uint8_t> Sized() const;

private:
    std::vector<uint8_t> bytes_;
};

// Reads fields off a body; a read past the end or a string without its
// terminator leaves the reader failed and every later read gives 0.
class ByteReader {
public:
    ByteReader(const std::vector<uint8_t>& bytes, size_t from = 0) : bytes_(bytes), at_(from) {}
    uint16_t U16();
    uint32_t U32();
    std::string String();
    Colour ColourValue();
    bool Ok() const { return ok_; }
    bool AtEnd() const { return ok_ && at_ == bytes_.size(); }
    size_t Left() const { return ok_ ? bytes_.size() - at_ : 0; }

private:
    bool Take(size_t count);
    const std::vector<uint8_t>& bytes_;
    size_t at_;
    bool ok_ = true;
};

}  // namespace m470::sdk
