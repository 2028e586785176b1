#include "macros/DeviceHook.h"

#include "keys/KeyTables.h"

namespace m470 {
namespace {

// Lock keys keep working while everything else is captured.
constexpr std::array<uint16_t, 3> kPassedVirtualKeys{0x14, 0x90, 0x91};

bool IsLockKey(const CapturedKey& key) {
    const int row = FindKeyByScanCode(key.scanCode, key.extended);
    if (row < 0) return false;
    const uint16_t virtualKey = kScanCodeTable[static_cast<size_t>(row)].virtualKey;
    for (uint16_t passed : kPassedVirtualKeys)
        if (passed == virtualKey) return true;
    return false;
}

}  // namespace

const std::array<HookModeRow, 9> kHookModes{{
    {hook_mode::kSingleKey, "WM_HOOK_KEY_SINGLEKEY_MSG", nullptr},
    {hook_mode::kHitKey, "WM_HOOK_KEY_HITKEY_MSG", nullptr},
    {hook_mode::kRecord, "WM_HOOK_KEY_KBMACRO_MSG", "WM_HOOK_KEY_MSMACRO_MSG"},
    {hook_mode::kInsertBefore, "WM_HOOK_KEY_KBMACROPREVIOUS_MSG", "WM_HOOK_KEY_MSMACROPREVIOUS_MSG"},
    {hook_mode::kInsertAfter, "WM_HOOK_KEY_KBMACROLATER_MSG", "WM_HOOK_KEY_MSMACROLATER_MSG"},
    {hook_mode::kReplace, "WM_HOOK_KEY_KBMACROSINGLE_MSG", "WM_HOOK_KEY_MSMACROSINGLE_MSG"},
    {hook_mode::kMouseSingleKey, "WM_HOOK_MOU_SINGLEKEY_MSG", nullptr},
    {hook_mode::kMouseHitKey, "WM_HOOK_MOU_HITKEY_MSG", nullptr},
    {hook_mode::kMouseRecord, "WM_HOOK_MOU_KBMACRO_MSG", nullptr},
}};

void CDeviceHook::SetInput(HookInput* input) {
    RemoveHooks();
    input_ = input;
}

bool CDeviceHook::SetHookMode(int value, int mode, bool keyboard, bool library) {
    RemoveHooks();
    if (keyboard) {
        if (input_ == nullptr || !input_->InstallKeyboard()) return false;
        keyboard_ = true;
    }
    if (library && input_ != nullptr) {
        input_->InstallMouse(mode);
        library_ = true;
    }
    value_ = value;
    mode_ = mode;
    return true;
}

void CDeviceHook::RemoveHooks() {
    if (keyboard_ && input_ != nullptr) input_->RemoveKeyboard();
    if (library_ && input_ != nullptr) input_->RemoveMouse();
    keyboard_ = false;
    library_ = false;
    mode_ = hook_mode::kNone;
}

void CDeviceHook::OnKeyMessage(const std::string& message, KeyHandler handler) { keyHandlers_[message] = std::move(handler); }

void CDeviceHook::OnButtonMessage(const std::string& message, ButtonHandler handler) {
    buttonHandlers_[message] = std::move(handler);
}

const HookModeRow* CDeviceHook::Row() const {
    for (const HookModeRow& row : kHookModes)
        if (row.mode == mode_) return &row;
    return nullptr;
}

bool CDeviceHook::DeliverKey(const CapturedKey& key) {
    if (!keyboard_) return false;
    if (const HookModeRow* row = Row()) {
        const auto handler = keyHandlers_.find(row->keyMessage);
        // A copy: the handler may change the mode (and so this map's use).
        if (handler != keyHandlers_.end() && handler->second) KeyHandler(handler->second)(key);
    }
    return !IsLockKey(key);
}

bool CDeviceHook::DeliverButton(const CapturedButton& button) {
    if (!library_) return false;
    const HookModeRow* row = Row();
    if (row == nullptr || row->mouseMessage == nullptr) return false;
    const auto handler = buttonHandlers_.find(row->mouseMessage);
    if (handler != buttonHandlers_.end() && handler->second) ButtonHandler(handler->second)(button);
    return !(passArea_ && passArea_().Contains(button.x, button.y));
}

}  // namespace m470
