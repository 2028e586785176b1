#include "sdk/SdkSession.h"

#include <algorithm>
#include <utility>

namespace m470::sdk {
namespace {

constexpr size_t kColourBytes = 4;

// Packets aimed at one controller (the header's device index names it).
bool AimsAtController(uint32_t id) { return id >= packet_id::kResizeZone; }

}  // namespace

std::optional<std::string> BareString(const std::vector<uint8_t>& data) {
    const auto end = std::find(data.begin(), data.end(), uint8_t{0});
    if (end == data.end()) return std::nullopt;
    return std::string(data.begin(), end);
}

SdkSession::~SdkSession() { EndDirect(); }

bool SdkSession::Receive(const uint8_t* bytes, size_t size) {
    std::vector<Packet> packets;
    const bool fed = reader_.Feed(bytes, size, packets);
    for (const Packet& packet : packets)
        if (!Handle(packet)) return false;
    return fed;
}

std::vector<uint8_t> SdkSession::TakeOutput() { return std::exchange(output_, {}); }

void SdkSession::DeviceListChanged() { Send(0, packet_id::kDeviceListUpdated, {}); }

void SdkSession::EndDirect() {
    if (!driving_) return;
    driving_ = false;
    host_.ReleaseDirect(owner_);
}

bool SdkSession::TakeDirectActivity() { return std::exchange(directActivity_, false); }

void SdkSession::Send(uint32_t device, uint32_t id, const std::vector<uint8_t>& data) {
    const std::vector<uint8_t> packet = EncodePacket(device, id, data);
    output_.insert(output_.end(), packet.begin(), packet.end());
}

void SdkSession::Drive() {
    driving_ = true;
    directActivity_ = true;
}

bool SdkSession::Handle(const Packet& packet) {
    switch (packet.id) {
        case packet_id::kRequestProtocolVersion: return AnswerVersion(packet);
        case packet_id::kRequestControllerCount: {
            ByteWriter count;
            count.U32(static_cast<uint32_t>(host_.ControllerCount()));
            Send(0, packet.id, count.Bytes());
            return true;
        }
        case packet_id::kRequestControllerData: return AnswerControllerData(packet);
        case packet_id::kSetClientName: {
            const std::optional<std::string> name = BareString(packet.data);
            if (name) clientName_ = *name;
            return name.has_value();
        }
        case packet_id::kRequestProfileList: return AnswerProfileList();
        case packet_id::kLoadProfile: {
            const std::optional<std::string> name = BareString(packet.data);
            if (name) host_.LoadProfile(*name);
            return name.has_value();
        }
        default: break;
    }
    if (!AimsAtController(packet.id)) return true;  // a request of a later version or a manager we have not: unanswered
    const std::optional<ControllerDescription> controller = host_.Describe(packet.device);
    if (!controller) return false;
    switch (packet.id) {
        case packet_id::kUpdateLeds:
        case packet_id::kUpdateZoneLeds:
        case packet_id::kUpdateSingleLed: return TakeColours(packet, *controller);
        case packet_id::kSetCustomMode:
            host_.StartDirect(owner_, packet.device);
            Drive();
            return true;
        case packet_id::kUpdateMode: return TakeMode(packet, *controller, false);
        case packet_id::kSaveMode: return TakeMode(packet, *controller, true);
        default: return true;  // zones keep their size; later packets are not ours
    }
}

bool SdkSession::AnswerVersion(const Packet& packet) {
    ByteReader in(packet.data);
    const uint32_t asked = in.U32();
    if (!in.AtEnd()) return false;
    version_ = std::min(asked, kProtocolVersion);
    ByteWriter ours;
    ours.U32(kProtocolVersion);
    Send(0, packet.id, ours.Bytes());
    return true;
}

bool SdkSession::AnswerControllerData(const Packet& packet) {
    ByteReader in(packet.data);
    const uint32_t version = packet.data.empty() ? 0 : in.U32();
    if (!packet.data.empty() && !in.AtEnd()) return false;
    if (version > kProtocolVersion) return false;
    const std::optional<ControllerDescription> controller = host_.Describe(packet.device);
    if (!controller) return false;
    Send(packet.device, packet.id, DescribeController(*controller, version));
    return true;
}

bool SdkSession::AnswerProfileList() {
    const std::vector<std::string> names = host_.ProfileNames();
    ByteWriter list;
    list.U16(static_cast<uint16_t>(names.size()));
    for (const std::string& name : names) list.String(name);
    Send(0, packet_id::kRequestProfileList, list.Sized());
    return true;
}

// UpdateLEDs: every LED; UpdateZoneLEDs: every LED of one zone; UpdateSingleLED: one.
bool SdkSession::TakeColours(const Packet& packet, const ControllerDescription& controller) {
    ByteReader in(packet.data);
    size_t first = 0, count = controller.ledNames.size();
    if (packet.id == packet_id::kUpdateSingleLed) {
        first = in.U32();
        count = 1;
        if (first >= controller.ledNames.size()) return false;
    } else {
        if (in.U32() != packet.data.size()) return false;
        if (packet.id == packet_id::kUpdateZoneLeds) {
            const uint32_t zone = in.U32();
            if (zone >= controller.zones.size()) return false;
            for (uint32_t before = 0; before < zone; ++before) first += controller.zones[before].ledCount;
            count = controller.zones[zone].ledCount;
        }
        if (in.U16() != count) return false;
    }
    if (in.Left() != count * kColourBytes) return false;
    std::vector<Colour> colours;
    for (size_t i = 0; i < count; ++i) colours.push_back(in.ColourValue());
    host_.ShowColours(owner_, packet.device, first, colours);
    Drive();
    return true;
}

bool SdkSession::TakeMode(const Packet& packet, const ControllerDescription& controller, bool save) {
    ByteReader in(packet.data);
    if (in.U32() != packet.data.size()) return false;
    const uint32_t index = in.U32();
    std::optional<ModeDescription> mode = ReadMode(in, version_);
    if (!mode || !in.AtEnd() || index >= controller.modes.size()) return false;
    if ((controller.modes[index].flags & mode_flag::kPerLedColour) != 0) {
        host_.StartDirect(owner_, packet.device);
        Drive();
        return true;
    }
    host_.ApplyMode(owner_, packet.device, index, *mode, save);
    return true;
}

}  // namespace m470::sdk
