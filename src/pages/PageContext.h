#pragma once
// What a device page needs of the window it sits in: its dialogs, whether
// the page is still the one shown after a dialog, and the window-wide
// operations a page control starts.
#include <cstdint>
#include <optional>
#include <string>

namespace m470 {

class CVantrelUSBDevice;

class PageContext {
public:
    virtual ~PageContext() = default;
    // A question with confirm and cancel: true when confirmed.
    virtual bool Confirm(const std::string& textKey) = 0;
    virtual void Notice(const std::string& textKey) = 0;
    // The language text of textKey with the number put in its place.
    virtual void NoticeNumber(const std::string& textKey, int number) = 0;
    virtual std::optional<std::string> ChooseOpenFile(const std::string& filter) = 0;
    virtual std::optional<std::string> ChooseSaveFile(const std::string& filter) = 0;
    // A program to link a profile to: a chosen executable's path, or a name typed.
    virtual std::optional<std::string> ChooseProgram() { return ChooseOpenFile("Programs(*)"); }
    // Whether the device's page is still the one shown.
    virtual bool Shown(const CVantrelUSBDevice& device) const = 0;
    // A profile was chosen in the strip's list: applied a little later.
    virtual void ProfileChosen(CVantrelUSBDevice& device) = 0;
    // A profile was linked to a program or unlinked: the looks at running
    // programs may have something to switch now, or nothing any more.
    virtual void LinksChanged() {}
    // "Apply to all devices" with this device's effect.
    virtual void SameMode(CVantrelUSBDevice& device) = 0;
    // A confirmed reset puts the factory music styles back too.
    virtual void ResetMusicStyles() {}
    // The palette window, opened on an 0xAARRGGBB colour: the chosen one, or
    // nothing when closed.
    virtual std::optional<uint32_t> ChoosePaletteColour(uint32_t argb) { (void)argb; return std::nullopt; }
};

// A write's result told to the user: 0 fine, -1 the write failed
// ("message_text_7"), else the macro events that did not fit ("message_text_16").
void ReportWrite(PageContext& context, int result);

}  // namespace m470
