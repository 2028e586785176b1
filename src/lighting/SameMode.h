#pragma once
// Same mode: one device's lighting effect copied to every connected device,
// through the effect all kinds share, and the shared state the
// synchronisation worker animates.
#include <cstdint>
#include <optional>
#include <vector>

#include "device_link/KnownInterface.h"
#include "profiles/ProfileRecords.h"

namespace m470 {

class CVantrelUSBDevice;

// Device kinds as the lighting panel and same mode see them.
inline constexpr int kLightKindKeyboard = 1;
inline constexpr int kLightKindMouse = 2;
inline constexpr int kLightKindMousePad = 3;
inline constexpr int kLightKindHeadset = 4;
inline constexpr int kLightKindHub = 5;
inline constexpr int kLightKindHeadset2 = 7;

enum class SharedEffect : uint8_t { Breathing = 0, Static = 1, Blink = 2, ColourCycle = 3, Off = 4 };

// The panel's kind number of a device (receivers count as their product).
int LightKindOf(DeviceKind kind);

std::optional<SharedEffect> SharedEffectOf(int lightKind, int mode);
std::optional<int> ModeOfSharedEffect(int lightKind, SharedEffect effect);

struct SharedLighting {
    SharedEffect effect = SharedEffect::Breathing;
    uint8_t brightness = 0, speed = 0, direction = 0, sevenColour = 0;
    uint8_t red = 0, green = 0, blue = 0;
};

// Copies the source's effect to every device whose transport is open (the
// source included), in the order given; nullopt when the source's mode has
// no shared effect.
std::optional<SharedLighting> ApplySameMode(CVantrelUSBDevice& source, const std::vector<CVantrelUSBDevice*>& devices);

// The order the copy visits the devices in: keyboards, mice, mousepads, headsets.
std::vector<CVantrelUSBDevice*> InSameModeOrder(std::vector<CVantrelUSBDevice*> devices);

}  // namespace m470
