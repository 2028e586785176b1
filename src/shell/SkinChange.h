#pragma once
// The background the user chose for the main window, as the chooser hands
// it over: a plain colour, or a picture (a name inside the skin folder, or
// a file of the user's own).
#include <cstdint>
#include <string>

#include "ui/Control.h"

namespace m470 {

struct SkinChangedParam {
    bool colourFlag = false;
    uint32_t colour = 0;  // 0xAARRGGBB when colourFlag
    std::string image;
};

// The record of the last picture chosen ("main.ini" in the application data folder).
inline constexpr const char* kSkinIniFile = "main.ini";
inline constexpr const char* kSkinIniSection = "SKINIMAGE";
inline constexpr const char* kDefaultSkinImage = "common/background.png";

// On the window's "root": a colour clears the picture, a picture clears the
// colour. Nothing without a "root". True when it was applied.
bool ApplySkin(ui::ControlHost& host, const SkinChangedParam& param);

}  // namespace m470
