#pragma once
// A profile chosen in a page's strip: two quick choices apply once, the
// later one, to the device whose strip raised it (the window may show
// another page meanwhile). Whoever holds the pages keeps one of these: the
// window settles it when its timer fires, a command-line request at once.
#include <functional>

#include "pages/DevicePage.h"

namespace m470 {

class QuickProfileChoice {
public:
    // How long a choice waits for a later one.
    static constexpr int kSettleMs = 400;
    // The page a device has now; nullptr when it is gone.
    using PageLookup = std::function<CDevicePage*(CVantrelUSBDevice*)>;

    // A later choice replaces an earlier one not yet applied.
    void Chosen(CVantrelUSBDevice& device) { pending_ = &device; }
    bool Pending() const { return pending_ != nullptr; }
    // The choice waiting, if any, applied to its device's page and its
    // write told to report.
    void Settle(const PageLookup& pageOf, PageContext& report);

private:
    CVantrelUSBDevice* pending_ = nullptr;
};

}  // namespace m470
