#pragma once
// The type every layer takes to turn a language text key into its text.
#include <functional>
#include <string>
#include <string_view>

namespace m470 {

// Resolves a language text key to its text in the current language.
using Translator = std::function<std::string(std::string_view textKey)>;

}  // namespace m470
