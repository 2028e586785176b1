#include "pages/DevicePicture.h"

#include "platform/JsonFile.h"

namespace m470 {

void DevicePicture::Show(const LedFrame& frame) const {
    for (size_t i = 0; i < leds.size() && i < frame.size(); ++i) {
        const LedEntry& led = frame[i];
        leds[i].SetLight(led.red | led.green << 8 | led.blue << 16, led.level, true);
    }
}

DevicePicture FindMousePicture(ui::ControlHost& host, ui::Control* page, size_t keys, size_t leds) {
    DevicePicture found;
    found.keys.assign(keys, nullptr);
    found.leds.assign(leds, nullptr);
    if (page == nullptr) return found;
    ui::Control* picture = nullptr;
    for (ui::Control* root : {host.FindUnder(page, "mouse_device_seting_layout"), page}) {
        std::vector<ui::Control*> pending{root};
        while (picture == nullptr && !pending.empty()) {
            ui::Control* control = pending.back();
            pending.pop_back();
            if (control == nullptr) continue;
            if (control->Type() == ui::ControlType::SelectPanel) picture = control;
            for (ui::Control* child : control->Children()) pending.insert(pending.begin(), child);
        }
        if (picture != nullptr) break;
    }
    if (picture == nullptr) return found;
    for (ui::Control* child : picture->Children()) {
        if (child->Type() != ui::ControlType::KeyButton) continue;
        if (child->Name() == "logo") {
            found.logo = child;
            continue;
        }
        for (const std::string& label : {child->Name(), child->UserData()}) {
            std::string prefix;
            int number = 0;
            if (!SplitIndexedName(label, prefix, number) || number < 0) continue;
            const auto n = static_cast<size_t>(number);
            if (label.rfind("light_0_", 0) == 0) {
                if (n < found.leds.size()) found.leds[n] = child;
                else found.leds.push_back(child);
            } else if (prefix == "key_" && n < found.keys.size()) {
                found.keys[n] = child;
            } else if (prefix == "light_" && n < found.leds.size()) {
                found.leds[n] = child;
            } else {
                continue;
            }
            break;
        }
    }
    return found;
}

DevicePicture FindPadPicture(ui::ControlHost& host, ui::Control* page, size_t leds, const char* pictureName) {
    DevicePicture found;
    found.leds.assign(leds, nullptr);
    ui::Control* picture = page != nullptr ? host.FindUnder(page, pictureName) : nullptr;
    if (picture == nullptr) return found;
    for (ui::Control* child : picture->Children()) {
        if (child->Type() != ui::ControlType::KeyButton) continue;
        std::string prefix;
        int number = 0;
        if (!SplitIndexedName(child->Name(), prefix, number) || number < 0) continue;
        if (prefix == "light_" && static_cast<size_t>(number) < found.leds.size()) found.leds[static_cast<size_t>(number)] = child;
        if (prefix == "key_") found.keys.push_back(child);
    }
    return found;
}

DevicePicture FindNumberedPicture(ui::ControlHost& host, ui::Control* page, const char* pictureName, size_t keys,
                                  size_t leds) {
    DevicePicture found;
    found.keys.assign(keys, nullptr);
    found.leds.assign(leds, nullptr);
    ui::Control* picture = page != nullptr ? host.FindUnder(page, pictureName) : nullptr;
    if (picture == nullptr) return found;
    for (ui::Control* child : picture->Children()) {
        std::string prefix;
        int number = 0;
        if (child->Type() != ui::ControlType::KeyButton || !SplitIndexedName(child->Name(), prefix, number) || number < 0)
            continue;
        const auto n = static_cast<size_t>(number);
        if (prefix == "key_" && n < found.keys.size()) found.keys[n] = child;
        if (prefix == "light_" && n < found.leds.size()) found.leds[n] = child;
    }
    return found;
}

DevicePicture FindPlainPicture(ui::Control* page) {
    DevicePicture found;
    if (page == nullptr) return found;
    for (ui::Control* control : page->Children()) {
        if (control->Type() != ui::ControlType::SelectPanel) continue;
        for (ui::Control* child : control->Children())
            if (child->Type() == ui::ControlType::KeyButton) found.keys.push_back(child);
        break;
    }
    return found;
}

}  // namespace m470
