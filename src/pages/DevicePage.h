#pragma once
// One device's page: the panels on its layout (profile strip, lighting,
// the product's own panels), the device picture, and the routes of them all.
// It listens to its device and redraws what changed.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

#include "pages/DevicePicture.h"
#include "pages/LightingPanel.h"
#include "pages/PageContext.h"
#include "pages/PagePanel.h"
#include "pages/ProfileStripPanel.h"

namespace m470 {

class CDevicePage {
public:
    CDevicePage(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* root, PageContext* context);
    ~CDevicePage();
    CDevicePage(const CDevicePage&) = delete;
    CDevicePage& operator=(const CDevicePage&) = delete;

    CVantrelUSBDevice& Device() const { return device_; }
    ui::ControlHost& Host() const { return host_; }
    ui::Control* Root() const { return root_; }
    PageContext* Context() const { return context_; }

    // The panels on "DeviceProfileItem" and "LightControlItem", when the layout has them.
    CProfileStripPanel& AddProfileStrip();
    CLightingPanel& AddLighting();
    // The lighting panel built when its holder first shows with the page, or
    // when a client asks for it (Lighting).
    void AddLightingWhenShown();
    // A product's own panel; the page routes to it and tells it of changes.
    template <class Panel, class... Args>
    Panel& Add(Args&&... args) {
        auto panel = std::make_unique<Panel>(std::forward<Args>(args)...);
        Panel& added = *panel;
        panels_.push_back(std::move(panel));
        if (window_ != nullptr) added.SetWindow(window_);
        return added;
    }
    // A panel on holders whose layouts wait until shown: build (which adds
    // it) runs once their layouts are loaded, when one of them first shows
    // with the page in view (ShowHeld) or a client asks for the panel
    // (PanelOf, Lighting). Until then the page has no such panel.
    template <class Panel>
    void AddWhenShown(std::vector<std::string> holders, std::function<void()> build) {
        held_.push_back({typeid(Panel), std::move(holders), std::move(build)});
    }
    // The page, or a settings page on it, was shown: the panels held on
    // holders that now show with the page (no tab or stack page between
    // hides them) are built; nothing while the page itself is hidden.
    void ShowHeld();
    void SetPicture(DevicePicture picture) { picture_ = std::move(picture); }
    const DevicePicture& Picture() const { return picture_; }
    ui::Ctl Find(const std::string& name) const { return host_.FindUnder(root_, name); }

    // The page's panels in the order they were added; nullptr without them.
    CDeviceProfileUI* ProfileStrip() const { return strip_ != nullptr ? &strip_->Strip() : nullptr; }
    CProfileStripPanel* ProfileStripPanel() const { return strip_; }
    // Built first when still held.
    CLightingPanel* Lighting() { return PanelOf<CLightingPanel>(); }
    // Whether the page has a lighting panel, built or still held: asking builds nothing.
    bool HasLighting() const;
    CLightControlUI* LightPanel() {
        CLightingPanel* lighting = Lighting();
        return lighting != nullptr ? &lighting->Controls() : nullptr;
    }
    // Whether same mode can be offered (two products reachable): kept for a
    // lighting panel still held, so telling it does not build it.
    void SetSameModeAvailable(bool available);
    // A panel still held is built first.
    template <class Panel>
    Panel* PanelOf() {
        BuildHeldWhere([](const HeldPanel& held) { return held.type == typeid(Panel); });
        for (const auto& panel : panels_)
            if (auto* found = dynamic_cast<Panel*>(panel.get())) return found;
        return nullptr;
    }

    // A notification for this page: true when one of its panels took it.
    bool Route(const ui::Notification& n) const;
    // The strip's current profile made the model's (and the page's).
    void ShowChosenProfile();
    // The same, then every setting written: 0, -1 or the surplus macro events.
    int ApplyChosenProfile();
    void ShowOptionTab(int number);
    void RefreshTexts();
    // The window's services for the panels that ask questions or capture input.
    void SetWindow(const PanelWindow* window);
    const PanelWindow* Window() const { return window_; }
    // Captured input for this page while it is shown; a capture ends when
    // another device is chosen or the page goes (a recording is saved).
    void OnCapturedKey(int mode, const CapturedKey& key);
    void OnCapturedButton(int mode, const CapturedButton& button);
    void StopCapture();
    // The function switches of the page for a function kind.
    void ShowFunctionPage(int kind);
    int GetFunctionPage() const { return functionPage_; }

private:
    struct HeldPanel {
        std::type_index type;
        std::vector<std::string> holders;
        std::function<void()> build;
    };

    void OnChange(DeviceChange change);
    // Every held panel that wanted(held) picks.
    template <class Wanted>
    void BuildHeldWhere(Wanted wanted) {
        for (size_t i = 0; i < held_.size();) {
            if (wanted(held_[i])) BuildHeld(i);
            else ++i;
        }
    }
    void BuildHeld(size_t index);
    // Whether control shows when the page does.
    bool ShowsWithPage(const ui::Control* control) const;
    // Panels may be added while the page walks them (a tab shown from a
    // route builds a held one): every walk goes by index.
    template <class Call>
    void ForEachPanel(Call call) const {
        for (size_t i = 0; i < panels_.size(); ++i) call(*panels_[i]);
    }

    CVantrelUSBDevice& device_;
    ui::ControlHost& host_;
    ui::Control* root_;
    PageContext* context_;
    std::vector<std::unique_ptr<CPagePanel>> panels_;
    std::vector<HeldPanel> held_;
    CProfileStripPanel* strip_ = nullptr;
    CLightingPanel* lighting_ = nullptr;
    std::optional<bool> sameModeAvailable_;  // as last told
    DevicePicture picture_;
    LedFrame frame_;  // kept between preview frames
    int listener_ = 0;
    std::weak_ptr<const void> deviceLifetime_;
    int functionPage_ = 1;
    const PanelWindow* window_ = nullptr;
};

}  // namespace m470
