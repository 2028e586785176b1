#pragma once
// A small INI record ("[SECTION]" lines and "KEY=value" lines under them).
// Writing a value rewrites that one line, or adds it, and keeps every other
// line as it was: other sections, unknown keys, comments and blank lines.
// Section and key names compare without regard to ASCII case.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace m470 {

// A bigger file is not an INI record of ours; it is neither read nor replaced.
inline constexpr uint64_t kMaxIniFileBytes = 1024u * 1024u;

class IniFile {
public:
    // False when the file exists but cannot be read, or is too large; such a
    // file is never written over. A missing file loads as empty.
    bool Load(const std::string& path);
    bool Readable() const { return readable_; }

    // The value with white space around it removed (and one pair of
    // surrounding double quotes); nullopt when the section or key is absent.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // False (nothing changed) for a name or value that would break the line
    // structure: a line end anywhere, "]" in the section, "=" in the key, or
    // an empty name.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    std::string Text() const;
    // Atomically; false when the file was unreadable at Load or the write failed.
    bool Save() const;

private:
    // Index of the section's header line, or nullopt.
    std::optional<size_t> FindSection(std::string_view section) const;
    // Index of the key's line inside the section that starts at header, or nullopt.
    std::optional<size_t> FindKey(size_t header, std::string_view key) const;
    size_t SectionEnd(size_t header) const;

    std::string path_;
    std::vector<std::string> lines_;
    bool readable_ = true;
};

// One value read from, or written into, the file at path.
std::optional<std::string> ReadIniValue(const std::string& path, std::string_view section, std::string_view key);
bool WriteIniValue(const std::string& path, std::string_view section, std::string_view key, std::string_view value);

}  // namespace m470
