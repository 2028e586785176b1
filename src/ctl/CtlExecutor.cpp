#include "ctl/CtlExecutor.h"

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <sstream>

#include "ctl/CtlKeys.h"
#include "ctl/CtlSettings.h"
#include "ctl/SdkSetting.h"
#include "devices/MouseDevice.h"
#include "pages/DeviceProfileUI.h"
#include "platform/FileAlerts.h"
#include "platform/JsonFile.h"
#include "platform/Text.h"
#include "Version.h"

namespace m470::ctl {
namespace {

constexpr Json::ArrayIndex kMaxProfiles = 50;

// The strip's actions that are one button each, by their command words.
struct ProfileWord {
    const char* action;
    StripAction typed;
};
constexpr std::array<ProfileWord, 6> kProfileWords{{
    {"new", StripAction::New},
    {"copy", StripAction::Copy},
    {"delete", StripAction::Delete},
    {"reset", StripAction::Reset},
    {"export", StripAction::Export},
    {"import", StripAction::Import},
}};

// The request's answers to what a page asks, and what the page said.
class RequestContext : public PageContext {
public:
    RequestContext(CtlTarget& target, CDevicePage* page, const LanguageTable& english)
        : target_(target), page_(page), base_(target.PageContexts().Current()), english_(english) {
        panelWindow_.ask = [](const std::string&) { return true; };
        panelWindow_.notice = [this](const std::string& key) { Notice(key); };
        panelWindow_.plainNotice = [this](const std::string& text) { messages.push_back(text); };
        panelWindow_.chooseOpenFile = [this](const std::string&) { return file.value_or(""); };
        panelWindow_.chooseSaveFile = [this](const std::string&) { return file.value_or(""); };
    }

    bool Confirm(const std::string&) override { return true; }
    void Notice(const std::string& textKey) override { messages.push_back(english_.Text(textKey)); }
    std::string FileText(const FileAlert& alert) const {
        return FileAlertText(alert, [this](std::string_view key) { return english_.Text(std::string(key)); });
    }
    void NoticeNumber(const std::string& textKey, int number) override {
        messages.push_back(FormatWithNumber(english_.Text(textKey), number));
    }
    std::optional<std::string> ChooseOpenFile(const std::string&) override { return file; }
    std::optional<std::string> ChooseSaveFile(const std::string&) override { return file; }
    bool Shown(const CVantrelUSBDevice& device) const override { return page_ != nullptr && &page_->Device() == &device; }
    // A request's choice is the later one: it applies at once, in place of one still waiting.
    void ProfileChosen(CVantrelUSBDevice& device) override {
        target_.ProfileChoice().Chosen(device);
        target_.ProfileChoice().Settle([this](CVantrelUSBDevice* chosen) { return target_.HeldPageOf(chosen); }, *this);
    }
    void SameMode(CVantrelUSBDevice&) override {}
    void ResetMusicStyles() override {
        if (base_ != nullptr) base_->ResetMusicStyles();
    }
    const PanelWindow* Window() const { return &panelWindow_; }

    std::optional<std::string> file;
    std::vector<std::string> messages;

private:
    CtlTarget& target_;
    CDevicePage* page_;
    PageContext* base_;
    const LanguageTable& english_;
    PanelWindow panelWindow_;
};

// For the length of one request the pages answer to it, then to their window again.
class Redirection {
public:
    Redirection(PageContextSwitch& contexts, CDevicePage* page, RequestContext& request)
        : contexts_(contexts), page_(page), previousWindow_(page != nullptr ? page->Window() : nullptr) {
        contexts_.Redirect(&request);
        if (page_ != nullptr) page_->SetWindow(request.Window());
    }
    ~Redirection() {
        contexts_.Redirect(nullptr);
        if (page_ != nullptr) page_->SetWindow(previousWindow_);
    }
    Redirection(const Redirection&) = delete;
    Redirection& operator=(const Redirection&) = delete;

private:
    PageContextSwitch& contexts_;
    CDevicePage* page_;
    const PanelWindow* previousWindow_;
};

Reply Usage(std::string why) { return {kExitUsage, {}, "m470ctl: " + why + "\n"}; }

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// What the request's messages and a failed save make of a finished change.
Reply Outcome(std::string out, RequestContext& request) {
    if (const std::optional<FileAlert> alert = TakeFileAlert()) request.messages.push_back(request.FileText(*alert));
    if (request.messages.empty()) return {kExitDone, std::move(out), {}};
    std::vector<std::string> lines;
    for (const std::string& message : request.messages) lines.push_back("m470ctl: " + message);
    return {kExitRefused, {}, Joined(lines)};
}

// The products found but not opened, as error lines with the fix.
std::string RefusalLines(const std::vector<RefusedNode>& refused, const LanguageTable& english) {
    std::vector<std::string> lines;
    std::istringstream report(RefusalReport(refused, [&english](std::string_view key) { return english.Text(std::string(key)); }));
    for (std::string line; std::getline(report, line);) lines.push_back("m470ctl: " + line);
    return Joined(lines);
}

std::string Padded(std::string text, size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text + " ";
}

std::string FirmwareText(uint16_t version) {
    if (version == 0) return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%x.%02x", version >> 8, version & 0xFF);
    return text;
}

std::string CurrentProfileName(const CDevicePage* page) {
    const CDeviceProfileUI* strip = page != nullptr ? page->ProfileStrip() : nullptr;
    if (strip == nullptr) return {};
    const int selected = strip->GetCurSel();
    return selected < 0 ? std::string() : JsonText(Member(Element(strip->GetProfileList(), static_cast<Json::ArrayIndex>(selected)), "profilename"));
}

// A profile's row by name (any case) or by its number from 1.
std::optional<int> ProfileRow(const Json::Value& list, const std::string& typed) {
    for (Json::ArrayIndex i = 0; i < list.size(); ++i)
        if (EqualsIgnoringCase(JsonText(Member(list[i], "profilename")), typed)) return static_cast<int>(i);
    int number = 0;
    if (std::sscanf(typed.c_str(), "%d", &number) == 1 && std::to_string(number) == typed && number >= 1 &&
        number <= static_cast<int>(list.size()))
        return number - 1;
    return std::nullopt;
}

// One setting's value as a get or a set prints it: the value, or with --json what it is of.
std::string SettingAnswer(const Command& command, const SettingRow& row, const std::string& value) {
    if (!command.json) return value + "\n";
    Json::Value answer(Json::objectValue);
    answer["product"] = command.product;
    answer["setting"] = row.name;
    if (!command.index.empty()) answer["index"] = command.index;
    answer["value"] = value;
    return StyledJson(answer);
}

}  // namespace

CDevicePage* CtlTarget::HeldPageOf(const CVantrelUSBDevice* device) const {
    const std::vector<CVantrelUSBDevice*> devices = Devices();
    return std::find(devices.begin(), devices.end(), device) != devices.end() ? PageOf(device) : nullptr;
}

Reply CtlExecutor::Run(const std::vector<std::string>& words) {
    const ParsedCommand parsed = ParseCommand(words);
    if (!parsed.command) return Usage(parsed.error + "\nTry m470ctl --help.");
    return Execute(*parsed.command);
}

std::string CtlExecutor::ProductWordOf(const CVantrelUSBDevice* device) const {
    size_t ordinal = 0;
    for (const CVantrelUSBDevice* other : target_.Devices()) {
        if (other == device) break;
        if (ProductBit(other->Kind()) == ProductBit(device->Kind()) && target_.Reachable(other)) ++ordinal;
    }
    return ProductWord(device->Kind(), ordinal);
}

std::optional<CtlExecutor::Found> CtlExecutor::FindProduct(const Command& command, Reply& reply) const {
    size_t ordinal = 0;
    for (CVantrelUSBDevice* device : target_.Devices()) {
        if (ProductBit(device->Kind()) != ProductBit(command.kind) || !target_.Reachable(device)) continue;
        if (ordinal++ != command.ordinal) continue;
        // Just plugged: what its page shows is not the product's yet.
        if (!device->FirstReadDone()) {
            reply = {kExitRefused, {}, "m470ctl: the " + command.product + " is still being read; try again in a moment\n"};
            return std::nullopt;
        }
        CDevicePage* page = target_.PageOf(device);
        if (page != nullptr) return Found{device, page};
    }
    std::vector<RefusedNode> refused = target_.Refused();
    std::erase_if(refused, [&command](const RefusedNode& node) { return ProductBit(node.kind) != ProductBit(command.kind); });
    const std::string why = refused.empty() ? "m470ctl: no " + command.product + " is connected\n" : RefusalLines(refused, english_);
    reply = {kExitRefused, {}, why};
    return std::nullopt;
}

// Without a window the switch is kept for the window's next start.
Reply CtlTarget::SwitchSdk(bool on) {
    RegistryStore registry;
    if (!WriteSdkOn(registry, on)) return {kExitRefused, {}, "m470ctl: " + registry.Path() + " could not be written\n"};
    const SdkSetting setting = ReadSdkSetting(registry);
    return {kExitDone, on ? "OpenRGB SDK server on (127.0.0.1:" + std::to_string(setting.port) + ") from the window's next start\n"
                          : "OpenRGB SDK server off\n", {}};
}

// With --json the switch's answer is an object: the state asked for and what was said.
Reply CtlExecutor::SdkReply(const Command& command, Reply reply) {
    if (!command.json || reply.exitCode != kExitDone) return reply;
    Json::Value answer;
    answer["sdk"] = command.value;
    std::string said = reply.out;
    while (!said.empty() && said.back() == '\n') said.pop_back();
    answer["message"] = said;
    reply.out = StyledJson(answer);
    return reply;
}

Reply CtlExecutor::Execute(const Command& command) {
    switch (command.verb) {
        case Verb::Help: return Help(command);
        case Verb::Version: return {kExitDone, std::string("m470ctl ") + kVersion + "\n", {}};
        case Verb::List: return List(command);
        case Verb::Sdk: return SdkReply(command, target_.SwitchSdk(command.value == "on"));
        default: break;
    }
    Reply missing;
    const auto found = FindProduct(command, missing);
    if (!found) return missing;
    if (command.verb == Verb::Get) return Get(command, *found);
    if (command.verb == Verb::Set) return Set(command, *found);
    return Profile(command, *found);
}

Reply CtlExecutor::Help(const Command& command) const {
    if (command.helpTopic.empty()) return {kExitDone, UsageText(), {}};
    if (command.helpTopic == "keys") {
        std::string text;
        for (const auto& [title, target] : {std::pair{"Mouse buttons", CaptionTarget::Mouse}, std::pair{"Keyboard keys", CaptionTarget::Keyboard}}) {
            text += std::string(title) + " take:\n";
            std::vector<std::string> names;
            for (const NamedFunction& function : AssignableFunctions(target, {})) {
                const std::string name = FunctionName(function.key, english_);
                if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
            }
            for (const std::string& name : names) text += "  " + name + "\n";
        }
        return {kExitDone, text + "and the names of the product's macros.\n", {}};
    }
    if (!command.setting.empty()) return ModeHelp(command);
    const std::string text = TopicText(command.helpTopic);
    if (text.empty()) return Usage("no help on \"" + command.helpTopic + "\" (a product, keys or profile)");
    return {kExitDone, text, {}};
}

// The names "set mode" takes, as the product's mode list offers them.
Reply CtlExecutor::ModeHelp(const Command& command) const {
    Command product;
    if (command.setting != "mode" || !ParseProduct(command.helpTopic, product))
        return Usage("no help on \"" + command.helpTopic + " " + command.setting + "\" (PRODUCT mode)");
    const auto modes = ReadLightModes(DefaultProduct(product.kind).lightRow);
    if (!modes) return {kExitRefused, {}, "m470ctl: the lighting modes are missing beside m470ctl\n"};
    std::string text;
    for (const LightModeRow& mode : *modes)
        if (mode.visible) text += english_.Text(mode.name) + "\n";
    return {kExitDone, text, {}};
}

Reply CtlExecutor::List(const Command& command) {
    Json::Value products(Json::arrayValue);
    std::string text = Padded("PRODUCT", 9) + Padded("NAME", 18) + Padded("LINK", 9) + Padded("BATTERY", 8) +
                       Padded("FIRMWARE", 9) + "PROFILE\n";
    for (CVantrelUSBDevice* device : target_.Devices()) {
        if (!target_.Reachable(device) || !device->FirstReadDone()) continue;
        Json::Value entry(Json::objectValue);
        entry["product"] = ProductWordOf(device);
        entry["name"] = english_.Text(device->DeviceName() + "_device_name_text");
        entry["link"] = device->Transport().ReceiverMode() ? "receiver" : "cable";
        const bool battery = device->HasPowerPanel();
        entry["battery"] = battery ? Json::Value(device->PowerStatus()[0]) : Json::Value();
        entry["firmware"] = FirmwareText(device->Transport().InstalledVersion());
        entry["profile"] = CurrentProfileName(target_.PageOf(device));
        text += Padded(entry["product"].asString(), 9) + Padded(entry["name"].asString(), 18) +
                Padded(entry["link"].asString(), 9) + Padded(battery ? std::to_string(device->PowerStatus()[0]) + "%" : "-", 8) +
                Padded(entry["firmware"].asString(), 9) + entry["profile"].asString() + "\n";
        products.append(entry);
    }
    const std::vector<RefusedNode> refused = target_.Refused();
    // A product that could not be opened fails the listing: it is there, but not usable.
    const int code = refused.empty() ? kExitDone : kExitRefused;
    const std::string errors = refused.empty() ? std::string() : RefusalLines(refused, english_);
    if (command.json) return {code, StyledJson(products), errors};
    // Nothing usable but something refused: the refusal alone says what is there.
    if (products.empty()) return {code, refused.empty() ? "no product is connected\n" : std::string(), errors};
    return {code, text, errors};
}

Reply CtlExecutor::Get(const Command& command, const Found& found) {
    Json::Value values(Json::objectValue);
    std::string text;
    const auto add = [&](const SettingRow& row, const std::string& index) {
        const SettingResult result = ReadSetting(row, *found.page, index, english_);
        if (!result.ok) return false;
        if (index.empty()) values[row.name] = result.value;
        else values[row.name][index] = result.value;
        text += std::string(row.name) + (index.empty() ? "" : " " + index) + " " + result.value + "\n";
        return true;
    };
    if (!command.setting.empty()) {
        const SettingRow* row = FindSetting(command.setting, command.kind);
        const SettingResult result = ReadSetting(*row, *found.page, command.index, english_);
        if (!result.ok) return Usage(result.error);
        return {kExitDone, SettingAnswer(command, *row, result.value), {}};
    }
    for (const SettingRow* row : SettingsOf(command.kind)) {
        if (row->index == SettingIndex::Stage) {
            for (int stage = 1; stage <= 6; ++stage) add(*row, std::to_string(stage));
        } else if (row->index == SettingIndex::Key) {
            // The keyboard's keys are too many for a summary; ask for one.
            if (ProductBit(command.kind) == kMouseBit)
                for (size_t button = 1; button <= kMouseLogicalButtons.size(); ++button) add(*row, std::to_string(button));
        } else {
            add(*row, {});
        }
    }
    return {kExitDone, command.json ? StyledJson(values) : text, {}};
}

Reply CtlExecutor::Set(const Command& command, const Found& found) {
    const SettingRow* row = FindSetting(command.setting, command.kind);
    RequestContext request(target_, found.page, english_);
    SettingResult result;
    {
        Redirection redirection(target_.PageContexts(), found.page, request);
        result = WriteSetting(*row, *found.page, command.index, command.value, english_);
    }
    if (!result.ok && result.refused) return {kExitRefused, {}, "m470ctl: " + result.error + "\n"};
    if (!result.ok) return Usage(result.error);
    return Outcome(SettingAnswer(command, *row, result.value), request);
}

Reply CtlExecutor::ProfileList(const Command& command, const Found& found) {
    const CDeviceProfileUI* strip = found.page->ProfileStrip();
    const Json::Value list = strip->GetProfileList();
    const int current = strip->GetCurSel();
    Json::Value answer(Json::arrayValue);
    std::string text;
    for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
        Json::Value entry(Json::objectValue);
        entry["number"] = static_cast<int>(i) + 1;
        entry["name"] = JsonText(Member(list[i], "profilename"));
        entry["current"] = static_cast<int>(i) == current;
        entry["program"] = JsonInteger(Member(list[i], "profileislink")) != 0 ? JsonText(Member(list[i], "profilelinkmame")) : "";
        text += std::string(entry["current"].asBool() ? "* " : "  ") + std::to_string(i + 1) + " " + entry["name"].asString() +
                (entry["program"].asString().empty() ? "" : "  (" + entry["program"].asString() + ")") + "\n";
        answer.append(entry);
    }
    return {kExitDone, command.json ? StyledJson(answer) : text, {}};
}

Reply CtlExecutor::Profile(const Command& command, const Found& found) {
    CDevicePage& page = *found.page;
    const CDeviceProfileUI* strip = page.ProfileStrip();
    if (strip == nullptr) return {kExitRefused, {}, "m470ctl: the " + command.product + " keeps no profiles\n"};
    if (command.action == "list") return ProfileList(command, found);
    const Json::Value before = strip->GetProfileList();
    if (command.action == "delete" && before.size() <= 1)
        return {kExitRefused, {}, "m470ctl: the last profile cannot be deleted\n"};
    std::optional<int> row;
    if (command.action == "use" && !(row = ProfileRow(before, command.argument)))
        return Usage("the " + command.product + " has no profile \"" + command.argument + "\"");
    const bool adds = command.action == "new" || command.action == "copy" || command.action == "import";
    if (adds && before.size() >= kMaxProfiles) return {kExitRefused, {}, "m470ctl: a product keeps at most 50 profiles\n"};
    if ((command.action == "export" || command.action == "import") && std::filesystem::is_directory(command.argument))
        return Usage(command.argument + " is a folder; name a file");

    RequestContext request(target_, &page, english_);
    {
        Redirection redirection(target_.PageContexts(), &page, request);
        CProfileStripPanel& panel = *page.ProfileStripPanel();
        if (command.action == "use") {
            panel.ChooseProfile(*row);
        } else if (command.action == "rename") {
            panel.Rename(command.argument);
        } else {
            if (command.action == "export" || command.action == "import") request.file = command.argument;
            const auto word = std::find_if(kProfileWords.begin(), kProfileWords.end(),
                                           [&](const ProfileWord& w) { return command.action == w.action; });
            if (word != kProfileWords.end()) panel.Act(word->typed);
        }
    }
    const Json::Value after = strip->GetProfileList();
    const bool added = after.size() > before.size();
    if (!added && adds && request.messages.empty())
        request.messages.push_back(command.action == "import" ? english_.Text("profile_import_refused") : "no profile was added");
    // What the action made: the new profile's name, the file written, or the current profile's name.
    std::string shown = added ? JsonText(Member(after[after.size() - 1], "profilename")) : CurrentProfileName(&page);
    if (command.action == "export") shown = CDeviceProfileUI::WithJsonExtension(command.argument);
    return Outcome(command.json ? StyledJson(Json::Value(shown)) : shown + "\n", request);
}

}  // namespace m470::ctl
