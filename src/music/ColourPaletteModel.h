#pragma once
// The state of the colour palette window apart from its widgets: the colour
// being edited and the one shown, the preset swatches, the collection slots
// the user fills, and the swatch file they are kept in.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace m470 {

inline constexpr size_t kPaletteSlots = 20;
inline constexpr int kDefaultPresetIndex = 4;
inline constexpr uint32_t kEmptySlotColour = 0xFFFFFFFFu;
inline constexpr const char* kSwatchFileName = "color_option_info.config";

// A colour component typed by the user: leading blanks, an optional sign and
// decimal digits; no digits is 0, a negative number 0, anything above 255
// (however long) 255.
uint8_t ParseColourComponent(std::string_view text);
// AARRGGBB as 8 upper-case hexadecimal digits, and back (hex digits up to
// the first other character; more than 8 keep the last 8).
std::string FormatArgb(uint32_t argb);
uint32_t ParseArgbHex(std::string_view text);

struct CollectionSlot {
    uint32_t colour = kEmptySlotColour;
    std::string userData;  // "1" when the slot holds a colour
    bool Filled() const;
};

class ColourPaletteModel {
public:
    // presets: the swatch colours the layout gives.
    ColourPaletteModel(std::string swatchPath, std::string factoryPath, const std::array<uint32_t, kPaletteSlots>& presets);

    // The opener's colour, before the window is set up.
    void ShowColour(uint32_t argb);
    // Window set-up: the swatch file (restored from the factory copy when
    // missing or invalid), the preset index and the collection.
    void SetUp();

    void SelectPreset(int n);
    // True when slot n holds a colour, which is then shown.
    bool SelectCollection(int n);
    void PaletteChanged(uint32_t argb);
    struct EditedColour {
        std::array<uint8_t, 3> rgb;
        std::array<std::string, 3> shown;  // what each edit shows after leaving it
    };
    // The three edits were left: each text is read, the colour taken.
    EditedColour EditsLeft(std::string_view red, std::string_view green, std::string_view blue);
    // The colour handed back by "okbtn": the one shown.
    uint32_t Ok();

    uint32_t Current() const { return current_; }
    uint32_t Shown() const { return shown_; }
    int PresetIndex() const { return presetIndex_; }
    int CollectionIndex() const { return collectionIndex_; }
    // The collection slot that is selected (the one new colours go to), or -1.
    int SelectedSlot() const { return slotSelected_ ? collectionIndex_ : -1; }
    const std::array<CollectionSlot, kPaletteSlots>& Slots() const { return slots_; }
    const std::array<uint32_t, kPaletteSlots>& Presets() const { return presets_; }

private:
    void LoadPresetIndex();
    void LoadCollection();
    void CollectColour();
    void SavePresets() const;
    void SaveCollection() const;

    std::string path_;
    std::string factoryPath_;
    std::array<uint32_t, kPaletteSlots> presets_;
    std::array<CollectionSlot, kPaletteSlots> slots_{};
    uint32_t current_ = 0;
    uint32_t shown_ = 0;
    int presetIndex_ = kDefaultPresetIndex;
    int collectionIndex_ = 0;
    bool slotSelected_ = false;
};

}  // namespace m470
