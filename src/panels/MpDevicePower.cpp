#include "panels/MpDevicePower.h"

#include <algorithm>
#include <array>
#include <string>

namespace m470 {
namespace {

struct PhoneRow {
    uint8_t code;
    const char* textKey;
    const char* image;
};
constexpr std::array<PhoneRow, 3> kPhones{{
    {1, "Phone_type_iphone", "file='power/Phone_type_iphone.png'"},
    {2, "Phone_type_samsung", "file='power/Phone_type_samsung.png'"},
    {3, "Phone_type_other", "file='power/Phone_type_other.png'"},
}};
constexpr PhoneRow kNoPhone{0, "Phone_type_no_device", "file='power/Phone_type_no_device.png'"};

constexpr int kLowLevel = 15;  // below this the bar turns red
constexpr uint32_t kLevelColour = 0xFF35C759;
constexpr uint32_t kLowLevelColour = 0xFFE5393B;
constexpr const char* kWirelessImage = "file='power/wireless.png'";

}  // namespace

ui::Ctl CMpDevicePowerUI::Find(const char* name) const {
    if (root_ != nullptr && root_->Name() == name) return root_;
    return host_.FindUnder(root_, name);
}

void CMpDevicePowerUI::ShowStatus(const uint8_t* bytes, size_t length) {
    std::array<uint8_t, 64> status{};
    std::copy_n(bytes, std::min(length, status.size()), status.begin());
    ui::Ctl value = Find("device_power_value"), logo = Find("device_wuxian_logo"), bar = Find("device_Power_progress"),
            icon = Find("device_power_status"), phone = Find("device_phone_type");
    if (!value || !logo || !bar || !icon || !phone) return;
    const int level = status[0];
    // The bar holds the part that is used up; its background is the charge left.
    bar.SetValue(100 - level, false);
    bar.SetBkColour(level < kLowLevel ? kLowLevelColour : kLevelColour);
    value.SetText(std::to_string(level) + "%");
    const bool wireless = status[3] != 0;
    if (kind_ == DeviceKind::Keyboard || kind_ == DeviceKind::Mouse) {
        if (wireless) logo.SetBkImage(kWirelessImage);
        logo.SetVisible(wireless);
    }
    switch (status[1]) {
        case 0:
            bar.SetVisible(true);
            icon.SetBkImage("file='power/powered.png'");
            break;
        case 1:
            icon.SetBkImage("file='power/powering.png'");
            bar.SetVisible(!wireless);
            break;
        case 2:
            bar.SetVisible(true);
            icon.SetBkImage("file='power/power.png'");
            break;
        default:
            break;
    }
    if (kind_ != DeviceKind::MousePad) return;
    const PhoneRow* row = &kNoPhone;
    for (const PhoneRow& candidate : kPhones)
        if (candidate.code == status[5]) row = &candidate;
    phone.SetBkImage(row->image);
    if (ui::Control* control = phone.Get()) control->SetToolTip({}, row->textKey);
}

}  // namespace m470
