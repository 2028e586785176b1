#include "platform/IniFile.h"

#include <cerrno>
#include <fstream>
#include <sys/stat.h>

#include "platform/AtomicFile.h"
#include "platform/DebugTrace.h"

namespace m470 {
namespace {

std::string_view Trim(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The first line may carry a byte-order mark.
std::string_view Content(std::string_view line, size_t index) {
    if (index == 0 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    return Trim(line);
}

std::optional<std::string_view> SectionName(std::string_view content) {
    if (content.size() < 2 || content.front() != '[') return std::nullopt;
    const size_t close = content.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(content.substr(1, close - 1));
}

bool IsComment(std::string_view content) { return !content.empty() && (content.front() == ';' || content.front() == '#'); }

bool HasLineEnd(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

bool IniFile::Load(const std::string& path) {
    path_ = path;
    lines_.clear();
    readable_ = true;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        readable_ = errno == ENOENT || errno == ENOTDIR;
        return readable_;
    }
    // Opening anything but a regular file could block (a pipe) or read forever.
    std::ifstream in;
    if (S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) <= kMaxIniFileBytes) in.open(path, std::ios::binary);
    if (!in.is_open()) {
        DebugTrace::Write("INI file not readable or too large, left as it is: " + path);
        readable_ = false;
        return false;
    }
    std::string line;
    while (std::getline(in, line)) lines_.push_back(line);
    if (in.bad()) {
        lines_.clear();
        readable_ = false;
    }
    return readable_;
}

std::optional<size_t> IniFile::FindSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const auto name = SectionName(Content(lines_[i], i));
        if (name && SameName(*name, section)) return i;
    }
    return std::nullopt;
}

size_t IniFile::SectionEnd(size_t header) const {
    size_t end = header + 1;
    while (end < lines_.size() && !SectionName(Content(lines_[end], end))) ++end;
    return end;
}

std::optional<size_t> IniFile::FindKey(size_t header, std::string_view key) const {
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
        const std::string_view content = Content(lines_[i], i);
        const size_t equals = content.find('=');
        if (IsComment(content) || equals == std::string_view::npos) continue;
        if (SameName(Trim(content.substr(0, equals)), key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
    const auto header = FindSection(section);
    if (!header) return std::nullopt;
    const auto line = FindKey(*header, key);
    if (!line) return std::nullopt;
    const std::string_view content = Content(lines_[*line], *line);
    std::string_view value = Trim(content.substr(content.find('=') + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return std::string(value);
}

bool IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    if (section.empty() || key.empty() || HasLineEnd(section) || HasLineEnd(key) || HasLineEnd(value) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos)
        return false;
    const std::string line = std::string(key) + "=" + std::string(value);
    const auto header = FindSection(section);
    if (!header) {
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(line);
        return true;
    }
    if (const auto existing = FindKey(*header, key)) {
        lines_[*existing] = line;
        return true;
    }
    // After the section's last line that is not blank, so its spacing stays.
    size_t at = SectionEnd(*header);
    while (at > *header + 1 && Content(lines_[at - 1], at - 1).empty()) --at;
    lines_.insert(lines_.begin() + static_cast<long>(at), line);
    return true;
}

std::string IniFile::Text() const {
    std::string text;
    for (const std::string& line : lines_) text += line + "\n";
    return text;
}

bool IniFile::Save() const {
    if (!readable_) return false;
    return WriteFileAtomically(path_, Text());
}

std::optional<std::string> ReadIniValue(const std::string& path, std::string_view section, std::string_view key) {
    IniFile file;
    if (!file.Load(path)) return std::nullopt;
    return file.Get(section, key);
}

bool WriteIniValue(const std::string& path, std::string_view section, std::string_view key, std::string_view value) {
    IniFile file;
    return file.Load(path) && file.Set(section, key, value) && file.Save();
}

}  // namespace m470
