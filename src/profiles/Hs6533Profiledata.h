#pragma once
// The headset's profile document: the shared sections plus its audio
// settings ("SystemSetStages"), the equaliser levels of each preset and the
// user's named custom equalisers.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "profiles/BasicProfiledata.h"

namespace m470 {

// The eight audio settings, in the order the headset keeps them.
struct SystemSetStages {
    int32_t magicEnable = 0;         // voice changer on
    int32_t magicType = 0;           // voice changer effect 1-4
    int32_t eqType = 0;              // equaliser preset 1-12, 13 the custom equaliser
    int32_t customEqSeletIndex = 0;  // selected custom equaliser
    int32_t micInSelect = 0;         // 1: microphone not muted
    int32_t micInValue = 0;          // microphone volume, percent
    int32_t micMoniterSelect = 0;    // 1: monitor not muted
    int32_t micMoniterValue = 0;     // monitor volume, percent

    friend bool operator==(const SystemSetStages&, const SystemSetStages&) = default;
};

namespace equaliser {
inline constexpr int kBands = 10;
inline constexpr int kPresets = 12;
inline constexpr int kCustom = 13;        // the preset number of the custom equaliser
inline constexpr int kCustomLimit = 20;   // named custom equalisers at most
// The preset whose stored levels a preset number reads: 1 for anything that
// is no preset (0, negative, above 13).
int StoredPreset(int preset);
}  // namespace equaliser

class CHs6533Profiledata : public CBasicProfiledata {
public:
    // All zero when the section or its object is missing. The headset's
    // audio settings hold the values; the document only serializes them.
    SystemSetStages ReadSystemSetStages() const;
    void WriteSystemSetStages(const SystemSetStages& stages);

    // Ten levels; missing ones are created as 0. The custom preset (13) has
    // no stored levels and reads as an empty list.
    std::vector<int> ReadPresetBands(int preset);
    void WritePresetBands(int preset, std::span<const int> levels);

    // Ten levels of custom equaliser index. An index outside the custom list
    // reads as zeros and creates nothing; a write outside the limit is dropped.
    std::vector<int> ReadCustomBands(int index);
    void WriteCustomBands(int index, std::span<const int> levels);
    // Removes the levels of one custom equaliser; later ones move up with theirs.
    void RemoveCustomBands(int index);

    std::vector<std::string> ReadCustomNames();
    void WriteCustomNames(const std::vector<std::string>& names);
};

}  // namespace m470
