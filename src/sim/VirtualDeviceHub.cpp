#include "sim/VirtualDeviceHub.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <vector>
#include <sstream>

#include "sim/ProductFirmware.h"

namespace m470 {
namespace {

// Mode codes the pad and the headset power on with.
constexpr uint8_t kPadPowerOnMode = 2;
constexpr uint8_t kHeadsetPowerOnMode = 4;

// The firmware a product of each kind runs at power-on; a receiver
// forwards to its product's.
struct KindFirmware {
    DeviceKind kind;
    std::shared_ptr<FirmwareEmulator> (*make)();
};

constexpr std::array<KindFirmware, 4> kFirmwareOfKind{{
    {DeviceKind::Keyboard, [] { return std::shared_ptr<FirmwareEmulator>(std::make_shared<KeyboardFirmware>()); }},
    {DeviceKind::Mouse, [] { return std::shared_ptr<FirmwareEmulator>(std::make_shared<MouseFirmware>()); }},
    {DeviceKind::MousePad,
     [] { return std::shared_ptr<FirmwareEmulator>(std::make_shared<LightRecordFirmware>(kPadPowerOnMode)); }},
    {DeviceKind::Headset,
     [] { return std::shared_ptr<FirmwareEmulator>(std::make_shared<LightRecordFirmware>(kHeadsetPowerOnMode)); }},
}};

std::shared_ptr<FirmwareEmulator> FirmwareOfKind(DeviceKind kind) {
    for (const KindFirmware& row : kFirmwareOfKind)
        if (row.kind == kind) return row.make();
    return nullptr;
}

std::string JoinNames(const std::vector<std::string>& names, const char* separator) {
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : separator) + name;
    return joined;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool ParseNumber(const std::string& text, unsigned long& value) {
    if (text.empty()) return false;
    size_t used = 0;
    try {
        value = std::stoul(text, &used, 0);
    } catch (const std::exception&) {
        return false;
    }
    return used == text.size();
}

}  // namespace

std::vector<std::string> VirtualInterfaceNames(std::span<const ProductRow> products) {
    std::vector<std::string> names;
    for (const ProductRow& row : products) {
        names.push_back(row.emulator.name);
        if (*row.emulator.receiverName != '\0') names.push_back(row.emulator.receiverName);
    }
    return names;
}

std::string EveryVirtualProduct(std::span<const ProductRow> products) {
    // The mice first: their selector entries exist from start-up, and the
    // first product to arrive is the page the window opens on.
    std::vector<std::string> mice, others;
    for (const ProductRow& row : products) (row.kind == DeviceKind::Mouse ? mice : others).push_back(row.emulator.name);
    mice.insert(mice.end(), others.begin(), others.end());
    return JoinNames(mice, ",");
}

std::optional<std::vector<std::string>> ParseVirtualSelection(const std::string& text, std::string& error,
                                                              std::span<const ProductRow> products) {
    const std::vector<std::string> known = VirtualInterfaceNames(products);
    std::vector<std::string> names;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        item = Trim(item);
        if (item.empty()) continue;
        if (std::find(known.begin(), known.end(), item) == known.end()) {
            error = "unknown virtual device \"" + item + "\" (known: " + JoinNames(known, ", ") + ")";
            return std::nullopt;
        }
        if (std::find(names.begin(), names.end(), item) == names.end()) names.push_back(item);
    }
    if (names.empty()) {
        error = "no virtual device named (known: " + JoinNames(known, ", ") + ")";
        return std::nullopt;
    }
    return names;
}

VirtualDeviceHub::VirtualDeviceHub(std::span<const ProductRow> products)
    : backend_(std::make_shared<VirtualHidBackend>()), log_(std::make_shared<TrafficLog>()) {
    for (const ProductRow& row : products) AddProduct(row);
}

bool VirtualDeviceHub::AddProduct(const ProductRow& row, const FirmwareFactory& makeFirmware) {
    const EmulatorNames& names = row.emulator;
    const bool receiver = *names.receiverName != '\0';
    if (Resolve(names.name) || (receiver && Resolve(names.receiverName))) return false;
    std::shared_ptr<FirmwareEmulator> firmware = makeFirmware ? makeFirmware() : FirmwareOfKind(row.kind);
    if (!firmware) return false;
    const ProductIdentity identity{names.name,           names.receiverName,    row.vendorId,
                                   row.productId,        row.receiverProductId, names.version,
                                   row.interfaceNumber,  row.singleCollection};
    products_[names.name] = std::make_unique<VirtualProduct>(backend_, log_, identity, std::move(firmware));
    names_.push_back(names.name);
    if (receiver) names_.push_back(names.receiverName);
    return true;
}

std::string VirtualDeviceHub::AcceptedNames() const { return JoinNames(names_, ", "); }

VirtualDeviceHub::~VirtualDeviceHub() = default;

std::optional<VirtualDeviceHub::Target> VirtualDeviceHub::Resolve(const std::string& target) {
    std::string name = target;
    Target resolved;
    const size_t colon = target.find(':');
    if (colon != std::string::npos) {
        name = target.substr(0, colon);
        const std::string part = target.substr(colon + 1);
        if (part == "command") resolved.part = InterfacePart::Command;
        else if (part == "notify") resolved.part = InterfacePart::Notify;
        else return std::nullopt;
    }
    for (auto& [productName, product] : products_) {
        if (product->Identity().name == name) resolved.product = product.get();
        if (product->Identity().receiverName == name && !name.empty()) {
            resolved.product = product.get();
            resolved.receiver = true;
        }
    }
    if (resolved.product == nullptr) return std::nullopt;
    return resolved;
}

bool VirtualDeviceHub::Plug(const std::string& target) {
    const auto resolved = Resolve(target);
    if (!resolved) return false;
    resolved->product->Plug(resolved->receiver, resolved->part);
    return true;
}

bool VirtualDeviceHub::Unplug(const std::string& target) {
    const auto resolved = Resolve(target);
    if (!resolved) return false;
    resolved->product->Unplug(resolved->receiver, resolved->part);
    return true;
}

void VirtualDeviceHub::PlugAll(const std::vector<std::string>& names) {
    for (const std::string& name : names) Plug(name);
}

bool VirtualDeviceHub::SetPower(const std::string& product, bool on) {
    VirtualProduct* found = Product(product);
    if (found == nullptr || found->Identity().receiverName.empty()) return false;
    found->SetPower(on);
    return true;
}

bool VirtualDeviceHub::Notify(const std::string& name, uint16_t code) {
    const auto resolved = Resolve(name);
    return resolved && resolved->product->Notify(code, resolved->receiver);
}

bool VirtualDeviceHub::SetBattery(const std::string& product, uint8_t level, uint8_t state) {
    FirmwareEmulator* firmware = Firmware(product);
    if (firmware == nullptr) return false;
    firmware->SetBattery(level, state);
    return true;
}

bool VirtualDeviceHub::SetAccess(const std::string& target, bool denied) {
    const auto resolved = Resolve(target);
    if (!resolved) return false;
    resolved->product->SetOpenError(resolved->receiver, denied ? EACCES : 0);
    return true;
}

void VirtualDeviceHub::UseRealisticLatency() {
    SetLatency(std::chrono::microseconds(1000), std::chrono::microseconds(8000));
}

void VirtualDeviceHub::SetLatency(std::chrono::microseconds wired, std::chrono::microseconds receiver) {
    for (auto& [name, product] : products_) product->SetLatency(wired, receiver);
}

VirtualProduct* VirtualDeviceHub::Product(const std::string& nameOrInterface) {
    const auto resolved = Resolve(nameOrInterface);
    return resolved ? resolved->product : nullptr;
}

FirmwareEmulator* VirtualDeviceHub::Firmware(const std::string& nameOrInterface) {
    VirtualProduct* product = Product(nameOrInterface);
    return product != nullptr ? &product->Firmware() : nullptr;
}

// "fail PRODUCT CODE [COUNT] [status|drop]"
std::string VirtualDeviceHub::RunFail(const std::string& line) {
    std::istringstream words(line);
    std::string action, target, codeText;
    words >> action >> target >> codeText;
    const std::string usage = "fail takes a product, an 8-bit command code, an optional count and status or drop";
    unsigned long code = 0, count = 1;
    if (!ParseNumber(codeText, code) || code > 0xFF) return usage;
    std::vector<std::string> rest;
    for (std::string word; words >> word;) rest.push_back(word);
    if (rest.size() > 2) return usage;
    // One word alone may be the count or the kind.
    const bool countGiven = !rest.empty() && std::isdigit(static_cast<unsigned char>(rest[0][0]));
    if (countGiven && (!ParseNumber(rest[0], count) || count == 0 || count > 1000000)) return usage;
    if (!countGiven && rest.size() == 2) return usage;
    const std::string kindText = rest.size() > (countGiven ? 1u : 0u) ? rest.back() : std::string();
    if (!kindText.empty() && kindText != "status" && kindText != "drop") return usage;
    const FaultKind kind = kindText == "drop" ? FaultKind::Drop : FaultKind::Status;
    if (!InjectFault(target, static_cast<uint8_t>(code), static_cast<unsigned>(count), kind))
        return "unknown virtual product \"" + target + "\" (known: " + AcceptedNames() + ")";
    return {};
}

bool VirtualDeviceHub::InjectFault(const std::string& product, uint8_t command, unsigned count, FaultKind kind) {
    VirtualProduct* found = Product(product);
    if (found == nullptr) return false;
    found->InjectFault(command, count, kind);
    return true;
}

std::string VirtualDeviceHub::RunCommand(const std::string& line) {
    std::istringstream words(line);
    std::string action, target, first, second;
    words >> action >> target >> first >> second;
    const std::string known = " (known: " + AcceptedNames() + ")";
    if (action == "plug" || action == "unplug") {
        if (!(action == "plug" ? Plug(target) : Unplug(target))) return "unknown virtual interface \"" + target + "\"" + known;
        return {};
    }
    if (action == "power") {
        if (first != "on" && first != "off") return "power takes on or off";
        if (!SetPower(target, first == "on")) return "power takes mouse or keyboard, not \"" + target + "\"";
        return {};
    }
    if (action == "notify") {
        unsigned long code = 0;
        if (!ParseNumber(first, code) || code > 0xFFFF) return "notify takes a 16-bit code such as 0x1123";
        if (!Notify(target, static_cast<uint16_t>(code)))
            return "cannot notify on \"" + target + "\": not plugged, off or unknown";
        return {};
    }
    if (action == "battery") {
        unsigned long level = 0, state = 0;
        if (!ParseNumber(first, level) || !ParseNumber(second, state) || level > 100 || state > 2)
            return "battery takes a level 0-100 and a state 0-2";
        if (!SetBattery(target, static_cast<uint8_t>(level), static_cast<uint8_t>(state)))
            return "unknown virtual product \"" + target + "\"" + known;
        return {};
    }
    if (action == "fail") return RunFail(line);
    if (action == "deny" || action == "allow") {
        if (!SetAccess(target, action == "deny")) return "unknown virtual interface \"" + target + "\"" + known;
        return {};
    }
    return "unknown virtual action \"" + action + "\" (plug, unplug, power, notify, battery, fail, deny, allow)";
}

}  // namespace m470
