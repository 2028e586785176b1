#include "pages/NoDevicePage.h"

#include <algorithm>

#include "platform/Text.h"
#include "ui/Ctl.h"

namespace m470 {
namespace {

std::string Translated(const Translator& translate, const std::string& key) { return translate ? translate(key) : key; }

// "Gaming Mouse, Keyboard, RGB Mousepad, Headset": each product's name once.
std::string ProductNames(const std::vector<ProductRow>& products, const Translator& translate) {
    std::vector<std::string> names;
    for (const ProductRow& product : products) {
        const std::string name = Translated(translate, std::string(product.name) + "_device_name_text");
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : Translated(translate, "nodevice_name_separator")) + name;
    return joined;
}

}  // namespace

void ShowNoDevicePage(ui::ControlHost& host, const std::vector<ProductRow>& products,
                      const std::vector<RefusedNode>& refused, const Translator& translate) {
    ui::Ctl(host.Find("nodevice_hint_label"))
        .SetText(FillPlaceholders(Translated(translate, "nodevice_hint"), {ProductNames(products, translate)}));
    const std::string report = RefusalReport(refused, translate);
    const ui::Ctl refusals = host.Find("nodevice_refused_label");
    refusals.SetText(report);
    refusals.SetVisible(!refused.empty());
    ui::Ctl(host.Find("access_refused_banner")).SetText(report);
}

void ShowRefusalBanner(ui::ControlHost& host, const std::vector<RefusedNode>& refused, bool pageShown) {
    ui::Ctl(host.Find("access_refused_banner")).SetVisible(!refused.empty() && !pageShown);
}

}  // namespace m470
