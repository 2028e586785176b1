#include "platform/Text.h"

#include <array>

namespace m470 {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at text[pos]; advances pos.
char32_t DecodeOne(std::string_view text, size_t& pos) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(pos);
    int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
    if (extra < 0) {
        ++pos;
        return kReplacement;
    }
    if (extra == 0) {
        ++pos;
        return lead;
    }
    if (pos + static_cast<size_t>(extra) >= text.size()) {
        ++pos;
        return kReplacement;
    }
    char32_t value = lead & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        unsigned char next = byte(pos + static_cast<size_t>(i));
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return kReplacement;
        }
        value = (value << 6) | (next & 0x3F);
    }
    static constexpr std::array<char32_t, 4> kMinimum{0, 0x80, 0x800, 0x10000};
    pos += static_cast<size_t>(extra) + 1;
    if (value < kMinimum[static_cast<size_t>(extra)] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return kReplacement;
    return value;
}

void EncodeOne(char32_t cp, std::string& out) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Upper-case ranges and how they fold. step 1: every code point of the range
// maps to cp + delta; step 2: only even (or odd, per range start) ones do.
struct FoldRange {
    char32_t first, last;
    int delta;
    int step;
};

inline constexpr std::array<FoldRange, 14> kFoldRanges{{
    {0x0041, 0x005A, 32, 1},    // Basic Latin
    {0x00C0, 0x00D6, 32, 1},    // Latin-1 (before the multiplication sign)
    {0x00D8, 0x00DE, 32, 1},    // Latin-1 (after it)
    {0x0100, 0x012F, 1, 2},     // Latin Extended-A, pairs
    {0x0132, 0x0137, 1, 2},
    {0x0139, 0x0148, 1, 2},
    {0x014A, 0x0177, 1, 2},
    {0x0179, 0x017E, 1, 2},
    {0x0391, 0x03A1, 32, 1},    // Greek
    {0x03A3, 0x03AB, 32, 1},
    {0x0400, 0x040F, 80, 1},    // Cyrillic
    {0x0410, 0x042F, 32, 1},
    {0x0460, 0x0481, 1, 2},
    {0xFF21, 0xFF3A, 32, 1},    // full-width Latin
}};

}  // namespace

std::wstring Utf8ToWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) out += static_cast<wchar_t>(DecodeOne(text, pos));
    return out;
}

std::string WideToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) EncodeOne(static_cast<char32_t>(c), out);
    return out;
}

char32_t FoldCase(char32_t cp) {
    if (cp >= 0x0531 && cp <= 0x0556) return cp + 48;  // Armenian
    for (const FoldRange& range : kFoldRanges) {
        if (cp < range.first || cp > range.last) continue;
        if (range.step == 1 || ((cp - range.first) % 2) == 0) return static_cast<char32_t>(static_cast<int>(cp) + range.delta);
        return cp;
    }
    return cp;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldCase(DecodeOne(a, i)) != FoldCase(DecodeOne(b, j))) return false;
    }
    return i == a.size() && j == b.size();
}

uint32_t ParseArgbText(std::string_view text) {
    if (text.empty() || text.front() != '#' || (text.size() != 7 && text.size() != 9)) return 0;
    uint32_t value = 0;
    for (char c : text.substr(1)) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return 0;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return text.size() == 7 ? 0xFF000000u | value : value;
}

std::string FormatWithNumber(std::string_view text, long long number) {
    std::string result(text);
    const size_t at = result.find("%d");
    if (at != std::string::npos) result.replace(at, 2, std::to_string(number));
    return result;
}

std::string FillPlaceholders(std::string text, const std::vector<std::string>& values) {
    for (size_t i = values.size(); i-- > 0;) {  // "%10" before "%1"
        const std::string mark = "%" + std::to_string(i + 1);
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + values[i].size()))
            text.replace(at, mark.size(), values[i]);
    }
    return text;
}

bool IsValidUtf8(std::string_view text) {
    static constexpr std::string_view kEncodedReplacement = "\xEF\xBF\xBD";
    for (size_t pos = 0; pos < text.size();) {
        const size_t start = pos;
        if (DecodeOne(text, pos) == kReplacement && text.substr(start, 3) != kEncodedReplacement) return false;
    }
    return true;
}

std::string CapCodePoints(std::string_view text, size_t maxCodePoints) {
    size_t pos = 0;
    for (size_t count = 0; pos < text.size() && count < maxCodePoints; ++count) DecodeOne(text, pos);
    return std::string(text.substr(0, pos));
}

}  // namespace m470
