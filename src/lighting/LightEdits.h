#pragma once
// What each control of the lighting panel does to the device whose page is
// shown: a new lighting record stored, saved and written, or a new
// audio-reactive record stored and saved.
#include "ui/Control.h"

namespace m470 {

class CVantrelUSBDevice;

struct LightEditResult {
    bool handled = false;
    int write = 0;  // as WriteAllSettings: 0 fine, -1 the write failed, else surplus macro events
};

LightEditResult HandleLightNotification(CVantrelUSBDevice& device, const ui::Notification& n);

}  // namespace m470
