#include "sdk/SdkController.h"

namespace m470::sdk {
namespace {

// Fields that came with later versions are left out for older clients.
constexpr uint32_t kVendorSince = 1, kBrightnessSince = 3, kSegmentsSince = 4;

void WriteZone(ByteWriter& out, const ZoneDescription& zone, uint32_t version) {
    out.String(zone.name);
    out.U32(static_cast<uint32_t>(zone.type));
    out.U32(zone.ledCount);  // fewest
    out.U32(zone.ledCount);  // most
    out.U32(zone.ledCount);
    out.U16(0);  // no matrix map
    if (version >= kSegmentsSince) out.U16(0);  // no segments
}

}  // namespace

void WriteMode(ByteWriter& out, const ModeDescription& mode, uint32_t version) {
    const bool brightness = version >= kBrightnessSince;
    out.String(mode.name);
    out.U32(static_cast<uint32_t>(mode.value));
    out.U32(mode.flags);
    out.U32(mode.speedMin);
    out.U32(mode.speedMax);
    if (brightness) {
        out.U32(mode.brightnessMin);
        out.U32(mode.brightnessMax);
    }
    out.U32(mode.coloursMin);
    out.U32(mode.coloursMax);
    out.U32(mode.speed);
    if (brightness) out.U32(mode.brightness);
    out.U32(mode.direction);
    out.U32(static_cast<uint32_t>(mode.colourMode));
    out.Colours(mode.colours);
}

std::optional<ModeDescription> ReadMode(ByteReader& in, uint32_t version) {
    const bool brightness = version >= kBrightnessSince;
    ModeDescription mode;
    mode.name = in.String();
    mode.value = static_cast<int32_t>(in.U32());
    mode.flags = in.U32();
    mode.speedMin = in.U32();
    mode.speedMax = in.U32();
    if (brightness) {
        mode.brightnessMin = in.U32();
        mode.brightnessMax = in.U32();
    }
    mode.coloursMin = in.U32();
    mode.coloursMax = in.U32();
    mode.speed = in.U32();
    if (brightness) mode.brightness = in.U32();
    mode.direction = in.U32();
    mode.colourMode = static_cast<ColourMode>(in.U32());
    const uint16_t count = in.U16();
    for (uint16_t i = 0; i < count && in.Ok(); ++i) mode.colours.push_back(in.ColourValue());
    if (!in.Ok()) return std::nullopt;
    return mode;
}

std::vector<uint8_t> DescribeController(const ControllerDescription& controller, uint32_t version) {
    ByteWriter out;
    out.U32(static_cast<uint32_t>(controller.type));
    out.String(controller.name);
    if (version >= kVendorSince) out.String(controller.vendor);
    out.String(controller.description);
    out.String(controller.version);
    out.String(controller.serial);
    out.String(controller.location);
    out.U16(static_cast<uint16_t>(controller.modes.size()));
    out.U32(static_cast<uint32_t>(controller.activeMode));
    for (const ModeDescription& mode : controller.modes) WriteMode(out, mode, version);
    out.U16(static_cast<uint16_t>(controller.zones.size()));
    for (const ZoneDescription& zone : controller.zones) WriteZone(out, zone, version);
    out.U16(static_cast<uint16_t>(controller.ledNames.size()));
    for (size_t led = 0; led < controller.ledNames.size(); ++led) {
        out.String(controller.ledNames[led]);
        out.U32(static_cast<uint32_t>(led));  // the LED's value: its place in the frame
    }
    out.Colours(controller.colours);
    return out.Sized();
}

}  // namespace m470::sdk
