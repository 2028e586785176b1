#pragma once
// Turns a key function into the caption shown on the device picture.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "keys/KeyAssignment.h"
#include "platform/Translator.h"

namespace m470 {

enum class CaptionTarget { Mouse, Keyboard };

// The literal caption of unknown types (and of recoil keys on a keyboard).
inline constexpr const char* kOffCaption = "关闭";

// The caption, or nullopt where the caption stays as it was (caption-less
// types, lookups that find nothing, macro numbers past the list).
std::optional<std::string> KeyCaption(const KeyAssignment& key, const std::vector<std::string>& macroNames,
                                      const Translator& translate, CaptionTarget target);

}  // namespace m470
