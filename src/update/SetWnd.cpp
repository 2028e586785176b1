#include "update/SetWnd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>

#include "platform/Autostart.h"
#include "platform/DebugTrace.h"
#include "platform/Text.h"
#include "update/Installer.h"

namespace m470 {
namespace {

using namespace item_state;

enum class Box { Enabled, Disabled, DisabledCleared };

struct ItemStateRow {
    const char* textKey;
    bool progress;  // "update_progress_value" shown
    bool okMark;    // "update_status_ok" shown
    Box box;
};

// Item states 0-8, in order.
constexpr std::array<ItemStateRow, 9> kItemStates{{
    {"LessUpdateText", false, false, Box::DisabledCleared},
    {"NeedUpdateText", false, false, Box::Enabled},
    {"NeedUpdateText", false, false, Box::Enabled},
    {"DownloadWaitText", false, false, Box::Disabled},
    {"DownloadIngText", true, false, Box::Disabled},
    {"DownloadOkText", false, true, Box::Disabled},
    {"UpdateIngText", true, false, Box::DisabledCleared},
    {"UpdateOkText", false, false, Box::Disabled},
    {"UpdateFailText", false, false, Box::Enabled},
}};

struct FailureTextRow {
    HttpFailure failure;
    const char* textKey;
};

// A failed check (state 0) or download (state 8) says why, where the reason is one of these.
constexpr std::array<FailureTextRow, 4> kFailureTexts{{
    {HttpFailure::Deadline, "UpdateNoAnswerInTimeText"},
    {HttpFailure::TooSlow, "DownloadTooSlowText"},
    {HttpFailure::TooLarge, "DownloadTooLargeText"},
    {HttpFailure::SizeUnknown, "DownloadSizeUnknownText"},
}};

const char* StatusTextKey(const UpdateResult& result, const char* stateKey) {
    if (result.status != kFailed && result.status != kNoInformation) return stateKey;
    for (const FailureTextRow& row : kFailureTexts)
        if (row.failure == result.failure) return row.textKey;
    return stateKey;
}

struct WindowStateRow {
    const char* textKey;
    bool withDate;
};

// Window states 0-6, in order.
constexpr std::array<WindowStateRow, 7> kWindowStates{{
    {"GetUpdateInfoText", false},
    {"HaveUpdateInfoText", false},
    {"NoUpdateInfoText", false},
    {"ISUpdateINGText", false},
    {"UpdateIsLastText", true},
    {"NoUpdateServiceText", false},
    {"UpdateServiceInsecureText", false},
}};

constexpr const char* kUpdateFailed = "Update failed!";
constexpr auto kThreadStopWait = std::chrono::milliseconds(1000);

bool Offered(int status) { return status == kNeedsUpdate || status == kNeedsUpdateToo; }
bool InProgress(int status) { return status >= kWaitingForDownload && status <= kInstalling; }

bool IsUnder(const ui::Control* control, const ui::Control* root) {
    for (; control != nullptr; control = control->Parent())
        if (control == root) return true;
    return false;
}

}  // namespace

const CSetWnd::Route CSetWnd::kRoutes[] = {
    {"click", "closebtn", &CSetWnd::OnClose},
    {"click", "laterbtn", &CSetWnd::OnClose},
    {"click", "update_fw_and_ap", &CSetWnd::OnShowConfirm},
    {"click", "update_OK_btn", &CSetWnd::OnStartUpdate},
    {"selectchanged", "check_name_select", &CSetWnd::OnItemSelected},
    {"itemselect", "Language_combox_info", &CSetWnd::OnLanguage},
    {"click", "autostart_check", &CSetWnd::OnAutostart},
    {"click", "notify_battery_check", &CSetWnd::OnNews},
    {"click", "notify_link_check", &CSetWnd::OnNews},
    {"click", "openrgb_sdk_check", &CSetWnd::OnSdk},
};

CSetWnd::CSetWnd(ui::ControlHost& host, ui::Control* root, SetWndOptions options, SetWndServices services)
    : host_(host), root_(root), options_(std::move(options)), services_(std::move(services)) {}

CSetWnd::~CSetWnd() {
    StopThreads();
    *alive_ = false;  // work still queued for the UI thread finds the window gone
}

ui::Ctl CSetWnd::Find(const char* name) const {
    if (root_ != nullptr && root_->Name() == name) return root_;
    return host_.FindUnder(root_, name);
}

ui::Ctl CSetWnd::FindInItem(size_t index, const char* name) const {
    return index < itemRoots_.size() && itemRoots_[index] != nullptr ? host_.FindUnder(itemRoots_[index], name) : nullptr;
}

std::optional<size_t> CSetWnd::ItemOf(const ui::Control* control) const {
    for (size_t k = 0; k < itemRoots_.size(); ++k)
        if (IsUnder(control, itemRoots_[k])) return k;
    return std::nullopt;
}

HttpSettings CSetWnd::ClientSettings() const {
    HttpSettings settings;
    settings.extraCaFile = options_.settings.caFile;
    settings.abort = &abort_;
    settings.limits = options_.limits;
    return settings;
}

int CSetWnd::ItemStatus(size_t index) const {
    std::lock_guard lock(mutex_);
    return index < items_.size() ? items_[index].result.status : -1;
}

UpdateResult CSetWnd::ItemResult(size_t index) const {
    std::lock_guard lock(mutex_);
    return index < items_.size() ? items_[index].result : UpdateResult{};
}

// ---- opening and closing ----

void CSetWnd::Open(std::vector<UpdateEntry> entries) {
    ReapLeftInstallers();
    entries_ = std::move(entries);
    ui::Ctl combo = Find("Language_combox_info");
    combo.ClearItems();
    for (const std::string& language : options_.languages) combo.AddItem(language);
    combo.SelectItem(options_.languageIndex, false);
    Find("autostart_check").SetSelected(AutostartEnabled(), false);
    Find("notify_battery_check").SetSelected(options_.news.battery, false);
    Find("notify_link_check").SetSelected(options_.news.link, false);
    Find("openrgb_sdk_check").SetSelected(services_.sdkOn && services_.sdkOn(), false);
    if (services_.sdkStatus) Find("openrgb_sdk_status").SetText(services_.sdkStatus());
    Find("get_update_tab_layout").SetPage(0);
    lastCheckDate_ = ReadLastCheckDate(options_.dataFolder);
    if (lastCheckDate_.empty()) {
        lastCheckDate_ = TodayText();
        WriteLastCheckDate(options_.dataFolder, lastCheckDate_);
    }
    ui::Control* list = Find("update_list_layout").Get();
    {
        std::lock_guard lock(mutex_);
        items_.assign(entries_.size(), Item{});
        for (size_t k = 0; k < entries_.size(); ++k) {
            items_[k].result = Placeholder(entries_[k]);
            items_[k].fileName = DownloadFolder::SafeFileName(entries_[k].deviceName + "_" + std::to_string(k)) + ".exe";
        }
    }
    for (size_t k = 0; k < entries_.size(); ++k) itemRoots_.push_back(host_.LoadLayoutInto(options_.itemLayout, list));
    for (size_t k = 0; k < entries_.size(); ++k) ShowItem(k);
    ShowUpdateButton();
    if (!options_.settings.Configured()) {
        SetWindowState(window_state::kNoService);
        return;
    }
    if (!options_.settings.Secure()) {
        DebugTrace::Printf("update: the service address %s is not https; nothing is sent", options_.settings.serviceBase.c_str());
        SetWindowState(window_state::kInsecureService);
        return;
    }
    std::string error;
    if (!folder_.Create(error)) DebugTrace::Printf("update: %s", error.c_str());  // downloads then fail visibly
    SetWindowState(window_state::kChecking);
    check_.Start([this](const StopEvent& stop) { RunCheck(stop); }, "update check");
    download_.Start([this](const StopEvent& stop) { RunDownloads(stop); }, "update download");
    install_.Start([this](const StopEvent& stop) { RunInstalls(stop); }, "update install");
}

void CSetWnd::StopThreads() {
    abort_ = true;
    for (StoppableThread* thread : {&check_, &download_, &install_}) {
        if (!thread->Running()) continue;
        DebugTrace::Write(ThreadStopLine(thread->Stop(kThreadStopWait)));
    }
}

void CSetWnd::Post(std::function<void()> work) {
    if (!services_.post) return;
    services_.post([alive = alive_, work = std::move(work)] {
        if (*alive) work();
    });
}

void CSetWnd::Change(size_t index, const std::function<void(Item&)>& change) {
    {
        std::lock_guard lock(mutex_);
        change(items_[index]);
    }
    Post([this, index] {
        ShowItem(index);
        SettleAfterChange();
    });
}

// ---- what the controls show (UI thread) ----

void CSetWnd::ShowItem(size_t index) {
    Item item;
    {
        std::lock_guard lock(mutex_);
        if (index >= items_.size()) return;
        item = items_[index];
    }
    const int status = item.result.status;
    const ItemStateRow& row = kItemStates[static_cast<size_t>(status >= 0 && status <= kFailed ? status : 0)];
    ui::Ctl box = FindInItem(index, "check_name_select");
    box.SetText(item.result.name);
    box.SetEnabled(row.box == Box::Enabled);
    box.SetSelected(row.box != Box::DisabledCleared && item.selected, false);
    FindInItem(index, "OldRev").SetText(item.result.installedText);
    // Empty, not hidden, when up to date: the columns stay in line.
    FindInItem(index, "updateRev").SetText(status != kUpToDate ? item.result.newestText : std::string());
    FindInItem(index, "update_status_text").SetText(StatusTextKey(item.result, row.textKey));
    ui::Ctl percent = FindInItem(index, "update_progress_value");
    percent.SetText(std::to_string(item.percent) + "%");
    percent.SetVisible(row.progress);
    FindInItem(index, "update_status_ok").SetVisible(row.okMark);
    ui::Ctl(itemRoots_[index]).SetUserData(item.result.url);
}

void CSetWnd::SetWindowState(int state) {
    windowState_ = state;
    const WindowStateRow& row = kWindowStates[static_cast<size_t>(state)];
    ui::Ctl label = Find("Update_Status_text");
    if (row.withDate && options_.translate) label.SetText(options_.translate(row.textKey) + lastCheckDate_);
    else label.SetText(row.textKey);
    Find("update_status_ring").SetVisible(state == window_state::kChecking);
    Find("update_status_image").SetVisible(state != window_state::kChecking);
    if (state == window_state::kLastCheck && services_.lastCheckShown) services_.lastCheckShown();
}

void CSetWnd::RefreshTexts() { SetWindowState(windowState_); }

void CSetWnd::ShowUpdateButton() {
    bool any = false;
    {
        std::lock_guard lock(mutex_);
        for (const Item& item : items_) any = any || (item.selected && (Offered(item.result.status) || item.result.status == kFailed));
    }
    ui::Ctl button = Find("update_fw_and_ap");
    button.SetEnabled(any);
    button.SetVisible(any);
}

void CSetWnd::FinishCheck(bool allFailed) {
    lastCheckDate_ = TodayText();
    WriteLastCheckDate(options_.dataFolder, lastCheckDate_);
    bool anyOffered = false;
    {
        std::lock_guard lock(mutex_);
        for (Item& item : items_) {
            // An item the user already sent into an update stays picked, or it never gets installed.
            if (InProgress(item.result.status)) continue;
            item.selected = Offered(item.result.status);
            anyOffered = anyOffered || item.selected;
        }
    }
    for (size_t k = 0; k < itemRoots_.size(); ++k) ShowItem(k);
    ShowUpdateButton();
    if (windowState_ == window_state::kUpdating) return;  // the update says when it is done
    SetWindowState(anyOffered ? window_state::kUpdatesOffered : allFailed ? window_state::kNoAnswer : window_state::kLastCheck);
}

// While updating, the window says so until nothing waits, downloads or installs.
void CSetWnd::SettleAfterChange() {
    if (windowState_ != window_state::kUpdating) return;
    bool busy = false, offered = false;
    {
        std::lock_guard lock(mutex_);
        for (const Item& item : items_) {
            busy = busy || InProgress(item.result.status);
            offered = offered || Offered(item.result.status) || item.result.status == kFailed;
        }
    }
    if (busy) return;
    for (size_t k = 0; k < itemRoots_.size(); ++k) ShowItem(k);  // boxes left out of the update come back
    SetWindowState(offered ? window_state::kUpdatesOffered : window_state::kLastCheck);
    ShowUpdateButton();
}

// ---- notifications (UI thread) ----

void CSetWnd::Notify(const ui::Notification& n) {
    for (const Route& route : kRoutes)
        if (n.event == route.event && EqualsIgnoringCase(n.senderName, route.name)) {
            (this->*route.handler)(n);
            return;
        }
}

void CSetWnd::OnClose(const ui::Notification&) {
    StopThreads();
    if (services_.close) services_.close();
}

void CSetWnd::OnShowConfirm(const ui::Notification&) { Find("get_update_tab_layout").SetPage(1); }

void CSetWnd::OnStartUpdate(const ui::Notification&) {
    {
        std::lock_guard lock(mutex_);
        for (Item& item : items_)
            if (item.selected && (Offered(item.result.status) || item.result.status == kFailed)) item.result.status = kWaitingForDownload;
    }
    for (size_t k = 0; k < itemRoots_.size(); ++k) {
        ShowItem(k);
        if (ItemStatus(k) != kWaitingForDownload) FindInItem(k, "check_name_select").SetEnabled(false);
    }
    ui::Ctl button = Find("update_fw_and_ap");
    button.SetEnabled(false);
    Find("get_update_tab_layout").SetPage(0);
    SetWindowState(window_state::kUpdating);
    downloadRequested_ = true;
    download_.Wake();
}

void CSetWnd::OnItemSelected(const ui::Notification& n) {
    const std::optional<size_t> index = ItemOf(n.sender);
    if (!index) return;
    {
        std::lock_guard lock(mutex_);
        items_[*index].selected = n.sender->Selected();
    }
    ShowUpdateButton();
}

void CSetWnd::OnLanguage(const ui::Notification& n) {
    const int index = ui::Ctl(n.sender).SelectedItem();
    if (index >= 0 && services_.switchLanguage) services_.switchLanguage(index);
}

// The box shows what the autostart folder holds, also after a failed write.
void CSetWnd::OnAutostart(const ui::Notification& n) {
    const bool wanted = ui::Ctl(n.sender).Selected();
    if (!SetAutostart(wanted, options_.executable) && services_.tell)
        services_.tell(options_.translate ? options_.translate("autostart_failed_text") : "autostart_failed_text");
    ui::Ctl(n.sender).SetSelected(AutostartEnabled(), false);
}

void CSetWnd::OnNews(const ui::Notification&) {
    options_.news = {Find("notify_battery_check").Selected(), Find("notify_link_check").Selected()};
    if (services_.setNews) services_.setNews(options_.news);
}

// The box shows what registry.json keeps; the line beside it how the server fares.
void CSetWnd::OnSdk(const ui::Notification& n) {
    if (!services_.switchSdk || !services_.sdkOn) return;
    Find("openrgb_sdk_status").SetText(services_.switchSdk(ui::Ctl(n.sender).Selected()));
    ui::Ctl(n.sender).SetSelected(services_.sdkOn(), false);
}

// ---- workers ----

void CSetWnd::RunCheck(const StopEvent& stop) {
    HttpClient client(ClientSettings());
    size_t failures = 0;
    for (size_t k = 0; k < entries_.size() && !stop.IsSet(); ++k) {
        const UpdateEntry& entry = entries_[k];
        UpdateResult result;
        if (entry.type != kTypeProgram && entry.firmwareId.empty()) {
            DebugTrace::Printf("update: no firmware id set for %s; not asked", entry.deviceName.c_str());
            result = Placeholder(entry);
            result.failed = true;
        } else {
            result = CheckForUpdate(client, options_.settings.serviceBase, entry);
        }
        failures += result.failed ? 1 : 0;
        Change(k, [&](Item& item) {
            result.localFile = folder_.Path() + item.fileName;
            item.result = result;
        });
    }
    if (stop.IsSet()) return;
    const bool allFailed = failures == entries_.size();
    Post([this, allFailed] { FinishCheck(allFailed); });
}

std::optional<size_t> CSetWnd::NextSelected(int status) const {
    std::lock_guard lock(mutex_);
    for (size_t k = 0; k < items_.size(); ++k)
        if (items_[k].selected && items_[k].result.status == status) return k;
    return std::nullopt;
}

void CSetWnd::RunDownloads(const StopEvent& stop) {
    HttpClient client(ClientSettings());
    while (!stop.IsSet()) {
        if (!downloadRequested_.exchange(false)) {
            if (stop.WaitForWake()) return;
            continue;
        }
        bool first = true;
        while (const std::optional<size_t> k = NextSelected(kWaitingForDownload)) {
            // A pause between installers, so the one before can start.
            if (!first && stop.WaitFor(options_.betweenDownloads)) return;
            first = false;
            Change(*k, [](Item& item) {
                item.result.status = kDownloading;
                item.percent = 0;
            });
            const DownloadStatus status = DownloadItem(client, *k);
            if (stop.IsSet()) return;
            Change(*k, [status](Item& item) { item.result.status = status.status; item.result.failure = status.failure; });
            install_.Wake();
        }
    }
}

CSetWnd::DownloadStatus CSetWnd::DownloadItem(HttpClient& client, size_t index) {
    UpdateResult result;
    std::string fileName;
    {
        std::lock_guard lock(mutex_);
        result = items_[index].result;
        fileName = items_[index].fileName;
    }
    const int fd = folder_.OpenForWriting(fileName);
    if (fd < 0) {
        DebugTrace::Printf("update: cannot write %s in the download folder", fileName.c_str());
        return {kFailed, HttpFailure::Other};
    }
    const std::string path = folder_.Path() + fileName;
    int shown = -1;
    const DownloadOutcome outcome = client.DownloadFile(result.url, fd, [&](double total, double received) {
        if (total <= 0) return;
        const int percent = static_cast<int>(received * 100 / total);
        if (percent == shown) return;
        shown = percent;
        Change(index, [percent](Item& item) { item.percent = percent; });
    });
    bool usable = outcome.complete;
    if (usable && !result.sha256.empty() && !EqualsIgnoringCase(result.sha256, outcome.sha256)) {
        DebugTrace::Printf("update: %s does not have the announced SHA-256; not run", result.url.c_str());
        usable = false;
    }
    // Only the owner may run it, and only once it is whole.
    if (usable && ::fchmod(fd, 0700) != 0) usable = false;
    ::close(fd);
    if (!usable) {
        ::unlink(path.c_str());
        return {kFailed, outcome.failure};
    }
    return {kDownloaded, HttpFailure::None};
}

void CSetWnd::RunInstalls(const StopEvent& stop) {
    while (!stop.IsSet()) {
        const std::optional<size_t> k = NextSelected(kDownloaded);
        if (!k) {
            if (stop.WaitForWake()) return;
            continue;
        }
        if (stop.WaitFor(options_.beforeInstall)) return;
        std::string path;
        Change(*k, [&path](Item& item) {
            item.result.status = kInstalling;
            item.selected = false;  // run once: nothing picks this item up again by itself
            path = item.result.localFile;
        });
        const InstallOutcome outcome = RunInstaller(path, stop);
        if (outcome == InstallOutcome::Stopped) return;
        Change(*k, [outcome](Item& item) { item.result.status = outcome == InstallOutcome::Succeeded ? kUpToDate : kFailed; });
        if (outcome == InstallOutcome::CannotStart)
            Post([this] {
                if (services_.tell) services_.tell(kUpdateFailed);
            });
    }
}

}  // namespace m470
