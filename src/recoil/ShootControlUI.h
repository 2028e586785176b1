#pragma once
// The recoil panel: one bullet of one pattern at a time, edited in three
// fields and two direction options; factory reset, import and export of the
// current pattern, and the request to write all four to the mouse. The
// pattern files are its only state: every view and every save reads them.
#include <functional>
#include <string>

#include "platform/Translator.h"
#include "recoil/RecoilPatterns.h"
#include "ui/Ctl.h"
#include "ui/RouteTable.h"

namespace m470 {

// What the panel asks of the page and the window.
struct ShootWindow {
    // Empty when cancelled.
    std::function<std::string(const std::string& filter)> chooseOpenFile;
    std::function<std::string(const std::string& filter)> chooseSaveFile;
    std::function<void(const std::string& textKey)> notice;
    // The four pattern files as they are on disk go to the mouse.
    std::function<void()> writePatterns;
};

class CShootControlUI {
public:
    CShootControlUI(ui::ControlHost& host, ui::Control* root, Translator translate);

    void SetDataFolder(const std::string& folder) { patterns_.SetDataFolder(folder); }
    void SetDefaultFolder(const std::string& folder) { patterns_.SetDefaultFolder(folder); }
    void SetWindow(ShootWindow window) { window_ = std::move(window); }
    RecoilPatterns& Patterns() { return patterns_; }

    // Looks the controls up and gives every broken or missing pattern its factory copy.
    void InitPanel();
    bool AllControlsFound() const { return allFound_; }
    void SelectPattern(int pattern);
    void SelectBullet(int bullet);
    void PreviousBullet() { SelectBullet(bullet_ - 1); }
    void NextBullet() { SelectBullet(bullet_ + 1); }
    void ShowBullet();
    bool SaveBullet();
    bool ResetPattern(int pattern);
    RecoilImportResult ImportPattern(const std::string& path);
    bool ExportPattern(const std::string& path);
    void UpdateXLabel();
    void UpdateYLabel();
    // The direction texts again in the language now in force.
    void RefreshTexts();

    int CurrentPattern() const { return pattern_; }
    int CurrentBullet() const { return bullet_; }

    // The panel's notifications: its route table, for the page that holds it.
    const ui::RouteTable& Routes() const { return routes_; }
    bool HandleNotification(const ui::Notification& n) const { return routes_.Dispatch(n); }

private:
    ui::Ctl Find(const std::string& name) const;
    void ShowChart();
    void OnImport();
    void OnExport();
    void OnDirection(const ui::Notification& n);

    ui::ControlHost& host_;
    ui::Control* root_;
    Translator translate_;
    ShootWindow window_;
    ui::RouteTable routes_;
    RecoilPatterns patterns_;
    int pattern_ = 0;
    int bullet_ = -1;
    bool allFound_ = false;
};

}  // namespace m470
