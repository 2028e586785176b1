#include "ctl/CtlCommand.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>

#include "ctl/CtlSettings.h"

namespace m470::ctl {
namespace {

struct ProductName {
    const char* word;
    DeviceKind kind;
};
// The first word of each kind is the one m470ctl prints.
constexpr std::array<ProductName, 5> kProductNames{{
    {"mouse", DeviceKind::Mouse},
    {"keyboard", DeviceKind::Keyboard},
    {"mousepad", DeviceKind::MousePad},
    {"pad", DeviceKind::MousePad},
    {"headset", DeviceKind::Headset},
}};

const std::vector<ProfileAction> kProfileActions{
    {"list", nullptr, false, "the profiles, the current one marked"},
    {"use", "NAME|NUMBER", false, "make a profile current and write it to the product"},
    {"new", nullptr, false, "add a profile with the factory settings"},
    {"copy", nullptr, false, "add a copy of the current profile"},
    {"rename", "NAME", false, "rename the current profile"},
    {"delete", nullptr, false, "delete the current profile"},
    {"reset", nullptr, false, "put the factory settings into the current profile"},
    {"export", "FILE", true, "write the current profile to FILE (.json)"},
    {"import", "FILE", true, "add the profile in FILE"},
};


ParsedCommand Wrong(std::string why) { return {std::nullopt, std::move(why)}; }

ParsedCommand ParseProductVerb(Command command, const std::vector<std::string>& words) {
    if (!ParseProduct(words[0], command)) return Wrong("no product \"" + words[0] + "\" (mouse, keyboard, mousepad (or pad) or headset)");
    if (words.size() < 2) return Wrong("what about the " + words[0] + "? get, set or profile");
    const std::string& verb = words[1];
    if (verb == "get") {
        command.verb = Verb::Get;
        if (words.size() > 2) command.setting = words[2];
        const SettingRow* row = command.setting.empty() ? nullptr : FindSetting(command.setting, command.kind);
        if (!command.setting.empty() && row == nullptr) return Wrong("the " + words[0] + " has no setting \"" + command.setting + "\"");
        const size_t wanted = 3 + (row != nullptr && row->index != SettingIndex::None ? 1 : 0);
        if (row != nullptr && words.size() != wanted)
            return Wrong("usage: m470ctl " + words[0] + " get " + row->name + (row->index == SettingIndex::Stage ? " STAGE" : row->index == SettingIndex::Key ? " KEY" : ""));
        if (row == nullptr && words.size() > 3) return Wrong("too many words after get");
        if (wanted == 4) command.index = words[3];
        return {command, {}};
    }
    if (verb == "set") {
        command.verb = Verb::Set;
        if (words.size() < 3) return Wrong("set what? see m470ctl help " + words[0]);
        command.setting = words[2];
        const SettingRow* row = FindSetting(command.setting, command.kind);
        if (row == nullptr) return Wrong("the " + words[0] + " has no setting \"" + command.setting + "\"");
        const bool indexed = row->index != SettingIndex::None;
        if (words.size() != (indexed ? 5u : 4u)) return Wrong(std::string("usage: m470ctl ") + words[0] + " set " + row->name + " " + ValuesText(*row));
        command.index = indexed ? words[3] : "";
        command.value = words.back();
        return {command, {}};
    }
    if (verb == "profile") {
        command.verb = Verb::Profile;
        if (words.size() < 3) return Wrong("profile what? list, use, new, copy, rename, delete, reset, export or import");
        const ProfileAction* action = FindProfileAction(words[2]);
        if (action == nullptr) return Wrong("no profile action \"" + words[2] + "\"");
        command.action = action->name;
        const size_t wanted = action->argument != nullptr ? 4 : 3;
        if (words.size() != wanted)
            return Wrong(std::string("usage: m470ctl ") + words[0] + " profile " + action->name +
                         (action->argument != nullptr ? std::string(" ") + action->argument : ""));
        if (action->argument != nullptr) command.argument = words[3];
        if (action->argument != nullptr && command.argument.empty()) return Wrong(std::string(action->argument) + " is empty");
        // A name is one line of text, as the window's name field takes it.
        if (action->argument != nullptr && std::any_of(command.argument.begin(), command.argument.end(),
                                                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
            return Wrong(std::string(action->argument) + " holds a line break or another control character");
        return {command, {}};
    }
    return Wrong("no action \"" + verb + "\" (get, set or profile)");
}

}  // namespace

bool ParseProduct(const std::string& word, Command& command) {
    for (const ProductName& name : kProductNames) {
        const std::string base = name.word;
        if (word.rfind(base, 0) != 0) continue;
        const std::string rest = word.substr(base.size());
        size_t number = 1;
        if (!rest.empty()) {
            const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
            if (error != std::errc() || end != rest.data() + rest.size() || number < 1 || number > 16) continue;
        }
        command.kind = name.kind;
        command.ordinal = number - 1;
        command.product = word;
        return true;
    }
    return false;
}

const std::vector<ProfileAction>& ProfileActions() { return kProfileActions; }

const ProfileAction* FindProfileAction(const std::string& name) {
    for (const ProfileAction& action : kProfileActions)
        if (name == action.name) return &action;
    return nullptr;
}

std::string ProductWord(DeviceKind kind, size_t ordinal) {
    const uint8_t bit = ProductBit(kind);
    for (const ProductName& name : kProductNames)
        if (ProductBit(name.kind) == bit) return std::string(name.word) + (ordinal > 0 ? std::to_string(ordinal + 1) : "");
    return "product";
}

ParsedCommand ParseCommand(const std::vector<std::string>& words) {
    Command command;
    std::vector<std::string> rest;
    for (const std::string& word : words) {
        if (word == "--json") command.json = true;
        else if (word == "--virtual") command.virtualSelection = "mouse,keyboard,mousepad,headset";
        else if (word.rfind("--virtual=", 0) == 0) command.virtualSelection = word.substr(10);
        else if (word == "--help" || word == "-h") return {Command{}, {}};
        else if (word == "--version") {
            command.verb = Verb::Version;
            return {command, {}};
        } else if (word.size() > 1 && word[0] == '-' && rest.empty()) return Wrong("unknown option " + word);
        else rest.push_back(word);
    }
    if (rest.empty()) return Wrong("nothing to do");
    if (rest[0] == "help") {
        command.verb = Verb::Help;
        if (rest.size() > 1) command.helpTopic = rest[1];
        // help PRODUCT SETTING: the values a setting takes (the lighting modes)
        if (rest.size() > 2) command.setting = rest[2];
        if (rest.size() > 3) return Wrong("help takes a topic and a setting at most");
        return {command, {}};
    }
    if (rest[0] == "sdk") {
        // The OpenRGB SDK server: value holds "on" or "off".
        if (rest.size() != 2 || (rest[1] != "on" && rest[1] != "off")) return Wrong("sdk takes on or off");
        command.verb = Verb::Sdk;
        command.value = rest[1];
        return {command, {}};
    }
    if (rest[0] == "list") {
        if (rest.size() > 1) return Wrong("list takes nothing more");
        command.verb = Verb::List;
        return {command, {}};
    }
    return ParseProductVerb(command, rest);
}

std::vector<std::string> RequestWords(const Command& command, const std::string& folder) {
    std::vector<std::string> words;
    if (command.json) words.push_back("--json");
    switch (command.verb) {
        case Verb::Help:
            words.push_back("help");
            if (!command.helpTopic.empty()) words.push_back(command.helpTopic);
            if (!command.setting.empty()) words.push_back(command.setting);
            return words;
        case Verb::Version: words.push_back("--version"); return words;
        case Verb::List: words.push_back("list"); return words;
        case Verb::Sdk: words.insert(words.end(), {"sdk", command.value}); return words;
        case Verb::Get:
        case Verb::Set:
            words.insert(words.end(), {command.product, command.verb == Verb::Get ? "get" : "set"});
            for (const std::string* word : {&command.setting, &command.index, &command.value})
                if (!word->empty()) words.push_back(*word);
            return words;
        case Verb::Profile: {
            words.insert(words.end(), {command.product, "profile", command.action});
            const ProfileAction* action = FindProfileAction(command.action);
            if (action == nullptr || action->argument == nullptr) return words;
            std::filesystem::path argument(command.argument);
            if (action->file && argument.is_relative()) argument = std::filesystem::path(folder) / argument;
            words.push_back(argument.lexically_normal().string());
            return words;
        }
    }
    return words;
}

std::string TopicText(const std::string& topic) {
    std::string text;
    if (topic == "profile") {
        for (const ProfileAction& action : kProfileActions) text += std::string(action.name) + "\n";
        return text;
    }
    Command product;
    if (!ParseProduct(topic, product)) return {};
    for (const SettingRow* row : SettingsOf(product.kind)) text += std::string(row->name) + "\t" + ValuesText(*row) + "\t" + row->help + "\n";
    return text;
}

std::string UsageText() {
    std::string text =
        "Usage: m470ctl [--json] [--virtual[=LIST]] COMMAND\n"
        "\n"
        "Reads and changes the settings of the M470 products from a shell. When the\n"
        "M470 window runs, the request goes to it; otherwise m470ctl opens the products\n"
        "itself and keeps the profile files exactly as the window would.\n"
        "\n"
        "Commands:\n"
        "  list                             products, link, battery, firmware, current profile\n"
        "  PRODUCT get [SETTING [INDEX]]     one setting, or all of them\n"
        "  PRODUCT set SETTING [INDEX] VALUE change a setting (saved and written to the product)\n"
        "  PRODUCT profile ACTION [ARG]      manage the product's profiles\n"
        "  sdk on|off                       the OpenRGB SDK server other programs drive the lights through\n"
        "  help [PRODUCT|keys|profile]       this text, a product's settings, the key functions, the profile actions\n"
        "  help PRODUCT mode                the product's lighting modes, one a line\n"
        "\n"
        "PRODUCT is mouse, keyboard, mousepad (or pad) or headset; mouse2 is the second mouse.\n"
        "\n"
        "Settings:\n";
    for (const SettingRow& row : kSettings) {
        if (std::string(row.name) == "color") continue;
        std::string products;
        for (const auto& [bit, word] : std::array<std::pair<uint8_t, const char*>, 4>{
                 {{kMouseBit, "mouse"}, {kKeyboardBit, "keyboard"}, {kPadBit, "mousepad"}, {kHeadsetBit, "headset"}}})
            if ((row.products & bit) != 0) products += (products.empty() ? "" : ",") + std::string(word);
        std::string line = "  " + std::string(row.name) + " " + ValuesText(row);
        line.resize(std::max<size_t>(line.size() + 1, 34), ' ');
        text += line + row.help + " (" + products + ")\n";
    }
    text += "\nProfile actions:\n";
    for (const ProfileAction& action : kProfileActions) {
        std::string line = "  " + std::string(action.name) + (action.argument != nullptr ? std::string(" ") + action.argument : "");
        line.resize(std::max<size_t>(line.size() + 1, 34), ' ');
        text += line + action.help + "\n";
    }
    text +=
        "\n"
        "Options:\n"
        "  --json             answers as JSON, for scripts\n"
        "  --virtual[=LIST]   the virtual products (mouse,keyboard,mousepad,headset) when no window runs\n"
        "  --help, --version\n"
        "\n"
        "Exit status: 0 done, 1 the product or a file said no, 2 bad usage or no such product.\n"
        "\n"
        "Examples:\n"
        "  m470ctl list\n"
        "  m470ctl mouse set dpi 2 1600\n"
        "  m470ctl mouse set stage 2\n"
        "  m470ctl keyboard set colour ff8000\n"
        "  m470ctl mouse set key 4 \"Page Up\"\n"
        "  m470ctl keyboard profile use 2\n"
        "  m470ctl --json mouse get\n";
    return text;
}

}  // namespace m470::ctl
