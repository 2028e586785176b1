#include "music/ColourPaletteModel.h"

#include <cstdio>

#include "platform/JsonFile.h"
#include "platform/Text.h"

namespace m470 {
namespace {

constexpr const char* kRoot = "coloroptioninfo";
constexpr const char* kPresets = "palletDialogcoloroption";
constexpr const char* kPresetIndex = "palletDialogcoloroption_selectitem";
constexpr const char* kCollection = "palletDialogcollectcoloroption";
constexpr const char* kCollectionIndex = "palletDialogcollectcoloroption_selectitem";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ValidSlot(int n) { return n >= 0 && n < static_cast<int>(kPaletteSlots); }

}  // namespace

uint8_t ParseColourComponent(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    unsigned value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min(value * 10 + static_cast<unsigned>(text[at] - '0'), 256u);  // saturates
    if (negative) return 0;
    return static_cast<uint8_t>(std::min(value, 255u));
}

std::string FormatArgb(uint32_t argb) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", argb);
    return text;
}

uint32_t ParseArgbHex(std::string_view text) {
    uint32_t value = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) break;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return value;
}

bool CollectionSlot::Filled() const { return EqualsIgnoringCase(userData, "1"); }

ColourPaletteModel::ColourPaletteModel(std::string swatchPath, std::string factoryPath,
                                       const std::array<uint32_t, kPaletteSlots>& presets)
    : path_(std::move(swatchPath)), factoryPath_(std::move(factoryPath)), presets_(presets) {}

void ColourPaletteModel::ShowColour(uint32_t argb) { current_ = shown_ = argb; }

void ColourPaletteModel::SetUp() {
    if (LoadJson(path_).isNull()) {
        const Json::Value factory = LoadJson(factoryPath_);
        if (!factory.isNull()) SaveJson(path_, factory);
    }
    ShowColour(current_);
    LoadPresetIndex();
    LoadCollection();
}

void ColourPaletteModel::LoadPresetIndex() {
    const Json::Value document = LoadJson(path_);
    const Json::Value& index = Member(Member(document, kRoot), kPresetIndex);
    if (!index.isNull()) presetIndex_ = static_cast<int>(JsonInteger(index));
}

void ColourPaletteModel::LoadCollection() {
    const Json::Value document = LoadJson(path_);
    if (document.isNull()) return;
    const Json::Value& root = Member(document, kRoot);
    const Json::Value& stored = Member(root, kCollection);
    for (Json::ArrayIndex n = 0; n < kPaletteSlots; ++n) {
        const Json::Value& colour = Member(Element(stored, n), "color");
        if (colour.isNull()) continue;
        CollectionSlot& slot = slots_[n];
        slot.userData = JsonText(Member(Element(stored, n), "UserData"));
        slot.colour = slot.Filled() ? ParseArgbHex(JsonText(colour)) : kEmptySlotColour;
    }
    if (!Member(root, kCollectionIndex).isNull()) {
        collectionIndex_ = -1;
        slotSelected_ = false;
    }
}

void ColourPaletteModel::SelectPreset(int n) {
    if (!ValidSlot(n)) return;
    presetIndex_ = n;
    SavePresets();
    current_ = presets_[n];
    CollectColour();
}

bool ColourPaletteModel::SelectCollection(int n) {
    if (!ValidSlot(n)) return false;
    collectionIndex_ = n;
    slotSelected_ = true;
    if (!slots_[n].Filled()) return false;  // only the target of the next colour
    SaveCollection();
    shown_ = slots_[n].colour;
    return true;
}

void ColourPaletteModel::PaletteChanged(uint32_t argb) {
    current_ = argb;
    CollectColour();
}

ColourPaletteModel::EditedColour ColourPaletteModel::EditsLeft(std::string_view red, std::string_view green,
                                                               std::string_view blue) {
    EditedColour edited{};
    const std::string_view texts[3] = {red, green, blue};
    for (size_t c = 0; c < 3; ++c) {
        edited.rgb[c] = ParseColourComponent(texts[c]);
        edited.shown[c] = std::to_string(edited.rgb[c]);
    }
    current_ = 0xFF000000u | uint32_t{edited.rgb[0]} << 16 | uint32_t{edited.rgb[1]} << 8 | edited.rgb[2];
    CollectColour();
    return edited;
}

void ColourPaletteModel::CollectColour() {
    if (slotSelected_ && ValidSlot(collectionIndex_)) {
        slots_[collectionIndex_] = CollectionSlot{current_, "1"};
        SaveCollection();
    }
    shown_ = current_;
}

uint32_t ColourPaletteModel::Ok() {
    current_ = shown_;
    return current_;
}

void ColourPaletteModel::SavePresets() const {
    Json::Value document = LoadJson(path_);
    Json::Value& root = MutableMember(document, kRoot);
    Json::Value& presets = MutableMember(root, kPresets);
    for (Json::ArrayIndex n = 0; n < kPaletteSlots; ++n)
        MutableMember(MutableElement(presets, n), "color") = FormatArgb(presets_[n]);
    root[kPresetIndex] = presetIndex_;
    SaveJson(path_, document);
}

void ColourPaletteModel::SaveCollection() const {
    Json::Value document = LoadJson(path_);
    Json::Value& root = MutableMember(document, kRoot);
    Json::Value& collection = MutableMember(root, kCollection);
    for (Json::ArrayIndex n = 0; n < kPaletteSlots; ++n) {
        Json::Value& slot = MutableElement(collection, n);
        MutableMember(slot, "color") = FormatArgb(slots_[n].colour);
        MutableMember(slot, "UserData") = slots_[n].userData;
    }
    root[kCollectionIndex] = collectionIndex_;
    SaveJson(path_, document);
}

}  // namespace m470
