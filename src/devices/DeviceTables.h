#pragma once
// The products the program creates device objects for, and their pages.
#include <array>
#include <cstdint>

#include "device_link/KnownInterface.h"

namespace m470 {

struct DeviceModel {
    const char* selectorLayout;
    const char* selectorTab;
    const char* powerSwitch;
    const char* deviceName;
    int lightIndex;
    uint16_t vendorId, productId;
    DeviceKind kind;
    int variant;
};

inline constexpr std::array<DeviceModel, 4> kDeviceModels{{
    {"deviceoption.ui", "tab_header_device", "device_power_switch", "mouse", 1, 0x320F, 0x222E, DeviceKind::Mouse, 0},
    {"deviceoption.ui", "tab_header_device", "device_power_switch", "keyboard", 0, 0x320F, 0x50C9, DeviceKind::Keyboard, 0},
    {"deviceoption.ui", "tab_header_device", "device_power_switch", "MousePad", 2, 0x320F, 0x1004, DeviceKind::MousePad, 0},
    {"deviceoption.ui", "tab_header_device", "device_power_switch", "HD", 3, 0x0C76, 0x1630, DeviceKind::Headset, 0},
}};

struct DevicePage {
    int leds;
    int keys;
    bool hasPowerPanel;
    int extraIndex;
    const char* pageLayout;
    const char* lightCatalogue;
};

inline constexpr std::array<DevicePage, 4> kDevicePages{{
    {20, 12, true, -1, "mousedevice.ui", "kestro_light"},
    {170, 170, false, -1, "keyboarddevice.ui", "kestro_light"},
    {15, 0, false, -1, "mousepaddevice.ui", "kestro_light"},
    {13, 0, false, -1, "hs6533device.ui", "kestro_light"},
}};

// The model row of a product, or -1.
inline int FindDeviceModel(uint16_t vendorId, uint16_t productId, DeviceKind kind, int variant = 0) {
    for (size_t i = 0; i < kDeviceModels.size(); ++i) {
        const DeviceModel& model = kDeviceModels[i];
        if (model.vendorId == vendorId && model.productId == productId && model.kind == kind && model.variant == variant)
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace m470
