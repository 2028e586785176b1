#pragma once
// The page context the pages are built with when a second party may drive
// them: the window's dialogs normally, and for the length of one command-line
// request that request's own answers (it confirms, names its files and
// collects the messages instead of showing boxes).
#include "pages/PageContext.h"

namespace m470 {

class PageContextSwitch : public PageContext {
public:
    explicit PageContextSwitch(PageContext* base) : base_(base) {}

    // nullptr gives the pages back to the base.
    void Redirect(PageContext* context) { redirected_ = context; }
    PageContext* Current() const { return redirected_ != nullptr ? redirected_ : base_; }

    bool Confirm(const std::string& textKey) override { return Current() != nullptr && Current()->Confirm(textKey); }
    void Notice(const std::string& textKey) override {
        if (Current() != nullptr) Current()->Notice(textKey);
    }
    void NoticeNumber(const std::string& textKey, int number) override {
        if (Current() != nullptr) Current()->NoticeNumber(textKey, number);
    }
    std::optional<std::string> ChooseOpenFile(const std::string& filter) override {
        return Current() != nullptr ? Current()->ChooseOpenFile(filter) : std::nullopt;
    }
    std::optional<std::string> ChooseSaveFile(const std::string& filter) override {
        return Current() != nullptr ? Current()->ChooseSaveFile(filter) : std::nullopt;
    }
    std::optional<std::string> ChooseProgram() override {
        return Current() != nullptr ? Current()->ChooseProgram() : std::nullopt;
    }
    bool Shown(const CVantrelUSBDevice& device) const override { return Current() != nullptr && Current()->Shown(device); }
    void ProfileChosen(CVantrelUSBDevice& device) override {
        if (Current() != nullptr) Current()->ProfileChosen(device);
    }
    void LinksChanged() override {
        if (Current() != nullptr) Current()->LinksChanged();
    }
    void SameMode(CVantrelUSBDevice& device) override {
        if (Current() != nullptr) Current()->SameMode(device);
    }
    void ResetMusicStyles() override {
        if (Current() != nullptr) Current()->ResetMusicStyles();
    }
    std::optional<uint32_t> ChoosePaletteColour(uint32_t argb) override {
        return Current() != nullptr ? Current()->ChoosePaletteColour(argb) : std::nullopt;
    }

private:
    PageContext* base_;
    PageContext* redirected_ = nullptr;
};

}  // namespace m470
