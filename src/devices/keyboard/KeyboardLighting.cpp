// The keyboard's lighting: its mode table paced by the lighting thread, the
// frame streamed to the keys in the modes the keyboard cannot run itself,
// and the audio values fed to its effects.
#include <algorithm>
#include <mutex>

#include "devices/keyboard/KeyboardAudioRenderers.h"
#include "devices/keyboard/KeyboardDevice.h"

namespace m470 {
namespace {

// Modes whose frame stays as drawn until something else changes.
constexpr std::array<uint8_t, 4> kStillModes{6, 17, kCustomColourMode, 28};

// One beat count for the whole program, whichever keyboard feeds it.
struct ProgramBeat {
    std::mutex lock;
    BeatTotal beat;
};
ProgramBeat& SharedBeat() {
    static ProgramBeat shared;
    return shared;
}

}  // namespace

void CVantrelKeyboardDevice::EnterLightingMode(uint8_t mode) {
    std::lock_guard lock(frameMutex_);
    ResetEffects(effects_);
    SeedEffect(effects_, mode);
}

void CVantrelKeyboardDevice::LightingTick(uint32_t& ticks) {
    const LightInfo info = GetLightInfo();
    // The custom colours are the frame: no step draws over them.
    if (info.selectItem == kCustomColourMode) {
        ticks = 0;
        return;
    }
    const LightingState light = LightingState::From(info);
    const KeyboardModeRow* row = KeyboardModeOf(light.mode);
    if (ticks < KeyboardDueTicks(row, light.speed)) return;
    ticks = 0;
    const AudioLightInfo audio = GetAudioLightInfo();
    {
        std::lock_guard lock(frameMutex_);
        if (row != nullptr) {
            KeyboardScene scene{effects_, light, info.zzccLedMode, audio, frame_, TickCount(), EffectRandom};
            row->step(scene);
        } else {
            std::lock_guard stepsLock(customMutex_);
            StepCustom(custom_, customSteps_, light, frame_, TickCount());
        }
    }
    std::lock_guard perLedLock(perLedMutex_);
    std::lock_guard frameLock(frameMutex_);
    RunPerLedRules(perLed_, frame_, TickCount(), kPerLedAll, false);
}

uint32_t CVantrelKeyboardDevice::StepDueTicks() const {
    const LightingState light = LightingState::From(GetLightInfo());
    return KeyboardDueTicks(KeyboardModeOf(light.mode), light.speed);
}

bool CVantrelKeyboardDevice::StillEffect(int mode) const {
    return std::find(kStillModes.begin(), kStillModes.end(), mode) != kStillModes.end();
}

bool CVantrelKeyboardDevice::StreamsFrame() const { return KeyboardStreamsFrame(GetLightInfo().selectItem); }

int CVantrelKeyboardDevice::StreamFrame(const LedFrame& frame) {
    const std::vector<uint8_t> bytes = KeyboardStreamBytes(KeyboardLedBlock(frame, ledMap_), deviceInfo_.KeySlotCount());
    return transport_.StreamLighting(bytes.data(), bytes.size());
}

void CVantrelKeyboardDevice::FeedKeyboardSpectrum(std::span<const int32_t> bands) {
    const uint8_t mode = GetLightInfo().selectItem;
    const AudioLightInfo audio = GetAudioLightInfo();
    ProgramBeat& shared = SharedBeat();
    std::lock_guard beatLock(shared.lock);
    std::lock_guard lock(frameMutex_);
    m470::FeedKeyboardSpectrum(effects_, bands, mode, audio, shared.beat);
}

void CVantrelKeyboardDevice::FeedAudioBands(const std::vector<int32_t>& bands) {
    std::vector<uint32_t> values(bands.begin(), bands.end());
    std::lock_guard lock(frameMutex_);
    FeedKeyboardBands(effects_, values);
}

}  // namespace m470
