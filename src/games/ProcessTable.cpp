#include "games/ProcessTable.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "platform/Text.h"

namespace m470 {
namespace {

constexpr std::string_view kDeletedMark = " (deleted)";
// Field 22 of the stat line; the fields after the command name start at 3.
constexpr int kStartTimeField = 22;

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> SplitOnNul(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c != '\0') {
            word += c;
            continue;
        }
        words.push_back(word);
        word.clear();
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

bool IsPid(const std::string& name) {
    return !name.empty() && name.size() < 10 && name.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string WindowsProgramOf(const std::vector<std::string>& words) {
    for (const std::string& word : words) {
        if (word.size() <= 4 || !EqualsIgnoringCase(word.substr(word.size() - 4), ".exe")) continue;
        const size_t cut = word.find_last_of("\\/");
        return cut == std::string::npos ? word : word.substr(cut + 1);
    }
    return {};
}

bool ProcProcessTable::Read(int pid, ProcessInfo& info) const {
    const std::string folder = root_ + "/" + std::to_string(pid) + "/";
    // The command name sits in parentheses and may hold spaces and ')': the last ')' ends it.
    const std::string stat = ReadWhole(folder + "stat");
    const size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return false;
    info = ProcessInfo{};
    info.pid = pid;
    info.comm = stat.substr(open + 1, close - open - 1);
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int number = 3; number <= kStartTimeField && fields >> field; ++number)
        if (number == kStartTimeField) info.startTime = std::strtoull(field.c_str(), nullptr, 10);
    std::error_code error;
    info.exe = std::filesystem::read_symlink(folder + "exe", error).string();
    // A program replaced on disk while it runs (an update) keeps its name.
    if (info.exe.size() > kDeletedMark.size() && info.exe.ends_with(kDeletedMark))
        info.exe.resize(info.exe.size() - kDeletedMark.size());
    const std::vector<std::string> words = SplitOnNul(ReadWhole(folder + "cmdline"));
    if (!words.empty()) info.argv0 = words.front();
    info.windowsExe = WindowsProgramOf(words);
    return true;
}

std::vector<ProcessInfo> ProcProcessTable::List() {
    std::vector<ProcessInfo> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root_, error)) {
        const std::string name = entry.path().filename().string();
        ProcessInfo info;
        // A process may end between the listing and the read: it is simply left out.
        if (IsPid(name) && Read(std::atoi(name.c_str()), info)) found.push_back(std::move(info));
    }
    return found;
}

}  // namespace m470
