// Bytes an SDK client sends, as the server reads them. The first byte sets
// how the stream is cut into reads, the rest is the stream. The reader gives
// exactly the packets before the first bad header (wrong magic, size over
// the limit) and then stays broken; the session never hands the products a
// controller, LED or mode that is not there, and ends the conversation
// rather than read past a packet.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "sdk/SdkSession.h"

using namespace m470::sdk;

namespace {

uint32_t Word(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

struct Walk {
    std::vector<Packet> packets;
    bool broken = false;
};

Walk WalkStream(const uint8_t* stream, size_t size) {
    Walk walk;
    size_t used = 0;
    while (size - used >= kHeaderBytes) {
        const uint8_t* header = stream + used;
        const uint32_t length = Word(header + 12);
        if (std::memcmp(header, "ORGB", 4) != 0 || length > kMaxPacketData) {
            walk.broken = true;
            break;
        }
        if (size - used - kHeaderBytes < length) break;
        walk.packets.push_back({Word(header + 4), Word(header + 8), {header + kHeaderBytes, header + kHeaderBytes + length}});
        used += kHeaderBytes + length;
    }
    return walk;
}

// Two products of 3 and 170 LEDs; every call is checked against them.
class CheckingHost : public SdkHost {
public:
    size_t ControllerCount() override { return 2; }
    std::optional<ControllerDescription> Describe(size_t c) override {
        if (c >= 2) return std::nullopt;
        ControllerDescription d;
        const size_t leds = c == 0 ? 3 : 170;
        d.modes = {ModeDescription{.name = "Static", .value = 2, .flags = mode_flag::kSpeed},
                   ModeDescription{.name = "Direct", .value = 9, .flags = mode_flag::kPerLedColour}};
        d.zones = {{"A", ZoneType::Linear, 1}, {"B", ZoneType::Linear, static_cast<uint32_t>(leds - 1)}};
        d.ledNames.assign(leds, "LED");
        d.colours.assign(leds, {});
        return d;
    }
    void ShowColours(int, size_t c, size_t first, const std::vector<Colour>& colours) override {
        if (c >= 2 || colours.empty() || first + colours.size() > (c == 0 ? 3u : 170u))
            m470::fuzz::Fail("colours for LEDs that are not there");
    }
    void StartDirect(int, size_t c) override {
        if (c >= 2) m470::fuzz::Fail("Direct on no product");
    }
    void ReleaseDirect(int) override {}
    void ApplyMode(int, size_t c, size_t mode, const ModeDescription&, bool) override {
        if (c >= 2 || mode != 0) m470::fuzz::Fail("a mode that is not the product's own");
    }
    std::vector<std::string> ProfileNames() override { return {"One"}; }
    void LoadProfile(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const m470::fuzz::OneInput run;
    if (size == 0) return 0;
    const size_t step = bytes[0] >= 0xC0 ? size : (bytes[0] & 0x3F) + 1;
    const uint8_t* stream = bytes + 1;
    const size_t length = size - 1;
    const Walk walk = WalkStream(stream, length);

    PacketReader reader;
    std::vector<Packet> packets;
    bool open = true;
    for (size_t at = 0; at < length; at += step) {
        const std::vector<uint8_t> read(stream + at, stream + std::min(length, at + step));
        const size_t before = packets.size();
        const bool fed = reader.Feed(read.data(), read.size(), packets);
        if (!open && (fed || packets.size() != before)) m470::fuzz::Fail("a broken reader took more bytes");
        open = fed;
        if (reader.Pending() >= kHeaderBytes + kMaxPacketData) m470::fuzz::Fail("the reader holds more than one packet");
    }
    if (packets != walk.packets) m470::fuzz::Fail("the reader gave other packets than the stream holds");
    if (reader.Broken() != walk.broken) m470::fuzz::Fail("a bad header did not break the reader");

    CheckingHost host;
    SdkSession session(host, 1);
    for (size_t at = 0; at < length; at += step) {
        const size_t part = std::min(length - at, step);
        if (!session.Receive(stream + at, part)) break;
        const std::vector<uint8_t> answer = session.TakeOutput();
        PacketReader answers;
        std::vector<Packet> answered;
        if (!answers.Feed(answer.data(), answer.size(), answered) || answers.Pending() != 0)
            m470::fuzz::Fail("an answer is no whole packet");
    }
    return 0;
}
