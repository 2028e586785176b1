#pragma once
// The mouse's page read from the virtual mouse, with a scripted window that
// shows it; the traffic of the read is cleared.
#include <memory>

#include "devices/MouseDevice.h"
#include "support/ScriptedContext.h"
#include "support/VirtualPage.h"

namespace m470::test {

class VirtualMousePageTest : public VirtualPageTest {
protected:
    void SetUp() override {
        context = &window;
        mouse = MakeDevice<CVantrelMouseDevice>("mousedevice.ui");
        mouse->SetUiInvoker(invoker);
        window.shown = mouse.get();
        rig.hub.Plug("mouse");
        rig.Open(mouse->Transport(), "mouse", LinkWired);
        ASSERT_EQ(mouse->ReadFromDevice(), kResultSuccess);
        mouse->StopLightingThread();
        rig.hub.Traffic().Clear();
    }
    void TearDown() override {
        devicePage.reset();
        mouse.reset();
    }

    ScriptedContext window;
    CVantrelUSBDevice::UiInvoker invoker;  // none: work meant for the UI thread runs at once
    std::unique_ptr<CVantrelMouseDevice> mouse;
};

}  // namespace m470::test
