#include "platform/KdeSettings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include "platform/DebugTrace.h"
#include "platform/DesktopSettings.h"

namespace m470 {
namespace {

// Plasma 6 names its tools with a 6, Plasma 5 with a 5.
constexpr std::array<const char*, 2> kReadTools{"kreadconfig6", "kreadconfig5"};
constexpr std::array<const char*, 2> kWriteTools{"kwriteconfig6", "kwriteconfig5"};

constexpr const char* kKWinService = "org.kde.KWin";
constexpr const char* kDevicesPath = "/org/kde/KWin/InputDevice";
constexpr const char* kManagerInterface = "org.kde.KWin.InputDeviceManager";
constexpr const char* kDeviceInterface = "org.kde.KWin.InputDevice";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

// The type words gdbus puts before a value whose type the text alone would not tell.
constexpr std::array<std::string_view, 12> kTypeWords{"byte ", "int16 ", "uint16 ", "int32 ", "uint32 ", "int64 ",
                                                     "uint64 ", "double ", "boolean ", "handle ", "objectpath ",
                                                     "signature "};

std::string WithoutTypeWord(std::string value) {
    for (std::string_view word : kTypeWords)
        if (value.starts_with(word)) return value.substr(word.size());
    return value;
}

std::string DevicePath(const std::string& device) { return std::string(kDevicesPath) + "/" + device; }

std::optional<uint32_t> Number(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
    return value;
}

// The system names of "(<['event0', 'event7']>,)".
std::vector<std::string> SystemNames(const std::string& reply) {
    std::vector<std::string> names;
    const std::optional<std::string> list = VariantReplyValue(reply);
    if (!list || list->size() < 2 || list->front() != '[' || list->back() != ']') return names;
    std::string_view rest(list->data() + 1, list->size() - 2);
    while (!rest.empty()) {
        const size_t open = rest.find('\'');
        if (open == std::string_view::npos) break;
        const size_t close = rest.find('\'', open + 1);
        if (close == std::string_view::npos) break;
        names.emplace_back(rest.substr(open + 1, close - open - 1));
        rest.remove_prefix(close + 1);
    }
    return names;
}

}  // namespace

std::optional<std::string> VariantReplyValue(const std::string& reply) {
    const std::string text = TrimmedAnswer(reply);
    if (!text.starts_with("(<") || !text.ends_with(">,)")) return std::nullopt;
    return WithoutTypeWord(text.substr(2, text.size() - 5));
}

std::optional<std::string> DictReplyMember(const std::string& reply, const std::string& member) {
    const std::string opening = "'" + member + "': <";
    const size_t at = reply.find(opening);
    if (at == std::string::npos) return std::nullopt;
    const size_t from = at + opening.size();
    const size_t end = reply.find('>', from);
    if (end == std::string::npos) return std::nullopt;
    return WithoutTypeWord(reply.substr(from, end - from));
}

std::optional<std::string> KdeConfig::Get(const std::string& file, const std::string& group, const std::string& key) const {
    for (const char* tool : kReadTools)
        if (std::optional<std::string> value = RunForOutput({tool, "--file", file, "--group", group, "--key", key}, limit_))
            return TrimmedAnswer(*value);
    return std::nullopt;
}

bool KdeConfig::Set(const std::string& file, const std::string& group, const std::string& key, const std::string& value) const {
    // Plasma 6's tool tells the desktop itself; Plasma 5's programs listen
    // for the settings signal of their global settings.
    bool taken = RunForOutput({kWriteTools[0], "--file", file, "--group", group, "--key", key, "--notify", value}, limit_).has_value();
    if (!taken) {
        taken = RunForOutput({kWriteTools[1], "--file", file, "--group", group, "--key", key, value}, limit_).has_value();
        // 3: the settings changed, 0: those of the mouse.
        if (taken)
            RunForOutput({"gdbus", "emit", "--session", "--object-path", "/KGlobalSettings", "--signal",
                          "org.kde.KGlobalSettings.notifyChange", "3", "0"},
                         limit_);
    }
    DebugTrace::Printf("desktop setting %s [%s] %s = %s%s", file.c_str(), group.c_str(), key.c_str(), value.c_str(),
                       taken ? "" : " (not taken)");
    return taken;
}

std::optional<std::string> KWinPointerDevices::Call(const std::string& path, const std::vector<std::string>& method) const {
    std::vector<std::string> command{"gdbus", "call", "--session", "--dest", kKWinService, "--object-path", path, "--method"};
    command.insert(command.end(), method.begin(), method.end());
    return RunForOutput(command, limit_);
}

std::vector<std::string> KWinPointerDevices::Find(const PointerIds& ids) const {
    std::vector<std::string> found;
    const std::optional<std::string> reply = Call(kDevicesPath, {std::string(kProperties) + ".Get", kManagerInterface, "devicesSysNames"});
    if (!reply) return found;
    for (const std::string& name : SystemNames(*reply)) {
        const std::optional<std::string> all = Call(DevicePath(name), {std::string(kProperties) + ".GetAll", kDeviceInterface});
        if (!all || DictReplyMember(*all, "pointer") != "true") continue;
        const std::optional<uint32_t> vendor = Number(DictReplyMember(*all, "vendor"));
        const std::optional<uint32_t> product = Number(DictReplyMember(*all, "product"));
        if (vendor == ids.vendorId && product &&
            std::find(ids.productIds.begin(), ids.productIds.end(), *product) != ids.productIds.end())
            found.push_back(name);
    }
    return found;
}

std::optional<std::string> KWinPointerDevices::Get(const std::string& device, const std::string& property) const {
    const std::optional<std::string> reply = Call(DevicePath(device), {std::string(kProperties) + ".Get", kDeviceInterface, property});
    return reply ? VariantReplyValue(*reply) : std::nullopt;
}

bool KWinPointerDevices::Set(const std::string& device, const std::string& property, const std::string& value) const {
    const bool taken =
        Call(DevicePath(device), {std::string(kProperties) + ".Set", kDeviceInterface, property, value}).has_value();
    DebugTrace::Printf("desktop setting KWin %s %s = %s%s", device.c_str(), property.c_str(), value.c_str(),
                       taken ? "" : " (not taken)");
    return taken;
}

}  // namespace m470
