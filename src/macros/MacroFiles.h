#pragma once
// The macro catalogue ("macro.config"), macro files (".mac") and the 4-byte
// device form of their events; recoil pattern files use the same events.
#include <json/value.h>
#include <string>
#include <vector>

#include "device_link/EventImage.h"

namespace m470 {

inline constexpr const char* kMacroCatalogue = "macro.config";
inline constexpr const char* kPadMacroCatalogue = "kestro_macro.config";

struct MacroEntry {
    std::string name;
    std::string guid;
};

// One entry per "MacroInfo" element, in order; empty for a missing or
// unreadable catalogue.
std::vector<MacroEntry> LoadMacroCatalogue(const std::string& path);
std::vector<std::string> MacroNames(const std::vector<MacroEntry>& catalogue);

// Delay (low, high), type with bit 7 for "down", button low byte.
ImageEvent EncodeMacroEvent(const Json::Value& event);
// The "Events" of a document in device form; none when missing.
ImageEntry EncodeEvents(const Json::Value& document);
// The events of a macro file (folder + guid + ".mac").
ImageEntry LoadMacroEvents(const std::string& folder, const std::string& guid);

}  // namespace m470
