#include "pages/DesktopPointer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "devices/Products.h"

namespace m470 {
namespace {

const DesktopPointerKey* RowOf(std::span<const DesktopPointerKey> keys, PointerValue value) {
    for (const DesktopPointerKey& row : keys)
        if (row.value == value) return &row;
    return nullptr;
}

// The desktops asked, by a word of their XDG_CURRENT_DESKTOP.
struct DesktopRow {
    const char* word;
    std::span<const DesktopPointerKey> keys;
};
const std::array<DesktopRow, 2> kDesktops{{
    {"GNOME", kGnomePointerKeys},
    {"KDE", kKdePointerKeys},
}};

std::span<const DesktopPointerKey> KeysOf(const std::string& desktopName) {
    for (const DesktopRow& desktop : kDesktops)
        if (desktopName.find(desktop.word) != std::string::npos) return desktop.keys;
    return {};
}

// KWin's properties are typed: a number goes as a double, a choice as a boolean.
std::string KWinValue(const DesktopPointerKey& row, const std::string& text) {
    return row.on != nullptr ? "<" + text + ">" : "<double " + text + ">";
}

// Linear between (a, fa) and (b, fb).
double Between(double x, double a, double b, double fa, double fb) { return b == a ? fa : fa + (x - a) * (fb - fa) / (b - a); }

}  // namespace

std::string DesktopText(const DesktopPointerKey& row, int ours) {
    ours = std::clamp(ours, row.ourLow, row.ourHigh);
    if (row.on != nullptr) return ours != 0 ? row.on : row.off;
    const double value = ours <= row.ourMiddle ? Between(ours, row.ourLow, row.ourMiddle, row.desktopLow, row.desktopMiddle)
                                               : Between(ours, row.ourMiddle, row.ourHigh, row.desktopMiddle, row.desktopHigh);
    if (row.integer) return std::to_string(std::lround(value));
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

std::optional<int> OurPosition(const DesktopPointerKey& row, const std::string& desktop) {
    if (row.on != nullptr) {
        if (desktop == row.off) return 0;
        // "default" is the device's own profile: adaptive for a mouse.
        if (desktop == row.on || desktop == "'default'") return 1;
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(desktop.c_str(), &end);
    if (desktop.empty() || end == desktop.c_str() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    // The desktop numbers run up or down with ours: compare along their direction.
    const bool rising = row.desktopHigh > row.desktopLow;
    const double clamped = std::clamp(value, std::min(row.desktopLow, row.desktopHigh), std::max(row.desktopLow, row.desktopHigh));
    const bool firstHalf = rising ? clamped <= row.desktopMiddle : clamped >= row.desktopMiddle;
    const double ours = firstHalf ? Between(clamped, row.desktopLow, row.desktopMiddle, row.ourLow, row.ourMiddle)
                                  : Between(clamped, row.desktopMiddle, row.desktopHigh, row.ourMiddle, row.ourHigh);
    return static_cast<int>(std::lround(ours));
}

PointerIds PointerIdsOf(const KnownInterface& identity, DeviceKind kind) {
    const ProductRow* row = &DefaultProduct(kind);
    for (const ProductRow& product : kProducts)
        if (product.vendorId == identity.vendorId &&
            (product.productId == identity.productId || product.receiverProductId == identity.productId))
            row = &product;
    PointerIds ids{row->vendorId, {row->productId}};
    if (row->receiverProductId != 0) ids.productIds.push_back(row->receiverProductId);
    return ids;
}

CDesktopPointer::CDesktopPointer(const std::string& desktopName, DesktopSettings settings)
    : keys_(KeysOf(desktopName)), settings_(std::move(settings)) {}

CDesktopPointer CDesktopPointer::ForSession() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return CDesktopPointer(desktop != nullptr ? desktop : "");
}

void CDesktopPointer::SetToolLimit(const ToolLimit& limit) {
    settings_.SetLimit(limit);
    kdeConfig_.SetLimit(limit);
    kwin_.SetLimit(limit);
}

std::vector<DesktopPointerReading> CDesktopPointer::Read() {
    std::vector<DesktopPointerReading> readings;
    found_ = {};
    devices_.clear();
    for (const DesktopPointerKey& row : keys_) {
        if (row.store == DesktopStore::KWinDevice && devices_.empty()) devices_ = kwin_.Find(ids_);
        const std::optional<std::string> text = Get(row);
        if (!text) continue;
        found_[static_cast<size_t>(row.value)] = true;
        if (const std::optional<int> position = OurPosition(row, *text)) readings.push_back({row.value, *position});
    }
    return readings;
}

bool CDesktopPointer::Applies() const { return std::find(found_.begin(), found_.end(), true) != found_.end(); }

bool CDesktopPointer::Apply(PointerValue value, int position) {
    const DesktopPointerKey* row = RowOf(keys_, value);
    return AppliesTo(value) && row != nullptr && Set(*row, DesktopText(*row, position));
}

// The first of the mouse's KWin devices answers for all of them (they
// are set together).
std::optional<std::string> CDesktopPointer::Get(const DesktopPointerKey& row) const {
    switch (row.store) {
        case DesktopStore::GSettings: return settings_.Get(row.place, row.key);
        case DesktopStore::KConfig: {
            std::optional<std::string> text = kdeConfig_.Get(row.place, row.group, row.key);
            if (text && text->empty() && row.unset != nullptr) *text = row.unset;
            return text;
        }
        case DesktopStore::KWinDevice: return devices_.empty() ? std::nullopt : kwin_.Get(devices_.front(), row.key);
    }
    return std::nullopt;
}

bool CDesktopPointer::Set(const DesktopPointerKey& row, const std::string& text) {
    switch (row.store) {
        case DesktopStore::GSettings: return settings_.Set(row.place, row.key, text);
        case DesktopStore::KConfig: return kdeConfig_.Set(row.place, row.group, row.key, text);
        case DesktopStore::KWinDevice: {
            // The mouse may have moved between cable and receiver since: its
            // devices are looked up again when one is gone.
            const auto setOnEach = [&] {
                bool taken = !devices_.empty();
                for (const std::string& device : devices_) taken = kwin_.Set(device, row.key, KWinValue(row, text)) && taken;
                return taken;
            };
            if (setOnEach()) return true;
            devices_ = kwin_.Find(ids_);
            return setOnEach();
        }
    }
    return false;
}

}  // namespace m470
