#include "sdk/ProductControllers.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "ctl/CtlSettings.h"
#include "devices/keyboard/LogicalKeys.h"
#include "keys/KeyCaption.h"
#include "lighting/SameMode.h"
#include "pages/DeviceProfileUI.h"
#include "platform/JsonFile.h"

namespace m470::sdk {
namespace {

struct KindType {
    DeviceKind kind;
    ControllerType type;
    const char* zone;  // the name of the product's one zone
};
constexpr std::array<KindType, 6> kKindTypes{{
    {DeviceKind::Keyboard, ControllerType::Keyboard, "Keys"},
    {DeviceKind::KeyboardReceiver, ControllerType::Keyboard, "Keys"},
    {DeviceKind::Mouse, ControllerType::Mouse, "Mouse"},
    {DeviceKind::MouseReceiver, ControllerType::Mouse, "Mouse"},
    {DeviceKind::MousePad, ControllerType::Mousemat, "Edge"},
    {DeviceKind::Headset, ControllerType::Headset, "Headset"},
}};

const KindType& KindOf(DeviceKind kind) {
    const auto row = std::find_if(kKindTypes.begin(), kKindTypes.end(), [kind](const KindType& r) { return r.kind == kind; });
    return row != kKindTypes.end() ? *row : kKindTypes[2];
}

constexpr uint32_t kLevelMax = 4;  // brightness and speed steps 0-4, as on the panel
constexpr const char* kDirectName = "Direct";

std::string ColourWord(const Colour& colour) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x%02x%02x", colour.red, colour.green, colour.blue);
    return text;
}

std::string FirmwareWord(uint16_t version) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%02u", version >> 8, version & 0xFF);
    return text;
}

// One of the product's own modes, by what its lighting panel lets the user
// change in it; read from the device, so describing a product does not make
// a panel still waiting for its tab's first show.
ModeDescription OwnMode(int kind, const LightInfo& light, int row, const std::string& name) {
    ModeDescription mode;
    mode.name = name;
    mode.value = row;
    mode.flags = mode_flag::kManualSave;
    if (CLightControlUI::ModeTakes(kind, row, LightSetting::Speed)) mode.flags |= mode_flag::kSpeed;
    if (CLightControlUI::ModeTakes(kind, row, LightSetting::Brightness)) mode.flags |= mode_flag::kBrightness;
    if (CLightControlUI::ModeTakes(kind, row, LightSetting::Direction)) mode.flags |= mode_flag::kDirectionLeftRight;
    mode.speedMax = mode.brightnessMax = kLevelMax;
    mode.speed = static_cast<uint32_t>(CLightingPanel::LevelOf(light, LightSetting::Speed));
    mode.brightness = static_cast<uint32_t>(CLightingPanel::LevelOf(light, LightSetting::Brightness));
    // The panel's direction is 1 for left.
    mode.direction = CLightingPanel::LevelOf(light, LightSetting::Direction) == 1 ? kDirectionLeft : kDirectionRight;
    // A mode that draws its own colours (a spectrum, the music) offers no colour to pick.
    if (!CLightControlUI::ModeTakesColour(kind, row)) return mode;
    mode.flags |= mode_flag::kModeSpecificColour;
    mode.coloursMin = mode.coloursMax = 1;
    mode.colourMode = ColourMode::ModeSpecific;
    const uint32_t rgb = CLightingPanel::ColourOf(light);
    mode.colours = {{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb)}};
    return mode;
}

ModeDescription DirectMode(int value) {
    ModeDescription mode;
    mode.name = kDirectName;
    mode.value = value;
    mode.flags = mode_flag::kPerLedColour;
    mode.colourMode = ColourMode::PerLed;
    return mode;
}

}  // namespace

ProductControllers::ProductControllers(ctl::CtlTarget& target, const LanguageTable& english, Invoker invoker)
    : target_(target), english_(english), invoker_(std::move(invoker)) {}

void ProductControllers::Abandon() {
    std::lock_guard lock(waits_->lock);
    waits_->abandoned = true;
    waits_->done.notify_all();
}

void ProductControllers::OnDeviceThread(const std::function<void()>& work) {
    if (!invoker_) {
        work();
        return;
    }
    auto waits = waits_;
    auto finished = std::make_shared<bool>(false);
    // The work runs only while the server still waits for it; once abandoned
    // it touches nothing (this host may be gone by then).
    invoker_([waits, finished, work] {
        {
            std::lock_guard lock(waits->lock);
            if (waits->abandoned) return;
        }
        work();
        std::lock_guard lock(waits->lock);
        *finished = true;
        waits->done.notify_all();
    });
    std::unique_lock lock(waits->lock);
    waits->done.wait(lock, [&] { return *finished || waits->abandoned; });
}

std::vector<CVantrelUSBDevice*> ProductControllers::Products() const {
    std::vector<CVantrelUSBDevice*> products;
    for (CVantrelUSBDevice* device : target_.Devices()) {
        const CDevicePage* page = target_.PageOf(device);
        if (target_.Reachable(device) && page != nullptr && page->HasLighting()) products.push_back(device);
    }
    return products;
}

CVantrelUSBDevice* ProductControllers::Product(size_t controller) const {
    const std::vector<CVantrelUSBDevice*> products = Products();
    return controller < products.size() ? products[controller] : nullptr;
}

size_t ProductControllers::ControllerCount() {
    size_t count = 0;
    OnDeviceThread([&] { count = Products().size(); });
    return count;
}

std::optional<ControllerDescription> ProductControllers::Describe(size_t controller) {
    std::optional<ControllerDescription> described;
    OnDeviceThread([&] {
        if (CVantrelUSBDevice* device = Product(controller)) described = DescribeProduct(*device);
    });
    return described;
}

ControllerDescription ProductControllers::DescribeProduct(CVantrelUSBDevice& device) const {
    const KindType& kind = KindOf(device.Kind());
    ControllerDescription out;
    out.type = kind.type;
    out.name = english_.Text(device.DeviceName() + "_device_name_text");
    out.vendor = kVendor;
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04X:%04X", device.Identity().vendorId, device.Identity().productId);
    out.description = out.name + " (USB " + ids + ")";
    out.version = FirmwareWord(device.Transport().InstalledVersion());
    out.location = "HID: " + device.IdentityPath();
    // The rows of the panel's mode list: the device's modes, those it offers.
    const std::vector<std::string>& modes = device.ModeNames();
    const std::vector<bool>& offered = device.ModeVisible();
    const int count = static_cast<int>(modes.size());
    const int lightKind = LightKindOf(device.Kind());
    const LightInfo light = device.GetLightInfo();
    for (int row = 0; row < count; ++row) {
        if (static_cast<size_t>(row) >= offered.size() || !offered[static_cast<size_t>(row)]) continue;
        if (row == light.selectItem) out.activeMode = static_cast<int32_t>(out.modes.size());
        out.modes.push_back(OwnMode(lightKind, light, row, english_.Text(modes[static_cast<size_t>(row)])));
    }
    if (device.HostColoursShown()) out.activeMode = static_cast<int32_t>(out.modes.size());
    out.modes.push_back(DirectMode(count));
    const LedFrame frame = device.FrameCopy();
    out.zones.push_back({kind.zone, ZoneType::Linear, static_cast<uint32_t>(frame.size())});
    const bool keys = kind.type == ControllerType::Keyboard;
    for (size_t led = 0; led < frame.size(); ++led) {
        std::optional<std::string> legend;
        if (keys && led < kLogicalKeyCount)
            legend = KeyCaption(LogicalKeyFunction(led), {}, [this](std::string_view key) { return english_.Text(std::string(key)); },
                                CaptionTarget::Keyboard);
        out.ledNames.push_back(legend && !legend->empty() ? "Key: " + *legend : "LED " + std::to_string(led + 1));
        const Rgb shown = frame[led].Shown();
        out.colours.push_back({shown.red, shown.green, shown.blue});
    }
    return out;
}

void ProductControllers::Drive(int owner, CVantrelUSBDevice& device, size_t first, const std::vector<Colour>& colours) {
    std::vector<Rgb> rgb;
    for (const Colour& colour : colours) rgb.push_back({colour.red, colour.green, colour.blue});
    device.ShowHostColours(first, rgb);
    driven_[&device] = owner;
}

void ProductControllers::ShowColours(int owner, size_t controller, size_t first, const std::vector<Colour>& colours) {
    OnDeviceThread([&] {
        if (CVantrelUSBDevice* device = Product(controller)) Drive(owner, *device, first, colours);
    });
}

void ProductControllers::StartDirect(int owner, size_t controller) { ShowColours(owner, controller, 0, {}); }

void ProductControllers::GiveBack(const std::function<bool(int owner)>& whose) {
    const std::vector<CVantrelUSBDevice*> devices = target_.Devices();
    for (auto it = driven_.begin(); it != driven_.end();) {
        if (!whose(it->second)) {
            ++it;
            continue;
        }
        // A product unplugged meanwhile is gone, not given back.
        const auto held = std::find(devices.begin(), devices.end(), it->first);
        if (held != devices.end()) (*held)->EndHostColours();
        it = driven_.erase(it);
    }
}

void ProductControllers::ReleaseDirect(int owner) {
    OnDeviceThread([&] { GiveBack([owner](int driver) { return driver == owner; }); });
}

void ProductControllers::ReleaseEverything() {
    GiveBack([](int) { return true; });
}

ctl::Reply ProductControllers::Run(CVantrelUSBDevice& device, ctl::Verb verb, std::vector<std::string> words) {
    size_t ordinal = 0;
    for (const CVantrelUSBDevice* other : target_.Devices()) {
        if (other == &device) break;
        if (ctl::ProductBit(other->Kind()) == ctl::ProductBit(device.Kind())) ++ordinal;
    }
    words.insert(words.begin(), ctl::ProductWord(device.Kind(), ordinal));
    words.insert(words.begin() + 1, verb == ctl::Verb::Set ? "set" : "profile");
    return ctl::CtlExecutor(target_, english_).Run(words);
}

// The mode, then what it takes of the client's settings; each through the
// panel's typed function, which keeps it in the profile and writes it.
void ProductControllers::ApplyMode(int, size_t controller, size_t mode, const ModeDescription& settings, bool) {
    OnDeviceThread([&] {
        CVantrelUSBDevice* device = Product(controller);
        if (device == nullptr) return;
        const ControllerDescription described = DescribeProduct(*device);
        if (mode >= described.modes.size()) return;
        const ModeDescription& own = described.modes[mode];
        if (driven_.count(device) != 0) {
            device->EndHostColours();
            driven_.erase(device);
        }
        Run(*device, ctl::Verb::Set, {"mode", std::to_string(own.value)});
        if ((own.flags & mode_flag::kBrightness) != 0)
            Run(*device, ctl::Verb::Set, {"brightness", std::to_string(std::min(settings.brightness, kLevelMax))});
        if ((own.flags & mode_flag::kSpeed) != 0)
            Run(*device, ctl::Verb::Set, {"speed", std::to_string(std::min(settings.speed, kLevelMax))});
        if ((own.flags & mode_flag::kDirectionLeftRight) != 0)
            Run(*device, ctl::Verb::Set, {"direction", settings.direction == kDirectionLeft ? "left" : "right"});
        if ((own.flags & mode_flag::kModeSpecificColour) != 0 && !settings.colours.empty()) Run(*device, ctl::Verb::Set, {"colour", ColourWord(settings.colours.front())});
    });
}

std::vector<std::string> ProductControllers::ProfileNames() {
    std::vector<std::string> names;
    OnDeviceThread([&] {
        for (CVantrelUSBDevice* device : Products()) {
            const CDeviceProfileUI* strip = target_.PageOf(device)->ProfileStrip();
            if (strip == nullptr) continue;
            const Json::Value list = strip->GetProfileList();
            for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
                const std::string name = JsonText(Member(list[i], "profilename"));
                if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
            }
        }
    });
    return names;
}

// Every product that keeps a profile of that name takes it.
void ProductControllers::LoadProfile(const std::string& name) {
    OnDeviceThread([&] {
        for (CVantrelUSBDevice* device : Products()) {
            if (target_.PageOf(device)->ProfileStrip() == nullptr) continue;
            Run(*device, ctl::Verb::Profile, {"use", name});
        }
    });
}

}  // namespace m470::sdk
