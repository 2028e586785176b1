#pragma once
// A device object on its page in the in-memory control tree, attached to
// virtual products, with its data folders in a fresh temporary folder.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "pages/PageBuilder.h"
#include "platform/Folders.h"
#include "ui/MemoryControlTree.h"
#include "support/TempFolder.h"
#include "support/VirtualRig.h"

namespace m470::test {

class VirtualPageTest : public ::testing::Test {
protected:
    // Loads skin/layout and builds a Device and its page on it; the test owns
    // the device and resets it in TearDown, before the rig and the tree go.
    template <class Device>
    std::unique_ptr<Device> MakeDevice(const std::string& layout) {
        page = host.LoadLayout(GetInstallFolder() + "skin/" + layout);
        EXPECT_NE(page, nullptr) << layout;
        auto device = std::make_unique<Device>(rig.hub.Backend());
        devicePage = CPageBuilder::MakePage(*device, host, page, context);
        devicePage->Lighting();  // the tests edit the lighting as once its tab has shown
        return device;
    }

    TempFolder folder;
    VirtualRig rig;
    ui::MemoryControlHost host;
    ui::MemoryControl* page = nullptr;
    PageContext* context = nullptr;  // no window: dialogs are not asked
    std::unique_ptr<CDevicePage> devicePage;
};

}  // namespace m470::test
