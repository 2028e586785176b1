#pragma once
// What a client learns of one controller (one of our products) and the
// mode block it sends back: plain descriptions and their bytes at each
// protocol version up to ours.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sdk/SdkProtocol.h"

namespace m470::sdk {

// The protocol's device types of our four kinds.
enum class ControllerType : int32_t { Keyboard = 5, Mouse = 6, Mousemat = 7, Headset = 8 };

namespace mode_flag {
inline constexpr uint32_t kSpeed = 1u << 0;
inline constexpr uint32_t kDirectionLeftRight = 1u << 1;
inline constexpr uint32_t kBrightness = 1u << 4;
inline constexpr uint32_t kPerLedColour = 1u << 5;
inline constexpr uint32_t kModeSpecificColour = 1u << 6;
inline constexpr uint32_t kManualSave = 1u << 8;
}  // namespace mode_flag

enum class ColourMode : uint32_t { None = 0, PerLed = 1, ModeSpecific = 2, Random = 3 };
// Directions of the left-right kind.
inline constexpr uint32_t kDirectionLeft = 0, kDirectionRight = 1;

struct ModeDescription {
    std::string name;
    int32_t value = 0;
    uint32_t flags = 0;
    uint32_t speedMin = 0, speedMax = 0, brightnessMin = 0, brightnessMax = 0, coloursMin = 0, coloursMax = 0;
    uint32_t speed = 0, brightness = 0, direction = 0;
    ColourMode colourMode = ColourMode::None;
    std::vector<Colour> colours;
    friend bool operator==(const ModeDescription&, const ModeDescription&) = default;
};

// Zone types: one LED, a line of LEDs, a grid (the keyboard's keys are given as a line).
enum class ZoneType : int32_t { Single = 0, Linear = 1, Matrix = 2 };

struct ZoneDescription {
    std::string name;
    ZoneType type = ZoneType::Linear;
    uint32_t ledCount = 0;  // zones are not resizable: min = max = count
    friend bool operator==(const ZoneDescription&, const ZoneDescription&) = default;
};

struct ControllerDescription {
    ControllerType type = ControllerType::Mouse;
    std::string name, vendor, description, version, serial, location;
    int32_t activeMode = 0;
    std::vector<ModeDescription> modes;
    std::vector<ZoneDescription> zones;  // in physical order; their LEDs follow one another
    std::vector<std::string> ledNames;   // one per LED, zone after zone
    std::vector<Colour> colours;         // one per LED
    friend bool operator==(const ControllerDescription&, const ControllerDescription&) = default;
};

// The controller data block (its size in front) at the client's version.
std::vector<uint8_t> DescribeController(const ControllerDescription& controller, uint32_t version);
void WriteMode(ByteWriter& out, const ModeDescription& mode, uint32_t version);
// A mode block as UpdateMode and SaveMode carry it; nullopt when it is cut short.
std::optional<ModeDescription> ReadMode(ByteReader& in, uint32_t version);

}  // namespace m470::sdk
