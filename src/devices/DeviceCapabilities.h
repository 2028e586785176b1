#pragma once
// What a device can do beyond what every product does: each capability is
// a small interface the product class implements, reported by pointer. A
// page builds the panels of the capabilities a device reports; a product
// without one reports none, so the device base needs no empty stand-in.
namespace m470 {

class KeyAssignmentModel;
class CustomColours;
class SensitivityStages;
class HeadsetAudioControls;
class SystemFlags;
class RecoilUpload;
class KeyboardSettings;

struct DeviceCapabilities {
    KeyAssignmentModel* keys = nullptr;         // programmable keys and their macros (mouse, keyboard)
    CustomColours* customColours = nullptr;     // the custom colour groups (keyboard)
    SensitivityStages* stages = nullptr;        // sensitivity stages on a sensor's scale (mouse)
    HeadsetAudioControls* headsetAudio = nullptr;  // microphone, monitor, equaliser, voice (headset)
    SystemFlags* systemFlags = nullptr;         // pointer values and report rates (mouse)
    RecoilUpload* recoil = nullptr;             // the recoil pattern image (mouse)
    KeyboardSettings* keyboardSettings = nullptr;  // repeat, report rate, switches (keyboard)
};

}  // namespace m470
