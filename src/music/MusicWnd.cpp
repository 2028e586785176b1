#include "music/MusicWnd.h"

#include <algorithm>
#include <string_view>

#include "platform/DebugTrace.h"
#include "ui/Ctl.h"

namespace m470 {
namespace {

constexpr std::array<const char*, 3> kSliders{"audio_r_slider", "audio_g_slider", "audio_b_slider"};
constexpr std::array<const char*, 3> kValueLabels{"audio_r_value", "audio_g_value", "audio_b_value"};
constexpr const char* kFactoryName = "music_factory_style_";  // + 1 … 4
constexpr const char* kStyleOption = "audio_select_tab";  // + 1 … 4
constexpr const char* kNameEdit = "audio_edit_name";      // + 1 … 4

std::string Numbered(const char* prefix, size_t number) { return prefix + std::to_string(number); }

// The style 0-3 a control named prefix + 1 … 4 stands for, or -1.
int StyleOf(const std::string& name, const char* prefix) {
    const std::string_view text(name);
    const size_t length = std::char_traits<char>::length(prefix);
    if (text.size() != length + 1 || text.substr(0, length) != prefix) return -1;
    const int style = text[length] - '1';
    return style >= 0 && style < static_cast<int>(kMusicStyleCount) ? style : -1;
}

}  // namespace

MusicWnd::MusicWnd(ui::ControlHost& host, MusicStyles styles, std::function<void(int)> close, Translator translate)
    : host_(host), styles_(std::move(styles)), close_(std::move(close)), translate_(std::move(translate)) {
    styles_.style = static_cast<uint8_t>(std::min<size_t>(styles_.style, kMusicStyleCount - 1));
}

ui::Control* MusicWnd::Find(const std::string& name) const {
    ui::Control* control = host_.Find(name);
    if (control == nullptr) DebugTrace::Write(std::string(kMusicControlMissing) + " (" + name + ")");
    return control;
}

void MusicWnd::WindowInit() {
    for (const char* slider : kSliders) ui::Ctl(Find(slider)).SetRange(0, kMaxStyleComponent);
    ui::Ctl(Find(Numbered(kStyleOption, styles_.style + 1u))).SetSelected(true, false);
    ShowStyleColour();
    for (size_t s = 0; s < kMusicStyleCount; ++s) ui::Ctl(host_.Find(Numbered(kNameEdit, s + 1))).SetText(ShownName(s));
}

std::string MusicWnd::ShownName(size_t style) const {
    if (!translate_ || styles_.names[style] != DefaultStyleName(style)) return styles_.names[style];
    return translate_(Numbered(kFactoryName, style + 1));
}

void MusicWnd::ShowStyleColour() {
    const auto& colour = styles_.colours[styles_.style];
    for (size_t c = 0; c < kSliders.size(); ++c) {
        ui::Ctl(Find(kSliders[c])).SetValue(colour[c], false);
        ShowComponent(c, colour[c]);
    }
}

void MusicWnd::ShowComponent(size_t component, int value) const {
    ui::Ctl(host_.Find(kValueLabels[component])).SetText(std::to_string(value));
}

size_t MusicWnd::SelectedStyle() const {
    for (size_t s = 0; s < kMusicStyleCount; ++s)
        if (ui::Ctl(Find(Numbered(kStyleOption, s + 1))).Selected()) return s;
    return 0;
}

void MusicWnd::Notify(const ui::Notification& n) {
    if (n.event == "selectchanged" && StyleOf(n.senderName, kStyleOption) >= 0) {
        const int style = StyleOf(n.senderName, kStyleOption);
        if (!ui::Ctl(n.sender).Selected()) return;  // the option that lost the selection
        styles_.style = static_cast<uint8_t>(style);
        ShowStyleColour();
        return;
    }
    if (n.event == "valuechanged" || n.event == "movevaluechanged") {
        const auto slider = std::find(kSliders.begin(), kSliders.end(), n.senderName);
        if (slider == kSliders.end()) return;
        const int value = std::clamp(ui::Ctl(n.sender).Value(), 0, static_cast<int>(kMaxStyleComponent));
        const auto component = static_cast<size_t>(slider - kSliders.begin());
        styles_.colours[SelectedStyle()][component] = static_cast<uint8_t>(value);
        ShowComponent(component, value);
        return;
    }
    if (n.event == "killfocus" && StyleOf(n.senderName, kNameEdit) >= 0) {
        const int style = StyleOf(n.senderName, kNameEdit);
        const auto index = static_cast<size_t>(style);
        const std::string typed = ui::Ctl(n.sender).Text();
        // An emptied name is the factory one again; a factory name left as
        // shown keeps the file's own.
        if (typed.empty() || typed == ShownName(index)) {
            if (typed.empty()) styles_.names[index] = DefaultStyleName(index);
            ui::Ctl(n.sender).SetText(ShownName(index));
            return;
        }
        styles_.names[index] = typed;
        return;
    }
    if (n.event == "click" && n.senderName == "okbtn") close_(1);
    if (n.event == "click" && n.senderName == "closebtn") close_(0);
}

}  // namespace m470
