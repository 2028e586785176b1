#pragma once
// UTF-8 is the text form inside the program; wide strings only where code
// points are needed.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace m470 {

// Invalid UTF-8 sequences become U+FFFD instead of being dropped silently.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// Simple case folding of one code point (Latin, Greek, Cyrillic, Armenian,
// full-width Latin); other code points fold to themselves.
char32_t FoldCase(char32_t codePoint);
// Case-insensitive equality of two UTF-8 names ("Ünder" equals "ünder").
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// Strict UTF-8: no stray bytes, overlong forms, surrogates or values past U+10FFFF.
bool IsValidUtf8(std::string_view text);
// The first maxCodePoints code points of a UTF-8 text; a code point is never cut.
std::string CapCodePoints(std::string_view text, size_t maxCodePoints);
// "#RRGGBB" (opaque) or "#AARRGGBB" as 0xAARRGGBB; 0 when it is neither.
uint32_t ParseArgbText(std::string_view text);
// A translated text with one number in it: the first "%d" becomes the
// number; nothing else in the text is read as a format (a "%s" stays as it is).
std::string FormatWithNumber(std::string_view text, long long number);
// A translated text with named places: "%1", "%2"... become the values, in
// order; nothing else is read as a format.
std::string FillPlaceholders(std::string text, const std::vector<std::string>& values);

}  // namespace m470
