#pragma once
// The selector of the in-memory main window: entries and layouts loaded from
// the skin beside the tests, pages built by the test's page builder.
#include <memory>

#include "pages/DeviceSelector.h"
#include "pages/PageBuilder.h"
#include "platform/Folders.h"

namespace m470::test {

// pages is read when a device arrives, so the test may reset it first.
inline std::unique_ptr<CDeviceSelector> MakeSelector(ui::ControlHost& host, ui::MessageChannel& owner,
                                                     std::unique_ptr<CPageBuilder>& pages) {
    DeviceSelectorUi entries;
    entries.host = &host;
    entries.skinFolder = GetInstallFolder() + "skin/";
    entries.owner = &owner;
    entries.buildPage = [&pages](CVantrelUSBDevice& device, ui::ControlHost& tree, ui::Control* root) {
        if (pages) pages->Build(device, tree, root);
    };
    return std::make_unique<CDeviceSelector>(std::move(entries));
}

}  // namespace m470::test
