#pragma once
// Buttons, keys and key functions by name on the command line: the names
// are the captions the page shows (in English), their language keys, or
// the language keys without their "keyboard_key_" / "mouse_key_" prefix.
#include <optional>
#include <string>
#include <vector>

#include "keys/KeyAssignment.h"
#include "keys/KeyCaption.h"
#include "shell/Language.h"

namespace m470::ctl {

struct NamedFunction {
    std::string key;  // the language key of its caption
    KeyAssignment function;
};

// Every function a button or key of the target can be given, in the order
// of the assignment panel's tables; macros by their names.
std::vector<NamedFunction> AssignableFunctions(CaptionTarget target, const std::vector<std::string>& macroNames);

// Case, spaces and underscores do not count: "page up" is "Page_Up".
bool SameName(const std::string& typed, const std::string& name);
// The function a typed name stands for, by English text or language key.
std::optional<KeyAssignment> FindFunction(const std::string& typed, CaptionTarget target,
                                          const std::vector<std::string>& macroNames, const LanguageTable& english);

// The slot a typed key name stands for: a number from 1, the slot's own
// name (slotNames, language keys, where the product names its buttons), or
// the English caption of the slot's factory function. nullopt when none is.
std::optional<size_t> FindKeySlot(const std::string& typed, const std::vector<KeyAssignmentPair>& slots,
                                  const std::vector<std::string>& slotNames, CaptionTarget target,
                                  const LanguageTable& english);
// How help names a function: its English text, else its language key
// without the prefix (both are taken back by FindFunction).
std::string FunctionName(const std::string& key, const LanguageTable& english);
// Whether typed names the language key or its English text.
bool NamesKey(const std::string& typed, const std::string& key, const LanguageTable& english);

// The English caption of a function ("?" where it has none).
std::string EnglishCaption(const KeyAssignment& function, CaptionTarget target, const std::vector<std::string>& macroNames,
                           const LanguageTable& english);

}  // namespace m470::ctl
