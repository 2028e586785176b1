#include "ctl/CtlKeys.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "keys/KeyTables.h"

namespace m470::ctl {
namespace {

constexpr uint8_t kMacroRun = 0x70, kRecoilKey = 0x72, kDpiControl = 0x13, kDpiShift = 0x16;

std::string Folded(const std::string& text) {
    std::string folded;
    for (char c : text)
        if (c != ' ' && c != '_') folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

std::string WithoutPrefix(const std::string& key) {
    for (const char* prefix : {"keyboard_key_", "mouse_key_"})
        if (key.rfind(prefix, 0) == 0) return key.substr(std::string(prefix).size());
    return key;
}

template <size_t N>
void AddRows(std::vector<NamedFunction>& out, const std::array<FunctionRow, N>& table) {
    for (const FunctionRow& row : table) out.push_back({row.name, KeyAssignment{0, row.type, row.param1, row.param2, 0}});
}

// The keyboard's panel offers no sensitivity or recoil functions.
bool MouseOnly(const KeyAssignment& function) {
    return function.type == kDpiControl || function.type == kDpiShift || function.type == kRecoilKey;
}

}  // namespace

bool SameName(const std::string& typed, const std::string& name) { return !typed.empty() && Folded(typed) == Folded(name); }

std::vector<NamedFunction> AssignableFunctions(CaptionTarget target, const std::vector<std::string>& macroNames) {
    std::vector<NamedFunction> all;
    for (size_t row = 0; row < kKeyTable.size(); ++row) {
        KeyAssignment function = KeyTableAssignment(row);
        function.code = 0;
        all.push_back({kKeyTableNames[row], function});
    }
    AddRows(all, kMouseButtonTable);
    AddRows(all, kMouseFunctionTable);
    AddRows(all, kDpiKeyTable);
    AddRows(all, kMediaKeyTable);
    AddRows(all, kSystemKeyTable);
    AddRows(all, kShortcutTable);
    AddRows(all, kBuiltinShortcutTable);
    for (size_t i = 0; i < kRecoilPatternNames.size(); ++i)
        all.push_back({kRecoilPatternNames[i], KeyAssignment{0, kRecoilKey, static_cast<uint8_t>(i), 0, 0}});
    if (target == CaptionTarget::Keyboard) std::erase_if(all, [](const NamedFunction& f) { return MouseOnly(f.function); });
    for (size_t i = 0; i < macroNames.size() && i < 256; ++i)
        all.push_back({macroNames[i], KeyAssignment{0, kMacroRun, static_cast<uint8_t>(i), 0, 0}});
    return all;
}

std::string FunctionName(const std::string& key, const LanguageTable& english) {
    return english.Has(key) ? english.Text(key) : WithoutPrefix(key);
}

bool NamesKey(const std::string& typed, const std::string& key, const LanguageTable& english) {
    return SameName(typed, key) || SameName(typed, WithoutPrefix(key)) || (english.Has(key) && SameName(typed, english.Text(key)));
}

std::optional<KeyAssignment> FindFunction(const std::string& typed, CaptionTarget target,
                                          const std::vector<std::string>& macroNames, const LanguageTable& english) {
    for (const NamedFunction& named : AssignableFunctions(target, macroNames))
        if (NamesKey(typed, named.key, english)) return named.function;
    return std::nullopt;
}

std::string EnglishCaption(const KeyAssignment& function, CaptionTarget target, const std::vector<std::string>& macroNames,
                           const LanguageTable& english) {
    const Translator translate = [&english](std::string_view key) { return english.Text(std::string(key)); };
    return KeyCaption(function, macroNames, translate, target).value_or("?");
}

std::optional<size_t> FindKeySlot(const std::string& typed, const std::vector<KeyAssignmentPair>& slots,
                                  const std::vector<std::string>& slotNames, CaptionTarget target,
                                  const LanguageTable& english) {
    size_t number = 0;
    const auto [end, error] = std::from_chars(typed.data(), typed.data() + typed.size(), number);
    if (error == std::errc() && end == typed.data() + typed.size())
        return number >= 1 && number <= slots.size() ? std::optional<size_t>(number - 1) : std::nullopt;
    for (size_t i = 0; i < slots.size() && i < slotNames.size(); ++i)
        if (NamesKey(typed, slotNames[i], english)) return i;
    // Else by its factory function: its caption, or the language key that names it.
    const std::vector<NamedFunction> functions = AssignableFunctions(target, {});
    const auto sameFunction = [](const KeyAssignment& a, const KeyAssignment& b) {
        return a.type == b.type && a.param1 == b.param1 && a.param2 == b.param2;
    };
    for (size_t i = 0; i < slots.size(); ++i) {
        if (SameName(typed, EnglishCaption(slots[i].defaults, target, {}, english))) return i;
        for (const NamedFunction& named : functions)
            if (sameFunction(named.function, slots[i].defaults) && NamesKey(typed, named.key, english)) return i;
    }
    return std::nullopt;
}

}  // namespace m470::ctl
