#pragma once
// The owner of input capture. While a hook mode is set, the window's input
// filter hands every key (and, for the recording modes, every mouse button)
// to Deliver*, which calls the handler of the mode's message synchronously on
// the UI thread and says whether the event is withheld from the window.
// Capture is in-window only: nothing is taken from other programs.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace m470 {

namespace hook_mode {
inline constexpr int kNone = 0;
inline constexpr int kSingleKey = 1;
inline constexpr int kHitKey = 2;
inline constexpr int kRecord = 4;
inline constexpr int kInsertBefore = 8;
inline constexpr int kInsertAfter = 16;
inline constexpr int kReplace = 32;
inline constexpr int kMouseSingleKey = 256;
inline constexpr int kMouseHitKey = 512;
inline constexpr int kMouseRecord = 1024;
}  // namespace hook_mode

struct HookModeRow {
    int mode;
    const char* keyMessage;
    const char* mouseMessage;  // nullptr: the mode takes no mouse buttons
};
extern const std::array<HookModeRow, 9> kHookModes;

// A key as the capture reports it: set-1 make code and extended flag.
struct CapturedKey {
    uint16_t scanCode = 0;
    bool extended = false;
    bool press = true;
};

// A mouse button: its window message (mouse_message::k...), which extra
// button for kExtraDown/Up, and where the pointer was on the screen.
struct CapturedButton {
    uint16_t message = 0;
    uint8_t extraButton = 0;
    int x = 0, y = 0;
};

struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool Contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

// What actually takes the input: the Qt event filter in the window, a fake in tests.
class HookInput {
public:
    virtual ~HookInput() = default;
    virtual bool InstallKeyboard() = 0;
    virtual void RemoveKeyboard() = 0;
    virtual void InstallMouse(int mode) = 0;
    virtual void RemoveMouse() = 0;
};

class CDeviceHook {
public:
    using KeyHandler = std::function<void(const CapturedKey&)>;
    using ButtonHandler = std::function<void(const CapturedButton&)>;

    explicit CDeviceHook(HookInput* input = nullptr) : input_(input) {}
    ~CDeviceHook() { RemoveHooks(); }
    CDeviceHook(const CDeviceHook&) = delete;
    CDeviceHook& operator=(const CDeviceHook&) = delete;

    void SetInput(HookInput* input);
    // Removes the hooks of a previous call, then installs what is asked;
    // false when the keyboard capture could not be installed (nothing is then).
    bool SetHookMode(int value, int mode, bool keyboard, bool library);
    void RemoveHooks();

    int Mode() const { return mode_; }
    int Value() const { return value_; }
    bool KeyboardHooked() const { return keyboard_; }
    bool LibraryHooked() const { return library_; }

    // Handlers by message name (kHookModes); a message without one is ignored.
    void OnKeyMessage(const std::string& message, KeyHandler handler);
    void OnButtonMessage(const std::string& message, ButtonHandler handler);

    // True when the key is withheld from the window: every key while the
    // keyboard is hooked except Caps, Num and Scroll Lock.
    bool DeliverKey(const CapturedKey& key);
    // True when the button is withheld; a press or release inside the pass
    // area (the stop button) reaches the window, so recording can be stopped.
    bool DeliverButton(const CapturedButton& button);
    void SetPassArea(std::function<ScreenRect()> area) { passArea_ = std::move(area); }

private:
    const HookModeRow* Row() const;

    HookInput* input_;
    int mode_ = hook_mode::kNone;
    int value_ = 0;
    bool keyboard_ = false;
    bool library_ = false;
    std::map<std::string, KeyHandler> keyHandlers_;
    std::map<std::string, ButtonHandler> buttonHandlers_;
    std::function<ScreenRect()> passArea_;
};

}  // namespace m470
