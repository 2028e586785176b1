#pragma once
// The key-assignment panel of a mouse or keyboard page: turns its controls
// into a key's function record and shows a record in them, and runs the
// page's key handlers (select a key, apply, default, cancel, write, capture)
// against the current device.
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "keys/KeyAssignment.h"
#include "macros/DeviceHook.h"
#include "platform/Translator.h"
#include "ui/Ctl.h"

namespace m470 {

// The function kinds of "keyset_function_combo", also its tab page numbers.
enum class FunctionKind {
    Default = 0, MouseButton, HorizontalScroll, VerticalScroll, Dpi, FireKey,
    KeyboardKey, Media, System, Macro, Recoil, Shortcut,
};
inline constexpr int kFunctionKinds = 12;

// The device the handlers act on.
class KeySetTarget {
public:
    virtual ~KeySetTarget() = default;
    virtual int FunctionPage() const = 0;  // 2 = key assignment
    virtual bool ProfileReadable() const = 0;
    virtual std::vector<KeyAssignmentPair> KeyAssignments() const = 0;
    // Marks the key selected; its pair, or none for a key the device lacks.
    virtual std::optional<KeyAssignmentPair> SelectKey(int index) = 0;
    virtual void StoreSelectedAssignment(const KeyAssignment& current, const KeyAssignment& defaults) = 0;
    virtual void RefreshKeyCaptions() = 0;
    virtual std::vector<int> CollectUsedMacros() = 0;
    // 0 written, > 0 events beyond the device's macro memory, -1 failed.
    virtual int WriteMacros(const std::vector<int>& macros) = 0;
    // 1 when written.
    virtual int WriteKeyAssignmentsWithMacros(int page) = 0;
    virtual bool SaveProfile() = 0;
    virtual void RefreshKeyMarks() = 0;
};

// What the panel needs from the window.
struct KeySetWindow {
    std::function<void(const std::string& textKey)> notice;  // message box with one button
    std::function<void(const std::string& text)> plainNotice;
    std::function<void(bool capture)> keyCapture;            // the key field took or lost the focus
};

// Slot index holds the mouse's last left button: it cannot be given another
// function, or the mouse could no longer click.
bool IsLastLeftButton(const std::vector<KeyAssignmentPair>& keys, int index);

class CKeySetControlUI {
public:
    CKeySetControlUI(ui::ControlHost& host, ui::Control* root, Translator translate);

    void BindControls();
    // The combos' fixed items in the language now in force.
    void RefreshTexts();
    // 1 keyboard (no DPI or recoil kinds), 2 mouse.
    void SetMode(int deviceKind);
    int Mode() const { return mode_; }
    // A mouse's buttons (else a keyboard's keys).
    bool ForMouse() const;
    void SetTarget(KeySetTarget* target) { target_ = target; }
    void SetWindow(KeySetWindow window) { window_ = std::move(window); }

    void FillMacroList(const std::vector<std::string>& names);
    void AddMacroItem(const std::string& name);
    void RemoveMacroItem(int index);
    void RenameMacroItem(int index, const std::string& name);

    void SetAssignment(const KeyAssignment& current, const KeyAssignment& defaults);
    void ShowDefault() { ShowAssignment(default_); }
    void ShowCurrent() { ShowAssignment(current_); }
    void SetCurrent(const KeyAssignment& record) { current_ = record; }
    const KeyAssignment& Current() const { return current_; }
    const KeyAssignment& Default() const { return default_; }
    void ShowAssignment(const KeyAssignment& record);
    std::pair<KeyAssignment, KeyAssignment> GetAssignment();

    void SetOption(int option);
    int GetOption() const;
    void SetKeyText(const std::string& nameKey);
    void EnableButtons(bool enabled);
    int KindOfItem(int index) const;
    int ItemOfKind(int kind) const;
    bool Clean() const { return clean_; }

    // The page's notifications for this panel; false when not its own.
    bool HandleNotification(const ui::Notification& notification);
    void KeyClicked(int index);
    void FunctionChanged();
    void EndModeChanged();
    void ApplyAssignment();
    void OptionChanged(int option);
    void RestoreDefault();
    void CancelEdit();
    void SaveToDevice();
    void CaptureKey(const CapturedKey& key);
    void SetPending(bool includeSelection, bool clean);

private:
    ui::Ctl Find(const std::string& name) const;
    void ShowKind(int kind);
    void ShowEditedKey(const KeyAssignment& defaults);
    std::optional<KeyAssignment> Build(int kind) const;
    int ShowRecord(const KeyAssignment& record);
    int ShowKeyboardKey(const KeyAssignment& record);
    int ShowMacro(const KeyAssignment& record);
    void FillTables();

    ui::ControlHost& host_;
    ui::Control* root_;
    Translator translate_;
    KeySetTarget* target_ = nullptr;
    KeySetWindow window_;
    KeyAssignment current_, default_;
    int mode_ = 2;
    bool clean_ = true;
};

}  // namespace m470
