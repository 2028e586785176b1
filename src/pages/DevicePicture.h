#pragma once
// The device picture of a page: its key buttons (the tooltips and default
// marks of the key functions) and its LED buttons (the preview of the frame).
#include <string>
#include <vector>

#include "devices/LedFrame.h"
#include "ui/Ctl.h"

namespace m470 {

struct DevicePicture {
    std::vector<ui::Ctl> keys, leds;
    ui::Ctl logo;

    // The frame on the LED buttons.
    void Show(const LedFrame& frame) const;
};

// The mouse's picture: the first SelectPanel of "mouse_device_seting_layout"
// or of the page; "key_N" and "light_N" buttons by name or user data.
DevicePicture FindMousePicture(ui::ControlHost& host, ui::Control* page, size_t keys, size_t leds);
// The pad's picture: "light_N" and "key_N" under "mousepad_device_key_light"
// (the headset's is "hs6533_device_key_light").
DevicePicture FindPadPicture(ui::ControlHost& host, ui::Control* page, size_t leds,
                             const char* pictureName = "mousepad_device_key_light");
// A picture whose buttons are numbered as the device numbers its keys and
// LEDs (the keyboard): "key_N" at keys[N], "light_N" at leds[N].
DevicePicture FindNumberedPicture(ui::ControlHost& host, ui::Control* page, const char* pictureName, size_t keys,
                                  size_t leds);
// Any other page: the key buttons of its first SelectPanel.
DevicePicture FindPlainPicture(ui::Control* page);

}  // namespace m470
