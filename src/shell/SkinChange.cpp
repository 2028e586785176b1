#include "shell/SkinChange.h"

#include "ui/Ctl.h"

namespace m470 {

bool ApplySkin(ui::ControlHost& host, const SkinChangedParam& param) {
    ui::Ctl root = host.Find("root");
    if (!root) return false;
    root.SetBkColour(param.colourFlag ? param.colour : 0);
    root.SetBkImage(param.colourFlag ? std::string() : param.image);
    return true;
}

}  // namespace m470
