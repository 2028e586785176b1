#include "pages/RecoilPanel.h"

#include "device_link/HidTransport.h"
#include "devices/RecoilUpload.h"
#include "pages/DevicePage.h"
#include "platform/Folders.h"

namespace m470 {

CRecoilPanel::CRecoilPanel(CDevicePage& page, RecoilUpload& recoil, Translator translate)
    : page_(page), recoil_(recoil), shoot_(page.Host(), page.Find(kHolder).Get(), std::move(translate)) {
    shoot_.SetDataFolder(page.Device().DataFolder());
    shoot_.SetDefaultFolder(GetDefaultDataFolder());
    ShootWindow window;
    if (PageContext* context = page.Context()) {
        window.chooseOpenFile = [this, context](const std::string& filter) { return Chosen(context->ChooseOpenFile(filter)); };
        window.chooseSaveFile = [this, context](const std::string& filter) { return Chosen(context->ChooseSaveFile(filter)); };
        window.notice = [context](const std::string& key) { context->Notice(key); };
    }
    window.writePatterns = [this] { Write(); };
    shoot_.SetWindow(std::move(window));
    routes_.Append(shoot_.Routes());
    shoot_.InitPanel();
    shoot_.SelectPattern(0);
    shoot_.SelectBullet(0);
}

std::string CRecoilPanel::Chosen(std::optional<std::string> path) const {
    if (!path || page_.Context() == nullptr || !page_.Context()->Shown(page_.Device())) return {};
    return *path;
}

// Patterns too long for one image are the user's to shorten, not a device fault.
void CRecoilPanel::Write() {
    const int result = recoil_.WriteRecoilPatterns();
    if (page_.Context() == nullptr) return;
    if (result == kResultTooLarge) page_.Context()->Notice("recoil_image_too_large_text");
    else ReportWrite(*page_.Context(), result == kResultSuccess ? 0 : -1);
}

}  // namespace m470
