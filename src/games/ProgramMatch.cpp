#include "games/ProgramMatch.h"

#include <filesystem>
#include <system_error>

#include "platform/Text.h"

namespace m470 {
namespace {

// The kernel keeps the first 15 bytes of a command name.
constexpr size_t kCommLength = 15;

enum class Compare { Whole, BaseName, KernelName, WindowsName };

// Which names of a process a link is compared with, and how.
struct NameSource {
    std::string ProcessInfo::*field;
    Compare compare;
    bool forPathLinks, forNameLinks;
};

constexpr NameSource kNameSources[] = {
    {&ProcessInfo::exe, Compare::Whole, true, false},
    {&ProcessInfo::argv0, Compare::Whole, true, false},
    {&ProcessInfo::exe, Compare::BaseName, false, true},
    {&ProcessInfo::argv0, Compare::BaseName, false, true},
    {&ProcessInfo::comm, Compare::KernelName, false, true},
    {&ProcessInfo::windowsExe, Compare::WindowsName, true, true},
};

bool EndsWithExe(const std::string& name) {
    return name.size() > 4 && EqualsIgnoringCase(name.substr(name.size() - 4), ".exe");
}

bool Compared(const ProgramLink& link, const std::string& name, Compare compare) {
    if (name.empty()) return false;
    switch (compare) {
        case Compare::Whole:
            return name == link.text || name == link.resolved;
        case Compare::BaseName:
            return ProgramBaseName(name) == link.text;
        case Compare::KernelName:
            return name == link.text || (name.size() == kCommLength && link.text.starts_with(name));
        case Compare::WindowsName:
            return EndsWithExe(link.text) && EqualsIgnoringCase(ProgramBaseName(link.text), name);
    }
    return false;
}

}  // namespace

std::string ProgramBaseName(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

ProgramLink MakeProgramLink(const std::string& text) {
    ProgramLink link{text, text};
    if (text.find('/') == std::string::npos) return link;
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(text, error);
    if (!error) link.resolved = resolved.string();
    return link;
}

bool LinkMatches(const ProgramLink& link, const ProcessInfo& process) {
    if (link.text.empty()) return false;
    const bool isPath = link.text.find('/') != std::string::npos;
    for (const NameSource& source : kNameSources) {
        if (!(isPath ? source.forPathLinks : source.forNameLinks)) continue;
        if (Compared(link, process.*source.field, source.compare)) return true;
    }
    return false;
}

}  // namespace m470
