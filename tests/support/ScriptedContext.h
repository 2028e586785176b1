#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "devices/VantrelUSBDevice.h"
#include "pages/PageContext.h"

namespace m470::test {

// The window's side of a page, scripted: each answer is taken in turn; what
// the page asked is recorded.
class ScriptedContext : public PageContext {
public:
    bool Confirm(const std::string& textKey) override {
        asked.push_back("confirm " + textKey);
        if (onDialog) onDialog();
        return confirm;
    }
    void Notice(const std::string& textKey) override { asked.push_back("notice " + textKey); }
    void NoticeNumber(const std::string& textKey, int number) override {
        asked.push_back("notice " + textKey + " " + std::to_string(number));
    }
    std::optional<std::string> ChooseOpenFile(const std::string&) override {
        asked.push_back("open");
        if (onDialog) onDialog();
        return file;
    }
    std::optional<std::string> ChooseSaveFile(const std::string&) override {
        asked.push_back("save");
        if (onDialog) onDialog();
        return file;
    }
    std::optional<std::string> ChooseProgram() override {
        asked.push_back("program");
        if (onDialog) onDialog();
        return file;
    }
    bool Shown(const CVantrelUSBDevice& device) const override { return shown == &device; }
    void ProfileChosen(CVantrelUSBDevice&) override { asked.push_back("profile chosen"); }
    void SameMode(CVantrelUSBDevice&) override { asked.push_back("same mode"); }
    void LinksChanged() override { ++linksChanged; }

    std::optional<uint32_t> ChoosePaletteColour(uint32_t argb) override {
        asked.push_back("palette " + std::to_string(argb));
        if (onDialog) onDialog();
        return colour;
    }

    bool confirm = true;
    std::optional<std::string> file;
    std::optional<uint32_t> colour;
    const CVantrelUSBDevice* shown = nullptr;
    std::function<void()> onDialog;  // e.g. the page leaves while the dialog is open
    std::vector<std::string> asked;
    int linksChanged = 0;
};

}  // namespace m470::test
