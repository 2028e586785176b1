#pragma once
// The power state of a wireless product beside its selector entry: level as
// number and bar, charging/powered/battery icon, wireless logo, and for the
// mousepad the phone lying on it.
#include <array>
#include <cstdint>

#include "device_link/KnownInterface.h"
#include "ui/Ctl.h"

namespace m470 {

class CMpDevicePowerUI {
public:
    CMpDevicePowerUI(ui::ControlHost& host, ui::Control* root) : host_(host), root_(root) {}
    void SetKind(DeviceKind kind, int value) {
        kind_ = kind;
        value_ = value;
    }
    DeviceKind Kind() const { return kind_; }
    void ShowPanel(bool shown) { Find("device_power_Layout").SetVisible(shown); }
    // At most 64 bytes are taken; shorter input counts as zeros.
    void ShowStatus(const uint8_t* bytes, size_t length);
    ui::Control* Root() const { return root_; }

private:
    ui::Ctl Find(const char* name) const;
    ui::ControlHost& host_;
    ui::Control* root_;
    DeviceKind kind_ = DeviceKind::Mouse;
    int value_ = 0;
};

}  // namespace m470
