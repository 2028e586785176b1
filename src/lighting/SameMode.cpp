#include "lighting/SameMode.h"

#include <algorithm>
#include <array>
#include <utility>

#include "devices/VantrelUSBDevice.h"

namespace m470 {
namespace {

// Per kind: the mode of each shared effect, in effect order.
struct SharedModes {
    std::vector<int> kinds;
    std::array<int, 5> modeOfEffect;  // breathing, static, blink, colour cycle, off
};

const std::vector<SharedModes>& Table() {
    static const std::vector<SharedModes> table{
        {{kLightKindKeyboard}, {5, 6, 23, 4, 28}},
        {{kLightKindMouse}, {0, 2, 4, 1, 3}},
        {{kLightKindMousePad, kLightKindHeadset2}, {2, 3, 4, 1, 8}},
    };
    return table;
}

const SharedModes* ModesOf(int lightKind) {
    for (const SharedModes& row : Table())
        if (std::find(row.kinds.begin(), row.kinds.end(), lightKind) != row.kinds.end()) return &row;
    return nullptr;
}

}  // namespace

int LightKindOf(DeviceKind kind) {
    switch (kind) {
        case DeviceKind::MouseReceiver: return kLightKindMouse;
        case DeviceKind::KeyboardReceiver: return kLightKindKeyboard;
        default: return static_cast<int>(kind);
    }
}

std::optional<SharedEffect> SharedEffectOf(int lightKind, int mode) {
    const SharedModes* row = ModesOf(lightKind);
    if (row == nullptr) return std::nullopt;
    for (size_t effect = 0; effect < row->modeOfEffect.size(); ++effect)
        if (row->modeOfEffect[effect] == mode) return static_cast<SharedEffect>(effect);
    return std::nullopt;
}

std::optional<int> ModeOfSharedEffect(int lightKind, SharedEffect effect) {
    const SharedModes* row = ModesOf(lightKind);
    if (row == nullptr) return std::nullopt;
    return row->modeOfEffect[static_cast<size_t>(effect)];
}

std::vector<CVantrelUSBDevice*> InSameModeOrder(std::vector<CVantrelUSBDevice*> devices) {
    static constexpr std::array<int, 4> kOrder{kLightKindKeyboard, kLightKindMouse, kLightKindMousePad, kLightKindHeadset2};
    const auto rank = [](const CVantrelUSBDevice* device) {
        const int kind = LightKindOf(device->Kind());
        return std::find(kOrder.begin(), kOrder.end(), kind) - kOrder.begin();
    };
    std::stable_sort(devices.begin(), devices.end(), [&](auto* a, auto* b) { return rank(a) < rank(b); });
    return devices;
}

std::optional<SharedLighting> ApplySameMode(CVantrelUSBDevice& source, const std::vector<CVantrelUSBDevice*>& devices) {
    const LightInfo record = source.GetLightInfo();
    const std::optional<SharedEffect> effect = SharedEffectOf(LightKindOf(source.Kind()), record.selectItem);
    if (!effect) return std::nullopt;
    for (CVantrelUSBDevice* device : InSameModeOrder(devices)) {
        const std::optional<int> mode = ModeOfSharedEffect(LightKindOf(device->Kind()), *effect);
        if (!mode || !device->Transport().Opened()) continue;
        LightInfo copy = record;
        copy.selectItem = static_cast<uint8_t>(*mode);
        device->SetSynced(true);
        device->CommitLightInfo(copy);
        device->Tell(DeviceChange::Lighting);
    }
    return SharedLighting{*effect, record.light, record.speed, record.fx, record.multiColor,
                          record.red, record.green, record.blue};
}

}  // namespace m470
