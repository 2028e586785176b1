#include "pages/PageBuilder.h"

#include <array>

#include "devices/MouseDevice.h"
#include "devices/keyboard/KeyboardDevice.h"
#include "pages/HeadsetAudioPanel.h"
#include "pages/KeyMacroPanels.h"
#include "pages/KeyboardPanel.h"
#include "pages/MouseSettingsPanel.h"
#include "pages/RecoilPanel.h"

namespace m470 {
namespace {

// The key assignment and macro panels of a device with programmable keys,
// on a page laid out for them: built when the buttons or the macros tab
// first shows, as few users open them and they are the largest part of a page.
bool AddKeyPanels(CDevicePage& page) {
    KeyAssignmentModel* keys = page.Device().Capabilities().keys;
    if (keys == nullptr || !CKeyMacroPanels::OnLayout(page)) return false;
    page.AddWhenShown<CKeyMacroPanels>(CKeyMacroPanels::Holders(),
                                       [&page, keys] { page.Add<CKeyMacroPanels>(page, *keys).Reload(); });
    return true;
}

void AddRecoilPanel(CDevicePage& page) {
    const DeviceCapabilities& caps = page.Device().Capabilities();
    if (caps.recoil == nullptr || caps.keys == nullptr || !page.Find(CRecoilPanel::kHolder)) return;
    page.AddWhenShown<CRecoilPanel>({CRecoilPanel::kHolder}, [&page, recoil = caps.recoil, keys = caps.keys] {
        page.Add<CRecoilPanel>(page, *recoil, keys->Translation());
    });
}

void BuildMousePage(CDevicePage& page) {
    CVantrelUSBDevice& mouse = page.Device();
    const DeviceCapabilities& caps = mouse.Capabilities();
    page.SetPicture(FindMousePicture(page.Host(), page.Root(), kMouseButtons, mouse.LedCount()));
    CProfileStripPanel& strip = page.AddProfileStrip();
    CMouseSettingsPanel* settings = nullptr;
    if (CMouseSettingsPanel::Fits(caps)) {
        settings = &page.Add<CMouseSettingsPanel>(mouse, page.Host(), page.Root(), page.Picture(), &strip.Strip(), page.Context());
        settings->SetFunctionPageSwitch([&page](int kind) { page.ShowFunctionPage(kind); });
        settings->SetPageShown([&page] { page.ShowHeld(); });
    }
    page.AddLightingWhenShown();
    AddKeyPanels(page);
    AddRecoilPanel(page);
    if (settings != nullptr) settings->ShowSettingsPage(0);
}

void BuildPadPage(CDevicePage& page) {
    page.SetPicture(FindPadPicture(page.Host(), page.Root(), page.Device().LedCount()));
    page.AddProfileStrip();
    page.AddLightingWhenShown();
}

void BuildHeadsetPage(CDevicePage& page) {
    HeadsetAudioControls* audio = page.Device().Capabilities().headsetAudio;
    page.SetPicture(FindPadPicture(page.Host(), page.Root(), page.Device().LedCount(), "hs6533_device_key_light"));
    for (const ui::Ctl& led : page.Picture().leds) led.SetLight(0xFFFFFF, 255, true);  // white until the first frame
    if (!page.Find("hs6533_device_key_light")) return;
    page.AddProfileStrip();
    page.AddLightingWhenShown();
    if (audio != nullptr) {
        page.Add<CHeadsetAudioPanel>(*audio, page.Host(), page.Root());
        audio->StartAudio();
    }
    page.ShowOptionTab(1);
}

void BuildKeyboardPage(CDevicePage& page) {
    page.SetPicture(FindNumberedPicture(page.Host(), page.Root(), "keyboard_device_key_light", kLogicalKeyCount,
                                        kLogicalKeyCount));
    CProfileStripPanel& strip = page.AddProfileStrip();
    page.AddLightingWhenShown();
    if (!CKeyboardPanel::Fits(page.Device().Capabilities())) {
        AddKeyPanels(page);
        return;
    }
    CKeyboardPanel& panel = page.Add<CKeyboardPanel>(page.Device(), page.Host(), page.Root(), page.Picture(),
                                                     &strip.Strip(), page.Context());
    panel.SetFunctionPages([&page](int kind) { page.ShowFunctionPage(kind); }, [&page] { return page.GetFunctionPage(); });
    panel.SetPageShown([&page] { page.ShowHeld(); });
    // After the keyboard's panel: a key clicked while keys are assigned is left to them.
    if (!AddKeyPanels(page)) panel.HideKeyTabs();
    panel.ShowSettingsPage(0);
}

// A kind without a page of its own yet: its picture's key buttons only.
void BuildPlainPage(CDevicePage& page) { page.SetPicture(FindPlainPicture(page.Root())); }

// The page of each device class, by the kind its product row names.
struct PageRow {
    DeviceKind kind;
    void (*build)(CDevicePage&);
};
constexpr std::array<PageRow, 6> kPages{{
    {DeviceKind::Mouse, BuildMousePage},
    {DeviceKind::MouseReceiver, BuildMousePage},
    {DeviceKind::MousePad, BuildPadPage},
    {DeviceKind::Headset, BuildHeadsetPage},
    {DeviceKind::Keyboard, BuildKeyboardPage},
    {DeviceKind::KeyboardReceiver, BuildKeyboardPage},
}};

}  // namespace

std::unique_ptr<CDevicePage> CPageBuilder::MakePage(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* root,
                                                    PageContext* context) {
    auto page = std::make_unique<CDevicePage>(device, host, root, context);
    void (*build)(CDevicePage&) = BuildPlainPage;
    for (const PageRow& row : kPages)
        if (row.kind == device.Kind()) build = row.build;
    // Only a page laid out for it gets the product's panels.
    if (root != nullptr) build(*page);
    return page;
}

CDevicePage& CPageBuilder::Build(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* root) {
    pages_.push_back(MakePage(device, host, root, context_));
    return *pages_.back();
}

CDevicePage* CPageBuilder::PageOf(const CVantrelUSBDevice* device) const {
    for (const auto& page : pages_)
        if (&page->Device() == device) return page.get();
    return nullptr;
}

void CPageBuilder::RefreshTexts() {
    for (const auto& page : pages_) page->RefreshTexts();
}

}  // namespace m470
