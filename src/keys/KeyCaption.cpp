#include "keys/KeyCaption.h"

#include <array>

#include "keys/KeyTables.h"

namespace m470 {
namespace {

using Caption = std::optional<std::string>;

struct CaptionContext {
    const KeyAssignment& key;
    const std::vector<std::string>& macroNames;
    const Translator& translate;
    CaptionTarget target;

    Caption Text(const char* textKey) const { return translate(textKey); }
    Caption KeyRow(int row) const { return row < 0 ? Caption() : Text(kKeyTableNames[static_cast<size_t>(row)]); }
    template <size_t N>
    Caption Row(const std::array<FunctionRow, N>& table, int row) const {
        return row < 0 ? Caption() : Text(table[static_cast<size_t>(row)].name);
    }
};

constexpr uint8_t kKeyboardKeyType = static_cast<uint8_t>(AssignmentType::KeyboardKey);
constexpr uint8_t kRightCtrlBit = 0x10;

// Rows 0-4 of the mouse function table repeat the buttons and are skipped.
int FindMouseFunction(uint8_t type, const uint8_t* param1, const uint8_t* param2) {
    for (size_t i = 5; i < kMouseFunctionTable.size(); ++i) {
        const FunctionRow& row = kMouseFunctionTable[i];
        if (row.type != type) continue;
        if (param1 != nullptr && row.param1 != *param1) continue;
        if (param2 != nullptr && row.param2 != *param2) continue;
        return static_cast<int>(i);
    }
    return -1;
}

int FindKeyRow(uint8_t type, int param1, int param2) {
    for (size_t i = 0; i < kKeyTable.size(); ++i) {
        const KeyTableRow& row = kKeyTable[i];
        if (row.type == type && (param1 < 0 || row.param1 == param1) && (param2 < 0 || row.param2 == param2))
            return static_cast<int>(i);
    }
    return -1;
}

Caption KeyboardKeyCaption(const CaptionContext& c) {
    const KeyAssignment& key = c.key;
    if (int row = FindKeyByParams(key.param1, key.param2); row >= 0) return c.KeyRow(row);
    if (key.param1 == 0 && key.param2 == 0) return c.Text("close_text");
    std::string combined;
    if (key.param1 != 0 && key.param1 != kRightCtrlBit)
        if (Caption text = c.KeyRow(FindKeyRow(kKeyboardKeyType, key.param1, -1))) combined = *text;
    if (key.param2 != 0) {
        if (Caption text = c.KeyRow(FindKeyRow(kKeyboardKeyType, -1, key.param2))) {
            if (!combined.empty()) combined += "+";
            combined += *text;
        }
    }
    if (!combined.empty())
        if (int row = FindByParams(kShortcutTable, key.param1, key.param2); row >= 0) return c.Row(kShortcutTable, row);
    if (combined.empty()) return std::nullopt;
    return combined;
}

Caption MacroCaption(const CaptionContext& c) {
    if (c.key.param1 < c.macroNames.size()) return c.macroNames[c.key.param1];
    return std::nullopt;
}

Caption RecoilCaption(const CaptionContext& c) {
    if (c.target == CaptionTarget::Keyboard || c.key.param1 >= kRecoilPatternNames.size()) return kOffCaption;
    return c.Text(kRecoilPatternNames[c.key.param1]);
}

Caption SpecialCaption(const CaptionContext& c) {
    if (c.key.type == static_cast<uint8_t>(AssignmentType::MKey) && c.target == CaptionTarget::Mouse) return kOffCaption;
    const int row = FindMouseFunction(c.key.type, &c.key.param1, nullptr);
    if (row >= 0) return c.Row(kMouseFunctionTable, row);
    return c.KeyRow(FindKeyByTypeParams(c.key.type, c.key.param1, c.key.param2));
}

using CaptionRule = Caption (*)(const CaptionContext&);

struct CaptionRuleRow {
    uint8_t type;
    CaptionRule rule;
};

// One row per function type; types missing here are captioned "关闭".
inline constexpr std::array<CaptionRuleRow, 23> kCaptionRules{{
    {0x00, KeyboardKeyCaption},
    {0x10, [](const CaptionContext& c) { return c.Row(kMouseButtonTable, FindByParam1(kMouseButtonTable, c.key.param1)); }},
    {0x11, [](const CaptionContext& c) {
         return c.Text((c.key.param2 & 0x80) ? "mouse_key_right_Swing" : "mouse_key_left_Swing");
     }},
    {0x12, [](const CaptionContext& c) {
         return c.Text((c.key.param2 & 0x80) ? "mouse_key_down_Swing" : "mouse_key_up_Swing");
     }},
    {0x13, [](const CaptionContext& c) { return c.Row(kDpiKeyTable, FindByParam1(kDpiKeyTable, c.key.param1)); }},
    {0x14, [](const CaptionContext& c) { return c.Text("mouse_key_fire_key"); }},
    {0x15, [](const CaptionContext&) { return Caption(); }},
    {0x16, [](const CaptionContext& c) { return c.Row(kMouseFunctionTable, FindMouseFunction(0x16, nullptr, nullptr)); }},
    {0x20, KeyboardKeyCaption},
    {0x21, [](const CaptionContext&) { return Caption(); }},
    {0x22, [](const CaptionContext& c) {
         return c.Row(kBuiltinShortcutTable, FindByParams(kBuiltinShortcutTable, c.key.param1, c.key.param2));
     }},
    {0x23, [](const CaptionContext& c) {
         return c.Row(kMouseFunctionTable, FindMouseFunction(0x23, &c.key.param1, &c.key.param2));
     }},
    {0x30, [](const CaptionContext& c) {
         return c.Row(kMediaKeyTable, FindByParams(kMediaKeyTable, c.key.param1, c.key.param2));
     }},
    {0x40, [](const CaptionContext& c) {
         return c.Row(kSystemKeyTable, FindByParams(kSystemKeyTable, c.key.param1, c.key.param2));
     }},
    {0x50, [](const CaptionContext&) { return Caption(); }},
    {0x60, [](const CaptionContext&) { return Caption(); }},
    {0x70, MacroCaption},
    {0x71, MacroCaption},
    {0x72, RecoilCaption},
    {0xA0, SpecialCaption},
    {0xB0, [](const CaptionContext&) { return Caption(); }},
    {0xC0, [](const CaptionContext&) { return Caption(); }},
    {0xD0, SpecialCaption},
}};

}  // namespace

std::optional<std::string> KeyCaption(const KeyAssignment& key, const std::vector<std::string>& macroNames,
                                      const Translator& translate, CaptionTarget target) {
    const CaptionContext context{key, macroNames, translate, target};
    for (const CaptionRuleRow& row : kCaptionRules)
        if (row.type == key.type) return row.rule(context);
    return std::string(kOffCaption);
}

}  // namespace m470
