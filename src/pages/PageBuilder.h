#pragma once
// Builds each device's page on the layout loaded for it, from its product's
// kind: the picture, the profile strip, the product's own panels and the
// lighting panel. Keeps the pages for the window, which routes to them.
#include <memory>
#include <vector>

#include "pages/DevicePage.h"

namespace m470 {

class CPageBuilder {
public:
    explicit CPageBuilder(PageContext* context = nullptr) : context_(context) {}

    CDevicePage& Build(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* root);
    // A page built the same way and kept by the caller.
    static std::unique_ptr<CDevicePage> MakePage(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* root,
                                                 PageContext* context);
    CDevicePage* PageOf(const CVantrelUSBDevice* device) const;
    const std::vector<std::unique_ptr<CDevicePage>>& Pages() const { return pages_; }
    void RefreshTexts();

private:
    PageContext* context_;
    std::vector<std::unique_ptr<CDevicePage>> pages_;
};

}  // namespace m470
