#pragma once
// The file helpers every JSON document of the program goes through.
#include <cstdint>
#include <json/value.h>
#include <string>
#include <string_view>

namespace m470 {

// Files larger than this read as null: a bogus file must not exhaust memory.
inline constexpr uint64_t kMaxJsonFileBytes = 16u * 1024u * 1024u;

// Unreadable: the file exists but could not be opened or read (permissions,
// a folder in its place); such a file must not be overwritten.
enum class JsonLoadStatus { Ok, Missing, Empty, TooLarge, Invalid, Unreadable };

// The whole content of the file; empty when it cannot be opened (or is larger
// than maxBytes). Emits "readjsonFile 错误吗：：%d" with errno after each attempt.
std::string readjsonFile(const std::string& path, uint64_t maxBytes = kMaxJsonFileBytes,
                         JsonLoadStatus* status = nullptr);

// Parsed document, or null when the file is missing, empty, too large or not
// valid JSON. Comments are accepted. Never throws. Text that is not UTF-8, or
// a string holding U+0000, is invalid: saving it could not give it back.
Json::Value LoadJson(const std::string& path, JsonLoadStatus* status = nullptr);
Json::Value ParseJson(std::string_view text, bool* ok = nullptr);

// An id read from a file that becomes part of a path (profile, macro, effect):
// empty, or holding "/", "\\", ".." or U+0000, it counts as missing.
bool IsSafeFileId(std::string_view id);

// Styled form followed by one line end, written atomically (temporary file in
// the same folder renamed over the target). False when the file could not be
// written; the old file is then untouched and the failure is reported to the
// user (platform/FileAlerts.h).
bool SaveJson(const std::string& path, const Json::Value& document);
// A path a document the user named may be read from or written to: nothing
// there yet, or a regular file (through links). A device, a pipe, a socket or
// a folder is not: reading one never ends or gives no document, and writing
// "beside" one is not what the user asked for.
bool IsFileOrAbsent(const std::string& path);
std::string StyledJson(const Json::Value& document);

// Local time as "%d_%02d_%02d_%02d_%02d_%02d_%03d" (year, month, day, hour,
// minute, second, millisecond).
std::string MakeTimestampId();
std::string FormatTimestampId(int year, int month, int day, int hour, int minute, int second, int millisecond);

// File name without folder and extension.
std::string FileTitle(std::string_view path);
// True when empty after removing leading and trailing white space.
bool IsBlank(std::string_view text);
// Splits a control name at its last "_": prefix keeps the "_", number is the
// decimal value of the rest (0 when not a number). False when there is no "_".
bool SplitIndexedName(std::string_view name, std::string& prefix, int& number);

// Lenient readers: the wrong JSON type (string, array, object, null) reads as
// 0 / false / empty and never throws.
int64_t JsonInteger(const Json::Value& value);
uint8_t JsonByte(const Json::Value& value);       // low 8 bits
uint16_t JsonWord(const Json::Value& value);      // low 16 bits
uint32_t JsonDword(const Json::Value& value);     // low 32 bits
bool JsonBool(const Json::Value& value);          // non-zero number or true
std::string JsonText(const Json::Value& value);

// Member of an object or element of an array; a shared null for anything else,
// so chains like Member(Member(doc, "a"), "b") never throw.
const Json::Value& Member(const Json::Value& object, const char* name);
const Json::Value& Element(const Json::Value& array, Json::ArrayIndex index);
// Writable member / element: turns a non-object (non-array) value into an
// empty object (array) first.
Json::Value& MutableMember(Json::Value& object, const char* name);
Json::Value& MutableElement(Json::Value& array, Json::ArrayIndex index);

}  // namespace m470
