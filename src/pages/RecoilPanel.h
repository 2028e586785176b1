#pragma once
// The recoil patterns as a panel of the mouse page. Its controls and rules
// are CShootControlUI's; the page gives it the device's folder, the window's
// file choosers and messages, and the device's recoil capability that
// writes the four patterns.
#include "pages/PageContext.h"
#include "pages/PagePanel.h"
#include "recoil/ShootControlUI.h"

namespace m470 {

class CDevicePage;
class RecoilUpload;

class CRecoilPanel : public CPagePanel {
public:
    // The item of the page the panel's layout loads into.
    static constexpr const char* kHolder = "ShootControlItem";

    CRecoilPanel(CDevicePage& page, RecoilUpload& recoil, Translator translate);

    void RefreshTexts() override { shoot_.RefreshTexts(); }
    CShootControlUI& Controls() { return shoot_; }

private:
    // A chooser's answer counts only while the mouse's page is still shown.
    std::string Chosen(std::optional<std::string> path) const;
    void Write();

    CDevicePage& page_;
    RecoilUpload& recoil_;
    CShootControlUI shoot_;
};

}  // namespace m470
