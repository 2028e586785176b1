#pragma once
// The music window: four colour styles, each a name and a colour of three
// components 0-9, one of them selected. Works on a copy of the styles; the
// opener takes them back when the window closes with 1.
#include <functional>

#include "music/MusicStyles.h"
#include "platform/Translator.h"
#include "ui/Control.h"

namespace m470 {

inline constexpr const char* kMusicControlMissing = "GetAudioLightInfo control is NULL";

class MusicWnd {
public:
    // translate gives the factory styles' names in the window's language;
    // without it they show as the file holds them.
    MusicWnd(ui::ControlHost& host, MusicStyles styles, std::function<void(int result)> close, Translator translate = {});

    // "windowinit": ranges, the selected style, its colour and the names.
    void WindowInit();
    void Notify(const ui::Notification& n);
    const MusicStyles& Styles() const { return styles_; }

private:
    ui::Control* Find(const std::string& name) const;
    void ShowStyleColour();
    void ShowComponent(size_t component, int value) const;
    // A factory style's name as the window shows it; other names as they are.
    std::string ShownName(size_t style) const;
    // The first selected of the four style options, 0 when none is.
    size_t SelectedStyle() const;

    ui::ControlHost& host_;
    MusicStyles styles_;
    std::function<void(int)> close_;
    Translator translate_;
};

}  // namespace m470
