#include "update/UpdateCheck.h"

#include <json/reader.h>
#include <json/value.h>

#include <charconv>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>

#include "platform/DebugTrace.h"
#include "update/HttpClient.h"

namespace m470 {
namespace {

bool IsHex(const UpdateEntry& entry) { return entry.type != kTypeProgram; }

// A JSON member as text, whether the service sent it as text or number.
// Every whole number JSON can hold is taken, above the signed 64-bit range too.
std::string TextOf(const Json::Value& value) {
    if (value.isString()) return value.asString();
    if (value.isUInt64()) return std::to_string(value.asUInt64());
    if (value.isInt64()) return std::to_string(value.asInt64());
    return {};
}

// The whole text as a number; nothing when it is empty, has other characters or is too large.
std::optional<uint32_t> ReadNumber(const std::string& text, int base) {
    uint32_t number = 0;
    const char* end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, number, base);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end) return std::nullopt;
    return number;
}

uint32_t NumberOf(const std::string& text, int base) { return ReadNumber(text, base).value_or(0); }

// A device id that does not fit one is no id (0).
int DeviceIdOf(const Json::Value& value) {
    if (value.isInt()) return value.asInt();
    const uint32_t number = NumberOf(TextOf(value), 10);
    return number <= static_cast<uint32_t>(std::numeric_limits<int>::max()) ? static_cast<int>(number) : 0;
}

}  // namespace

std::string AppKey(const UpdateEntry& entry) {
    if (entry.installedVersion == 0) return "NULL";
    return entry.brand + "_" + std::to_string(entry.type) + "_" + entry.firmwareId + "_" + entry.deviceName + "_" +
           std::to_string(entry.flag);
}

std::string RequestBody(const std::string& appKey, uint32_t version, bool hex) {
    char number[16];
    std::snprintf(number, sizeof number, hex ? "%x" : "%u", version);
    return "app_key=" + appKey + "&version=" + number;
}

std::string VersionText(uint32_t version, bool hex) {
    char text[16];
    std::snprintf(text, sizeof text, hex ? "V%04x" : "V%u", version);
    return text;
}

uint32_t VersionNumberOf(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (c != '.') digits += c;
    return NumberOf(digits, 10);
}

UpdateResult Placeholder(const UpdateEntry& entry) {
    UpdateResult result;
    result.name = entry.listName;
    result.installedText = IsHex(entry) ? VersionText(entry.installedVersion, true) : entry.versionLabel;
    return result;
}

UpdateResult ReadAnswer(const UpdateEntry& entry, const char* answer, size_t length) {
    UpdateResult result = Placeholder(entry);
    Json::Value reply;
    std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    if (length == 0 || !reader->parse(answer, answer + length, &reply, nullptr) || !reply.isObject()) {
        result.failed = true;
        return result;
    }
    const bool hex = IsHex(entry);
    // Without a version to compare there is no telling whether the item is up to date.
    const std::string version = TextOf(reply["version"]);
    const std::optional<uint32_t> newest = ReadNumber(version, hex ? 16 : 10);
    if (!newest) {
        DebugTrace::Printf("update: the answer for %s names no readable version", entry.listName.c_str());
        result.failed = true;
        return result;
    }
    result.url = TextOf(reply["path"]);
    result.serverVersionName = TextOf(reply["version_name"]);
    result.deviceId = DeviceIdOf(reply["device_id"]);
    result.sha256 = TextOf(reply["sha256"]);
    result.newestText = hex ? "V" + version : result.serverVersionName;
    // The program keeps its dotted version label where it has one ("V0.1.0", not "V10").
    result.installedText = hex || entry.versionLabel.empty() ? VersionText(entry.installedVersion, hex) : entry.versionLabel;
    result.status = entry.installedVersion < *newest ? item_state::kNeedsUpdate : item_state::kUpToDate;
    return result;
}

UpdateResult CheckForUpdate(HttpClient& client, const std::string& serviceBase, const UpdateEntry& entry) {
    const std::string body = RequestBody(AppKey(entry), entry.installedVersion, IsHex(entry));
    DebugTrace::Printf("update: asking %supdates: %s", serviceBase.c_str(), body.c_str());
    std::vector<char> answer(kAnswerBufferSize, '\0');
    // The body goes with its terminating zero, as the service expects.
    const int length = client.HttpRequest("POST", serviceBase + "updates", body.c_str(), body.size() + 1, answer.data(),
                                          answer.size());
    UpdateResult result;
    // A transfer that failed part way (its deadline passed) left a piece of an answer: no answer.
    if (length <= 0 || client.LastFailure() != HttpFailure::None) {
        result = Placeholder(entry);
        result.failed = true;
    } else if (client.LastStatus() < 200 || client.LastStatus() > 299) {
        DebugTrace::Printf("update: the service answered %ld for %s", client.LastStatus(), entry.listName.c_str());
        result = Placeholder(entry);
        result.failed = true;
    } else {
        result = ReadAnswer(entry, answer.data(), static_cast<size_t>(length));
    }
    result.name = entry.listName;
    if (result.failed) result.failure = client.LastFailure();
    return result;
}

}  // namespace m470
