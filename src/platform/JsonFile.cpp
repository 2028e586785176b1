#include "platform/JsonFile.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <json/reader.h>
#include <json/writer.h>
#include <sys/stat.h>

#include "platform/AtomicFile.h"
#include "platform/DebugTrace.h"
#include "platform/FileAlerts.h"
#include "platform/Text.h"

// The styled writer and the classic reader give the documents their exact form.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace m470 {

std::string readjsonFile(const std::string& path, uint64_t maxBytes, JsonLoadStatus* status) {
    const auto report = [&](JsonLoadStatus value) {
        if (status != nullptr) *status = value;
    };
    std::string content;
    struct stat info {};
    std::FILE* file = nullptr;
    int error = 0;
    if (::stat(path.c_str(), &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        error = EINVAL;  // a pipe or a device: opening one may wait for a writer for ever
    else if (static_cast<uint64_t>(info.st_size) > maxBytes)
        error = EFBIG;
    else if ((file = std::fopen(path.c_str(), "rb")) == nullptr)
        error = errno;
    DebugTrace::Printf("readjsonFile 错误吗：：%d", error);
    if (file == nullptr) {
        report(error == ENOENT || error == ENOTDIR ? JsonLoadStatus::Missing
               : error == EFBIG                    ? JsonLoadStatus::TooLarge
                                                   : JsonLoadStatus::Unreadable);
        return content;
    }
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        content.append(buffer, got);
        if (content.size() > maxBytes) break;
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        report(JsonLoadStatus::Unreadable);  // a folder in its place, an I/O error
        content.clear();
    } else if (content.size() > maxBytes) {
        report(JsonLoadStatus::TooLarge);  // grew while being read
        content.clear();
    } else {
        report(content.empty() ? JsonLoadStatus::Empty : JsonLoadStatus::Ok);
    }
    return content;
}

namespace {

// Every key and string of the document is UTF-8 without U+0000.
bool HoldsOnlyCleanText(const Json::Value& value) {
    const auto clean = [](std::string_view text) { return text.find('\0') == std::string_view::npos && IsValidUtf8(text); };
    if (value.isString()) {
        const char* begin = nullptr;
        const char* end = nullptr;
        return !value.getString(&begin, &end) || clean(std::string_view(begin, static_cast<size_t>(end - begin)));
    }
    if (value.isArray()) {
        for (const Json::Value& element : value)
            if (!HoldsOnlyCleanText(element)) return false;
    }
    if (value.isObject()) {
        for (auto it = value.begin(); it != value.end(); ++it) {
            const char* end = nullptr;
            const char* begin = it.memberName(&end);
            if (!clean(std::string_view(begin, static_cast<size_t>(end - begin))) || !HoldsOnlyCleanText(*it)) return false;
        }
    }
    return true;
}

}  // namespace

// Comments are read past, not kept: a kept comment can land on another member
// of a repeated key and the document written back then differs from the one read.
Json::Value ParseJson(std::string_view text, bool* ok) {
    Json::Value root;
    bool parsed = false;
    try {
        Json::Reader reader;
        parsed = IsValidUtf8(text) && reader.parse(text.data(), text.data() + text.size(), root, /*collectComments=*/false) &&
                 HoldsOnlyCleanText(root);
    } catch (const std::exception&) {
        parsed = false;  // the reader throws past its nesting limit
    }
    if (ok != nullptr) *ok = parsed;
    return parsed ? root : Json::Value();
}

Json::Value LoadJson(const std::string& path, JsonLoadStatus* status) {
    JsonLoadStatus read = JsonLoadStatus::Missing;
    std::string text = readjsonFile(path, kMaxJsonFileBytes, &read);
    if (read == JsonLoadStatus::Unreadable) ReportUnreadableFile(path);
    if (text.empty()) {
        DebugTrace::Printf("LoadJson: no content in %s", path.c_str());
        if (status != nullptr) *status = read;
        return Json::Value();
    }
    bool ok = false;
    Json::Value root = ParseJson(text, &ok);
    if (status != nullptr) *status = ok ? JsonLoadStatus::Ok : JsonLoadStatus::Invalid;
    return root;
}

bool IsSafeFileId(std::string_view id) {
    return !id.empty() && id.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos &&
           id.find("..") == std::string_view::npos;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the four hex digits after "\u" at text[pos]; -1 when malformed.
long ReadEscapedUnit(const std::string& text, size_t pos) {
    if (pos + 6 > text.size() || text[pos] != '\\' || text[pos + 1] != 'u') return -1;
    long unit = 0;
    for (size_t i = pos + 2; i < pos + 6; ++i) {
        int digit = HexDigit(text[i]);
        if (digit < 0) return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (cp & 0x3F));
}

// The styled writer escapes every non-ASCII character; profile files keep
// names readable as plain UTF-8. Control characters stay escaped.
std::string UnescapeNonAscii(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        long unit = ReadEscapedUnit(text, i);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            long low = ReadEscapedUnit(text, i + 6);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
                i += 11;
                continue;
            }
        } else if (unit >= 0x80 && (unit < 0xDC00 || unit > 0xDFFF)) {
            AppendUtf8(out, static_cast<char32_t>(unit));
            i += 5;
            continue;
        }
        out += text[i];  // any other escape is copied whole
        out += text[++i];
    }
    return out;
}

}  // namespace

std::string StyledJson(const Json::Value& document) {
    Json::StyledWriter writer;
    std::string text = UnescapeNonAscii(writer.write(document));
    // The styled writer ends its text with one line end already; the file has exactly one.
    if (text.empty() || text.back() != '\n') text += '\n';
    return text;
}

bool IsFileOrAbsent(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) return S_ISREG(info.st_mode);
    return errno == ENOENT;
}

bool SaveJson(const std::string& path, const Json::Value& document) { return SaveFile(path, StyledJson(document)); }

std::string FormatTimestampId(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    char text[64];
    std::snprintf(text, sizeof text, "%d_%02d_%02d_%02d_%02d_%02d_%03d", year, month, day, hour, minute, second,
                  millisecond);
    return text;
}

std::string MakeTimestampId() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const int millis = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local {};
    ::localtime_r(&seconds, &local);
    return FormatTimestampId(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                             local.tm_sec, millis);
}

std::string FileTitle(std::string_view path) {
    size_t slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    size_t dot = path.rfind('.');
    if (dot != std::string_view::npos && dot > 0) path = path.substr(0, dot);
    return std::string(path);
}

bool IsBlank(std::string_view text) {
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) return false;
    return true;
}

bool SplitIndexedName(std::string_view name, std::string& prefix, int& number) {
    size_t underscore = name.rfind('_');
    if (underscore == std::string_view::npos) return false;
    prefix.assign(name.substr(0, underscore + 1));
    std::string_view rest = name.substr(underscore + 1);
    number = 0;
    int value = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error == std::errc() && end == rest.data() + rest.size()) number = value;
    return true;
}

int64_t JsonInteger(const Json::Value& value) {
    if (value.isInt64()) return value.asInt64();
    if (value.isUInt64()) return static_cast<int64_t>(value.asUInt64());
    if (value.isBool()) return value.asBool() ? 1 : 0;
    if (value.isDouble()) {
        double number = value.asDouble();
        if (!std::isfinite(number) || std::fabs(number) > 9.2e18) return 0;
        return static_cast<int64_t>(number);
    }
    return 0;
}

uint8_t JsonByte(const Json::Value& value) { return static_cast<uint8_t>(JsonInteger(value) & 0xFF); }
uint16_t JsonWord(const Json::Value& value) { return static_cast<uint16_t>(JsonInteger(value) & 0xFFFF); }
uint32_t JsonDword(const Json::Value& value) { return static_cast<uint32_t>(JsonInteger(value) & 0xFFFFFFFF); }
bool JsonBool(const Json::Value& value) { return JsonInteger(value) != 0; }
std::string JsonText(const Json::Value& value) { return value.isString() ? value.asString() : std::string(); }

const Json::Value& Member(const Json::Value& object, const char* name) {
    static const Json::Value kNull;
    if (!object.isObject()) return kNull;
    const Json::Value* found = object.find(name, name + std::char_traits<char>::length(name));
    return found != nullptr ? *found : kNull;
}

const Json::Value& Element(const Json::Value& array, Json::ArrayIndex index) {
    static const Json::Value kNull;
    if (!array.isArray() || index >= array.size()) return kNull;
    return array[index];
}

Json::Value& MutableMember(Json::Value& object, const char* name) {
    if (!object.isObject()) object = Json::Value(Json::objectValue);
    return object[name];
}

Json::Value& MutableElement(Json::Value& array, Json::ArrayIndex index) {
    if (!array.isArray()) array = Json::Value(Json::arrayValue);
    return array[index];
}

}  // namespace m470
