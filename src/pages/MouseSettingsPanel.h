#pragma once
// The mouse page's own panels: sensitivity stages, report rate, pointer and
// scrolling values, the key rows and the settings-page switch.
#include <array>
#include <functional>
#include <optional>

#include "devices/MouseDevice.h"
#include "pages/DesktopPointerWorker.h"
#include "pages/DevicePicture.h"
#include "pages/DeviceProfileUI.h"
#include "pages/PageContext.h"
#include "pages/PagePanel.h"
#include "pages/SettingOutcome.h"
#include "pages/SettingsPages.h"

namespace m470 {

// The pointer page's values.
enum class PointerSetting { Speed, Precision, ScrollLines, ScrollPage, DoubleClick };

class CMouseSettingsPanel : public CPagePanel {
public:
    // strip: the page's profile strip, whose tab follows the settings page (may be nullptr);
    // context: where a write the mouse did not take is told (may be nullptr).
    // The device reports stages, system flags and keys (the page builds the panel only then).
    static bool Fits(const DeviceCapabilities& caps) { return caps.stages && caps.systemFlags && caps.keys; }
    CMouseSettingsPanel(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* page, const DevicePicture& picture,
                        CDeviceProfileUI* strip, PageContext* context = nullptr);

    void Repaint(DeviceChange change) override;
    void RefreshTexts() override {
        RefreshKeyInfo();
        ShowDesktopLabel();
    }
    void ShowOptionTab(int number) override;
    // The page's function switches, as a tab asks for them (kind 2 on the buttons tab).
    void SetFunctionPageSwitch(std::function<void(int kind)> show) { showFunctionPage_ = std::move(show); }
    // Told each settings page shown (the page builds the panels held on it).
    void SetPageShown(std::function<void()> shown) { pageShown_ = std::move(shown); }

    // The mouse's settings, typed: each setter does what the edit of its
    // control does (the same model change, file and write) after its range
    // and rules are checked. Stages are numbered from 0.
    ValueRange StageDpiRange() const;  // the mouse's scale, lowest step to highest
    int StageDpi(size_t stage) const;
    SettingOutcome SetStageDpi(size_t stage, int dpi);
    bool StageEnabled(size_t stage) const;
    SettingOutcome SetStageEnabled(size_t stage, bool on);
    std::optional<size_t> ActiveStage() const;
    SettingOutcome SetActiveStage(size_t stage);
    // In Hz, of the link in use (cable or receiver).
    int ReportRate() const;
    SettingOutcome SetReportRate(int hz);
    static ValueRange PointerRange(PointerSetting setting);
    int Pointer(PointerSetting setting) const;
    SettingOutcome SetPointer(PointerSetting setting, int value);

    void ShowSettingsPage(int page);
    void ShowStageSlider(size_t stage, int position);
    // Whether the stage is the active one: its thumb, its enable and select checks.
    void ShowStageMarks(size_t stage);
    void ShowKeyInfo(size_t index, const std::string& caption);
    void RefreshKeyInfo();

private:
    ui::Ctl Find(const std::string& name) const { return host_.FindUnder(page_, name); }
    std::string Translate(const std::string& key) const { return keys_.Translation()(key); }
    void ShowSettings();
    void ShowKeys();
    void ShowSystemSettings();
    void ReadDesktopPointer();
    // The desktop's answer, on the UI thread: its values are taken but for
    // those changed on the page since the read was asked for.
    void TakeDesktopPointer(const DesktopPointerRead& read);
    // The pointer values the desktop does not hold yet (a profile switch, an
    // edit) are set there.
    void PushToDesktop(const SystemSettings& system);
    // Whether the pointer values reach the desktop or stay in the profile.
    void ShowDesktopLabel();

    void OnStageEnabled(int stage);
    void OnStageSelected(int stage);
    void OnReportRate(int option);
    void OnStageSlider(int stage, bool final);
    void OnStageEdit(int stage);
    // A stage's sensitivity as a slider position: shown, kept, saved and written.
    void TakeStagePosition(size_t stage, int position);
    // One pointer value: kept and saved (not written), and given to the desktop.
    void TakePointerValue(PointerSetting setting, int value);
    void OnMainDpiSlider(int index);
    void OnMainDpiEdit(int index);
    // A stage's colour chosen in the palette window: kept, saved and written.
    void OnStageColour(int stage);
    // One of the pointer page's values edited: stored and saved, not written.
    void OnPointerValue(const ui::Notification& n);
    // A settings write's result: one the mouse did not take is told.
    void Told(int result) const;

    CVantrelUSBDevice& device_;
    SensitivityStages& stages_;
    SystemFlags& system_;
    KeyAssignmentModel& keys_;
    ui::ControlHost& host_;
    ui::Control* page_;
    const DevicePicture& picture_;
    CDeviceProfileUI* strip_;
    PageContext* context_;
    std::function<void(int)> showFunctionPage_;
    std::function<void()> pageShown_;
    // Made when the page first shows its values.
    std::unique_ptr<DesktopPointerWorker> desktop_;
    bool desktopAnswered_ = false;
    // The desktop's keys, as its answer found them.
    std::array<bool, kPointerValueCount> onDesktopKeys_{};
    // What the desktop holds of each pointer value, as read or last set;
    // until it answers, the values the page showed when it asked.
    std::array<std::optional<int>, kPointerValueCount> onDesktop_;
    // Set on the desktop before it answered: the page's value stands.
    std::array<bool, kPointerValueCount> setBeforeAnswer_{};
};

}  // namespace m470
