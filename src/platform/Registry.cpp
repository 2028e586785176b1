#include "platform/Registry.h"

#include <charconv>

#include "platform/Folders.h"
#include "profiles/JsonFile.h"

namespace m470 {

RegistryStore::RegistryStore() : path_(GetConfigFolder() + "registry.json") {}
RegistryStore::RegistryStore(std::string path) : path_(std::move(path)) {}

std::optional<std::string> RegistryStore::Read(const std::string& name) const {
    const Json::Value document = LoadJson(path_);
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
    Json::Value document = LoadJson(path_);
    if (!document.isObject()) document = Json::Value(Json::objectValue);
    document[name] = value;
    return SaveJson(path_, document);
}

bool RegistryStore::Remove(const std::string& name) {
    Json::Value document = LoadJson(path_);
    if (!document.isObject() || !document.isMember(name)) return true;
    document.removeMember(name);
    return SaveJson(path_, document);
}

}  // namespace m470
