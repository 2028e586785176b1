#pragma once
// The settings window: the language choice and the update list. For each
// connected product and for the program it shows the installed and the
// newest version, downloads what the user picks and runs it once. Three
// workers (check, download, install) do the network and install work; they
// change the item model under its lock and post every change of a control
// to the UI thread, so controls are touched only there.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/NewsChoices.h"
#include "platform/StoppableThread.h"
#include "platform/Translator.h"
#include "ui/Ctl.h"
#include "update/DownloadFolder.h"
#include "update/HttpClient.h"
#include "update/UpdateCheck.h"
#include "update/UpdateSettings.h"

namespace m470 {

// Window states (the "Update_Status_text" label).
namespace window_state {
inline constexpr int kChecking = 0;
inline constexpr int kUpdatesOffered = 1;
inline constexpr int kNoAnswer = 2;
inline constexpr int kUpdating = 3;
inline constexpr int kLastCheck = 4;       // followed by the date of the last check
inline constexpr int kNoService = 5;       // no base address configured: nothing is sent
inline constexpr int kInsecureService = 6; // a base address that is not https: nothing is sent
}  // namespace window_state

// What the window asks of its owner.
struct SetWndServices {
    std::function<void(std::function<void()>)> post;  // runs work on the UI thread, later
    std::function<void(int languageIndex)> switchLanguage;
    std::function<void()> lastCheckShown;  // the owner clears the mark of its settings button
    std::function<void(const std::string& text)> tell;  // a plain-text message box
    std::function<void()> close;
    // The desktop-notification switches changed; the owner keeps and saves them.
    std::function<void(const NewsChoices&)> setNews;
    // The OpenRGB SDK server: whether it is on, and the switch, which
    // answers the line that says how the server fares now.
    std::function<bool()> sdkOn;
    std::function<std::string()> sdkStatus;
    std::function<std::string(bool on)> switchSdk;
};

struct SetWndOptions {
    UpdateSettings settings;
    std::string dataFolder;  // holds "updatetime.config"
    std::string itemLayout;  // the list item's layout file
    std::vector<std::string> languages;
    // The program "Start with the session" starts (in the tray).
    std::string executable;
    int languageIndex = 0;
    NewsChoices news;
    std::chrono::milliseconds betweenDownloads{4000};
    std::chrono::milliseconds beforeInstall{1000};
    HttpLimits limits;  // deadlines and the size cap of the service's transfers
    Translator translate;
};

class CSetWnd {
public:
    CSetWnd(ui::ControlHost& host, ui::Control* root, SetWndOptions options, SetWndServices services);
    ~CSetWnd();
    CSetWnd(const CSetWnd&) = delete;
    CSetWnd& operator=(const CSetWnd&) = delete;

    // Fills the list with one item per entry and starts the workers (none
    // without a secure service address).
    void Open(std::vector<UpdateEntry> entries);
    // Notifications of the window's controls (UI thread).
    void Notify(const ui::Notification& n);
    // Sets the stop events, aborts transfers and joins the workers.
    void StopThreads();
    // Texts made from code follow a language switch.
    void RefreshTexts();

    int WindowState() const { return windowState_; }
    size_t ItemCount() const { return itemRoots_.size(); }
    int ItemStatus(size_t index) const;
    UpdateResult ItemResult(size_t index) const;
    ui::Control* ItemRoot(size_t index) const { return index < itemRoots_.size() ? itemRoots_[index] : nullptr; }
    const std::string& DownloadPath() const { return folder_.Path(); }

private:
    struct Item {
        UpdateResult result;
        std::string fileName;  // in the download folder
        bool selected = false;
        int percent = 0;
    };
    using Handler = void (CSetWnd::*)(const ui::Notification&);
    struct Route {
        const char* event;
        const char* name;
        Handler handler;
    };

    ui::Ctl Find(const char* name) const;
    ui::Ctl FindInItem(size_t index, const char* name) const;
    std::optional<size_t> ItemOf(const ui::Control* control) const;
    HttpSettings ClientSettings() const;

    // UI thread.
    void ShowItem(size_t index);
    void SetWindowState(int state);
    void FinishCheck(bool allFailed);
    void ShowUpdateButton();
    void SettleAfterChange();
    void OnClose(const ui::Notification&);
    void OnShowConfirm(const ui::Notification&);
    void OnStartUpdate(const ui::Notification&);
    void OnItemSelected(const ui::Notification&);
    void OnLanguage(const ui::Notification&);
    void OnAutostart(const ui::Notification&);
    void OnNews(const ui::Notification&);
    void OnSdk(const ui::Notification&);

    // Workers.
    void RunCheck(const StopEvent& stop);
    void RunDownloads(const StopEvent& stop);
    void RunInstalls(const StopEvent& stop);
    struct DownloadStatus {
        int status;
        HttpFailure failure;
    };
    DownloadStatus DownloadItem(HttpClient& client, size_t index);
    std::optional<size_t> NextSelected(int status) const;
    void Change(size_t index, const std::function<void(Item&)>& change);
    void Post(std::function<void()> work);

    static const Route kRoutes[];

    ui::ControlHost& host_;
    ui::Control* root_;
    SetWndOptions options_;
    SetWndServices services_;
    std::vector<UpdateEntry> entries_;
    std::vector<ui::Control*> itemRoots_;
    mutable std::mutex mutex_;  // guards items_
    std::vector<Item> items_;
    DownloadFolder folder_;
    std::atomic<bool> downloadRequested_{false};
    std::atomic<bool> abort_{false};
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    int windowState_ = window_state::kChecking;
    std::string lastCheckDate_;
    StoppableThread check_, download_, install_;
};

}  // namespace m470
