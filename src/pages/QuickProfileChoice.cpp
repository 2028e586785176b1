#include "pages/QuickProfileChoice.h"

#include <utility>

namespace m470 {

void QuickProfileChoice::Settle(const PageLookup& pageOf, PageContext& report) {
    CVantrelUSBDevice* device = std::exchange(pending_, nullptr);
    CDevicePage* page = device != nullptr ? pageOf(device) : nullptr;
    if (page != nullptr && page->ProfileStrip() != nullptr) ReportWrite(report, page->ApplyChosenProfile());
}

}  // namespace m470
