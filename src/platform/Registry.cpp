#include "platform/Registry.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/Folders.h"
#include "platform/JsonFile.h"

namespace m470 {

namespace {

// End of the JSON string literal that starts at text[start]; npos when unterminated.
size_t StringLiteralEnd(std::string_view text, size_t start) {
    for (size_t i = start + 1; i < text.size(); ++i) {
        if (text[i] == '\\') ++i;
        else if (text[i] == '"') return i + 1;
    }
    return std::string_view::npos;
}

// The "name": value pairs (text or integer) that can still be read from a damaged file.
Json::Value SalvagePairs(std::string_view text) {
    Json::Value pairs(Json::objectValue);
    constexpr std::string_view kSpace = " \t\r\n";
    size_t pos = 0;
    while ((pos = text.find('"', pos)) != std::string_view::npos) {
        const size_t keyEnd = StringLiteralEnd(text, pos);
        if (keyEnd == std::string_view::npos) break;
        const size_t colon = text.find_first_not_of(kSpace, keyEnd);
        const size_t value = colon == std::string_view::npos || text[colon] != ':' ? colon : text.find_first_not_of(kSpace, colon + 1);
        if (colon == std::string_view::npos || text[colon] != ':' || value == std::string_view::npos) {
            pos = keyEnd;
            continue;
        }
        size_t valueEnd = text[value] == '"' ? StringLiteralEnd(text, value) : text.find_first_of(",}", value);
        if (valueEnd == std::string_view::npos) valueEnd = text.size();
        bool keyOk = false, valueOk = false;
        const Json::Value name = ParseJson(text.substr(pos, keyEnd - pos), &keyOk);
        const Json::Value read = ParseJson(text.substr(value, valueEnd - value), &valueOk);
        if (keyOk && valueOk && name.isString() && (read.isString() || read.isIntegral())) pairs[name.asString()] = read;
        pos = std::max(valueEnd, value + 1);
    }
    return pairs;
}

}  // namespace

RegistryStore::RegistryStore() : path_(GetConfigFolder() + "registry.json") {}
RegistryStore::RegistryStore(std::string path) : path_(std::move(path)) {}

Json::Value RegistryStore::Load(bool& writable) const {
    JsonLoadStatus status = JsonLoadStatus::Missing;
    Json::Value document = LoadJson(path_, &status);
    writable = status != JsonLoadStatus::Unreadable;
    if (document.isObject()) return document;
    if (status == JsonLoadStatus::Ok || status == JsonLoadStatus::Invalid) {
        // Damaged: kept beside itself, and what can still be read survives.
        std::error_code error;
        std::filesystem::copy_file(path_, path_ + ".bad", std::filesystem::copy_options::overwrite_existing, error);
        return SalvagePairs(readjsonFile(path_));
    }
    return Json::Value(Json::objectValue);
}

std::optional<std::string> RegistryStore::Read(const std::string& name) const {
    bool writable = true;
    const Json::Value document = Load(writable);
    const Json::Value& value = Member(document, name.c_str());
    if (value.isString()) return value.asString();
    if (value.isIntegral()) return std::to_string(JsonInteger(value));
    return std::nullopt;
}

std::optional<int> RegistryStore::ReadInt(const std::string& name) const {
    std::optional<std::string> text = Read(name);
    if (!text) return std::nullopt;
    int number = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
    if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
    return number;
}

bool RegistryStore::Write(const std::string& name, const std::string& value) {
    bool writable = true;
    Json::Value document = Load(writable);
    if (!writable) return false;
    document[name] = value;
    return SaveJson(path_, document);
}

bool RegistryStore::Remove(const std::string& name) {
    bool writable = true;
    Json::Value document = Load(writable);
    if (!writable) return false;
    if (!document.isMember(name)) return true;
    document.removeMember(name);
    return SaveJson(path_, document);
}

}  // namespace m470
