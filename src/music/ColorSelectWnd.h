#pragma once
// The colour palette window over the control tree: the free colour field
// "Pallet", three component edits, 20 preset swatches and 20 collection
// slots; the state and the swatch file are the model's.
#include <functional>
#include <memory>
#include <string>

#include "music/ColourPaletteModel.h"
#include "ui/Control.h"

namespace m470 {

// Results of the window: a colour taken, closed, and "okbtn" without a palette.
inline constexpr int kPaletteTaken = 1;
inline constexpr int kPaletteClosed = 0;
inline constexpr int kPaletteMissing = 2;

class CColorSelectWnd {
public:
    CColorSelectWnd(ui::ControlHost& host, std::string swatchPath, std::string factoryPath,
                    std::function<void(int result)> close);
    ~CColorSelectWnd();

    // The opener's colour, before the window is shown.
    void ShowColour(uint32_t argb);
    // The seven-colour option: never offered by the opener (flag 0 hides it).
    void ShowSevenColour(int flag);
    // "windowinit": the swatch file, the colour, the presets and the collection.
    void WindowInit();
    void Notify(const ui::Notification& n);
    // The colour handed back with result 1.
    uint32_t CurrentColour() const;

private:
    ui::Control* Find(const std::string& name) const { return host_.Find(name); }
    void ShowCurrent(uint32_t argb);
    void ShowComponents(uint32_t argb);
    void ShowSlot(size_t n);
    void ShowAll();

    ui::ControlHost& host_;
    std::string swatchPath_;
    std::string factoryPath_;
    std::function<void(int)> close_;
    std::unique_ptr<ColourPaletteModel> model_;
    uint32_t opening_ = 0xFF000000u;
    uint32_t taken_ = 0;
};

}  // namespace m470
