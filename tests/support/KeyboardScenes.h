#pragma once
// A keyboard scene for the effect tests: 170 keys, full brightness, random
// numbers from a list the test gives.
#include <gtest/gtest.h>

#include <vector>

#include "devices/keyboard/KeyboardAudioRenderers.h"
#include "devices/keyboard/KeyboardLightingSteps.h"

namespace m470::test {

inline std::vector<uint32_t>& RandomQueue() {
    static std::vector<uint32_t> queue;
    return queue;
}
// The next listed number (0 once the list is used up).
inline uint32_t ListedRandom() {
    auto& queue = RandomQueue();
    if (queue.empty()) return 0;
    const uint32_t next = queue.front();
    queue.erase(queue.begin());
    return next;
}

class KeyboardScenes : public ::testing::Test {
protected:
    void SetUp() override {
        RandomQueue().clear();
        light.brightness = 4;
        light.direction = 1;
        light.colour = {10, 20, 30};
        ResetEffects(fx);
    }
    KeyboardScene Scene() { return {fx, light, secondary, audio, frame, now, ListedRandom}; }
    void Run(void (*step)(KeyboardScene&), int times = 1) {
        for (int i = 0; i < times; ++i) {
            KeyboardScene scene = Scene();
            step(scene);
        }
    }
    // Enters a mode as the device does when it changes.
    void Enter(uint8_t mode) {
        light.mode = mode;
        ResetEffects(fx);
        SeedEffect(fx, mode);
    }
    static LedEntry At(Rgb colour, uint8_t level) { return {colour.red, colour.green, colour.blue, level}; }

    KeyboardEffects fx;
    LightingState light;
    uint8_t secondary = 0;
    AudioLightInfo audio;
    LedFrame frame = LedFrame(170);
    uint64_t now = 0;
};

}  // namespace m470::test
