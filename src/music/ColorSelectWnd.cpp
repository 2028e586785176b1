#include "music/ColorSelectWnd.h"

#include <algorithm>

#include "platform/JsonFile.h"
#include "ui/Ctl.h"

namespace m470 {
namespace {

constexpr const char* kPalette = "Pallet";
constexpr const char* kShowButton = "color_show_btn";
constexpr std::array<const char*, 3> kEdits{"color_edit_r", "color_edit_g", "color_edit_b"};
constexpr const char* kPreset = "color_option_";          // + 0 … 19
constexpr const char* kSlot = "collect_color_option_";    // + 0 … 19
constexpr const char* kSevenColour = "7color";
constexpr const char* kSevenColourLayout = "7color_layout";
constexpr const char* kSevenColourImage = "common/base1.png";

std::string Numbered(const char* prefix, size_t n) { return prefix + std::to_string(n); }

// The swatch n a control of prefix + n stands for, or -1.
int SwatchOf(const std::string& name, const char* prefix) {
    std::string found;
    int n = 0;
    if (!SplitIndexedName(name, found, n) || found != prefix) return -1;
    return n >= 0 && n < static_cast<int>(kPaletteSlots) && name == Numbered(prefix, static_cast<size_t>(n)) ? n : -1;
}

}  // namespace

CColorSelectWnd::CColorSelectWnd(ui::ControlHost& host, std::string swatchPath, std::string factoryPath,
                                 std::function<void(int)> close)
    : host_(host), swatchPath_(std::move(swatchPath)), factoryPath_(std::move(factoryPath)), close_(std::move(close)) {}

CColorSelectWnd::~CColorSelectWnd() = default;

void CColorSelectWnd::ShowColour(uint32_t argb) {
    opening_ = argb;
    if (model_) {
        model_->ShowColour(argb);
        ShowCurrent(argb);
    }
}

void CColorSelectWnd::ShowSevenColour(int flag) {
    ui::Ctl option(Find(kSevenColour));
    option.SetEnabled(flag != 0);
    ui::Ctl(Find(kSevenColourLayout)).SetVisible(flag != 0);
    if (flag == 0) option.SetSelected(false, false);
}

uint32_t CColorSelectWnd::CurrentColour() const { return taken_; }

void CColorSelectWnd::ShowComponents(uint32_t argb) {
    for (size_t c = 0; c < kEdits.size(); ++c)
        ui::Ctl(Find(kEdits[c])).SetText(std::to_string((argb >> (16 - 8 * c)) & 0xFF));
}

// The shown colour on the preview, the palette's mark and the edits.
void CColorSelectWnd::ShowCurrent(uint32_t argb) {
    ui::Ctl show(Find(kShowButton));
    show.SetBkImage("");
    show.SetBkColour(argb);
    ui::Ctl(Find(kPalette)).SetBkColour(argb);
    ShowComponents(argb);
}

void CColorSelectWnd::ShowSlot(size_t n) {
    ui::Ctl slot(Find(Numbered(kSlot, n)));
    const CollectionSlot& stored = model_->Slots()[n];
    slot.SetBkColour(stored.Filled() ? stored.colour : kEmptySlotColour);
    slot.SetUserData(stored.userData);
}

void CColorSelectWnd::ShowAll() {
    for (size_t n = 0; n < kPaletteSlots; ++n) ShowSlot(n);
    const int selected = model_->SelectedSlot();
    for (size_t n = 0; n < kPaletteSlots; ++n)
        ui::Ctl(Find(Numbered(kSlot, n))).SetSelected(static_cast<int>(n) == selected, false);
}

void CColorSelectWnd::WindowInit() {
    std::array<uint32_t, kPaletteSlots> presets{};
    for (size_t n = 0; n < kPaletteSlots; ++n) presets[n] = ui::Ctl(Find(Numbered(kPreset, n))).BkColour();
    model_ = std::make_unique<ColourPaletteModel>(swatchPath_, factoryPath_, presets);
    model_->ShowColour(opening_);
    model_->SetUp();
    ShowCurrent(model_->Current());
    ui::Ctl(Find(kShowButton)).SetBkImage("");
    ShowAll();
}

void CColorSelectWnd::Notify(const ui::Notification& n) {
    if (!model_) return;
    ui::Ctl sender(n.sender);
    if (n.event == "selectchanged") {
        if (const int preset = SwatchOf(n.senderName, kPreset); preset >= 0 && sender.Selected()) {
            model_->SelectPreset(preset);
        } else if (const int slot = SwatchOf(n.senderName, kSlot); slot >= 0 && sender.Selected()) {
            if (!model_->SelectCollection(slot)) return;  // empty: only the target of the next colour
        } else if (n.senderName == kSevenColour) {
            ui::Ctl(Find(kShowButton)).SetBkImage(sender.Selected() ? kSevenColourImage : "");
            return;
        } else {
            return;
        }
    } else if (n.event == "colorchanged" && n.senderName == kPalette) {
        model_->PaletteChanged(sender.BkColour());
    } else if (n.event == "killfocus" && std::find(kEdits.begin(), kEdits.end(), n.senderName) != kEdits.end()) {
        const auto edited = model_->EditsLeft(ui::Ctl(Find(kEdits[0])).Text(), ui::Ctl(Find(kEdits[1])).Text(),
                                              ui::Ctl(Find(kEdits[2])).Text());
        for (size_t c = 0; c < kEdits.size(); ++c) ui::Ctl(Find(kEdits[c])).SetText(edited.shown[c]);
    } else if (n.event == "click") {
        if (n.senderName == "okbtn") {
            const bool palette = Find(kPalette) != nullptr;
            if (palette) taken_ = model_->Ok();
            close_(palette ? kPaletteTaken : kPaletteMissing);
        } else if (n.senderName == "closebtn" || n.senderName == "laterbtn") {
            close_(kPaletteClosed);
        }
        return;
    } else {
        return;
    }
    // What the change made of the preview, the palette, the edits and the slot that took it.
    ShowCurrent(model_->Shown());
    if (const int slot = model_->SelectedSlot(); slot >= 0) ShowSlot(static_cast<size_t>(slot));
}

}  // namespace m470
