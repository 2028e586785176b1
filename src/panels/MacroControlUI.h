#pragma once
// The macro editor of a mouse or keyboard page: the device's macro library
// as a name list, the rows of the chosen macro with their delays, the row
// operations, mouse-event insertions and recording. Every change to the rows
// is saved to the macro's file at once (recording saves when it stops).
#include <functional>
#include <string>
#include <vector>

#include "keys/KeyAssignment.h"
#include "macros/DeviceHook.h"
#include "macros/MacroLibrary.h"
#include "macros/MacroRecorder.h"
#include "platform/Translator.h"
#include "ui/Ctl.h"

namespace m470 {

inline constexpr const char* kMacroFileFilter = "Macro Files (*.mac *.MAC)";

// The window and the device behind the editor.
class MacroEditorHost {
public:
    virtual ~MacroEditorHost() = default;
    virtual bool Ask(const std::string& textKey) = 0;  // OK (true) or Cancel
    virtual void Notice(const std::string& textKey) = 0;
    // Empty when cancelled.
    virtual std::string ChooseOpenFile(const std::string& filter) = 0;
    virtual std::string ChooseSaveFile(const std::string& filter) = 0;
    // Capture for a recording mode on or off (and the pending state with it).
    virtual void SetHook(int mode, bool on) = 0;
    virtual ScreenRect StopButtonArea() = 0;
    virtual void OpenRowMenu() = 0;
    // The library's names changed (the key panel's macro list, the captions).
    virtual void MacrosChanged(const std::vector<std::string>& names) = 0;
    // The device's keys, for renumbering when a macro goes.
    virtual std::vector<KeyAssignmentPair> CurrentKeys() = 0;
    // The renumbered keys: store them, show them and write them to the device.
    virtual void StoreRenumberedKeys(const std::vector<KeyAssignmentPair>& keys) = 0;
    virtual std::vector<std::string> OtherProfiles() = 0;
    virtual int DeviceIndex() = 0;
};

class CMacroControlUI {
public:
    CMacroControlUI(ui::ControlHost& host, ui::Control* root, Translator translate);

    void SetEditorHost(MacroEditorHost* editorHost) { editorHost_ = editorHost; }
    void SetMacroFolder(const std::string& folder);
    void LoadMacroNames();
    std::vector<std::string> MacroNames() const { return library_.Names(); }
    CMacroLibrary& Library() { return library_; }
    int SelectedMacro() const;
    const MacroRows& Rows() const { return rows_; }
    MacroRecorder& Recorder() { return recorder_; }

    void ShowSelectedMacro();
    void SelectMacro(int index);
    void SaveMacroEvents();
    void AddMacro();
    void DeleteMacro();
    void RenameMacro();
    void ImportMacro();
    void ExportMacro();

    void SelectRow(int row);
    void MoveRowUp();
    void MoveRowDown();
    void MoveRowToTop();
    void MoveRowToBottom();
    void DeleteRow();
    void DeleteAllRows();
    // message: mouse_message::k...; subtype: the move (0 left ... 3 down) or
    // the extra button (0 forward, 1 back).
    void InsertMouseEvent(uint16_t message, int subtype);
    // The rows' delay fields into the rows.
    void StoreRowDelays();

    void StartRecording(RecordTiming timing, int mode);
    void StopRecording();
    void RecordKey(int mode, const CapturedKey& key);
    void RecordButton(int mode, const CapturedButton& button);
    bool Recording() const { return recorder_.Recording(); }

    // A row-menu entry by name; false when there is none of that name.
    bool MenuItem(const std::string& name);
    // The page's notifications for this panel; false when not its own.
    bool HandleNotification(const ui::Notification& notification);
    // Row texts follow the language.
    void RefreshTexts() { ShowRows(); }

    std::string RowText(const MacroEvent& event) const;

private:
    ui::Ctl Find(const std::string& name) const;
    void ShowRows();
    void ShowNames();
    void EnableEditing(bool enabled);
    void SetRecordingControls(bool recording);
    void RowsChanged();
    void MoveSelected(int to);
    uint16_t ConstantFromField();

    ui::ControlHost& host_;
    ui::Control* root_;
    Translator translate_;
    MacroEditorHost* editorHost_ = nullptr;
    CMacroLibrary library_;
    MacroRows rows_;
    MacroRecorder recorder_;
    int recordMode_ = 0;
};

}  // namespace m470
