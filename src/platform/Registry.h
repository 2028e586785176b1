#pragma once
// Small persistent key-value store that stands where per-user registry values
// stood: $XDG_CONFIG_HOME/M470/registry.json, one JSON object of strings.
#include <json/value.h>
#include <optional>
#include <string>

namespace m470 {

class RegistryStore {
public:
    // Default location under the config folder.
    RegistryStore();
    explicit RegistryStore(std::string path);

    // Missing key, missing file or unreadable file: nullopt.
    std::optional<std::string> Read(const std::string& name) const;
    std::optional<int> ReadInt(const std::string& name) const;
    // Rewrites the whole file atomically; false when it could not be written.
    bool Write(const std::string& name, const std::string& value);
    bool Remove(const std::string& name);
    const std::string& Path() const { return path_; }

private:
    // The stored object; a damaged file gives the pairs still readable in it
    // (and is kept as ".bad"). writable is false when the file could not be opened.
    Json::Value Load(bool& writable) const;
    std::string path_;
};

}  // namespace m470
