#pragma once
// The keyboard's profile document: the shared sections plus the repeat and
// report-rate settings ("SystemStages") and the per-key colours of each
// custom colour group ("CustomLightMode").
#include <array>
#include <cstdint>
#include <vector>

#include "profiles/BasicProfiledata.h"

namespace m470 {

// The six system members packed in three words, as the device model holds them:
//   word A = RepeatDelay << 16 | Repeat
//   word B = PollingRate << 16 | Key6Flag
//   word C = WinFlag << 16 | WFlag
struct KeyboardSystemWords {
    std::array<uint32_t, 3> words{};

    uint16_t Repeat() const { return static_cast<uint16_t>(words[0]); }
    uint16_t RepeatDelay() const { return static_cast<uint16_t>(words[0] >> 16); }
    uint16_t Key6Flag() const { return static_cast<uint16_t>(words[1]); }
    uint16_t PollingRate() const { return static_cast<uint16_t>(words[1] >> 16); }
    uint16_t WFlag() const { return static_cast<uint16_t>(words[2]); }
    uint16_t WinFlag() const { return static_cast<uint16_t>(words[2] >> 16); }

    static KeyboardSystemWords Make(uint16_t repeat, uint16_t repeatDelay, uint16_t key6Flag, uint16_t pollingRate,
                                    uint16_t wFlag, uint16_t winFlag) {
        return {{repeat | static_cast<uint32_t>(repeatDelay) << 16, key6Flag | static_cast<uint32_t>(pollingRate) << 16,
                 wFlag | static_cast<uint32_t>(winFlag) << 16}};
    }
    friend bool operator==(const KeyboardSystemWords&, const KeyboardSystemWords&) = default;
};

// One key's colour in a custom group.
struct KeyColour {
    uint8_t red = 0, green = 0, blue = 0, alpha = 255;
    friend bool operator==(const KeyColour&, const KeyColour&) = default;
};

class CKeyboardProfiledata : public CBasicProfiledata {
public:
    // Colour groups a document may address; anything else reads as group 0.
    static constexpr int kMaxCustomGroup = 255;

    void SetSystemStages(const KeyboardSystemWords& words);
    KeyboardSystemWords GetSystemStages() const;

    // "LightColorInfo"[group][k] for each k of the list.
    void SetCustomColours(const std::vector<KeyColour>& colours, int group);
    // count colours of group; missing entries are created (with the default
    // colour) and written, present ones read.
    std::vector<KeyColour> GetCustomColours(int group, size_t count);

    void SetCustomGroup(int group);
    // The selected group; 0 when missing or outside 0-255.
    int GetCustomGroup() const;

    // A group number read from a document, made safe to index with.
    static int BoundedGroup(int64_t group);
};

}  // namespace m470
