#include "recoil/ShootControlUI.h"

#include <algorithm>
#include <array>

#include "platform/JsonFile.h"
#include "platform/Text.h"

namespace m470 {
namespace {

constexpr const char* kPatternOption = "shoot_gun_op_";
constexpr const char* kPatternPictures = "shoot_image_display_switch";
constexpr const char* kPatternChart = "shoot_chart_";
constexpr const char* kBulletOption = "bullet_op_";
constexpr const char* kBulletNumber = "bullet_select_index";
constexpr const char* kPrevious = "bullet_selected_prev";
constexpr const char* kNext = "bullet_selected_next";
constexpr const char* kEditLayout = "bullet_edit_layout";
constexpr const char* kLeftOption = "bullet_x_check";
constexpr const char* kUpOption = "bullet_y_check";
constexpr const char* kXEdit = "bullet_x_eidt";
constexpr const char* kYEdit = "bullet_y_eidt";
constexpr const char* kDelayEdit = "bullet_delay_eidt";
constexpr const char* kImport = "shootdate_import_btn";
constexpr const char* kExport = "shootdate_export_btn";
constexpr const char* kWrite = "shootdate_save_btn";
constexpr const char* kReset = "shootdate_reset_btn";
constexpr const char* kExportFailed = "recoil_export_failed";
constexpr const char* kFileFilter = "Shoot Files(*.shoot)";

// The numbered families are looked up by their first member.
constexpr std::array<const char*, 16> kLookedUp{
    "shoot_gun_op_0", kPatternPictures, "bullet_op_0", kBulletNumber, kPrevious, kNext, kEditLayout, kLeftOption,
    kUpOption, kXEdit, kYEdit, kDelayEdit, kImport, kExport, kWrite, kReset,
};

// The text of a direction option for its state.
struct DirectionTexts {
    const char* option;
    const char* selected;
    const char* cleared;
};
constexpr std::array<DirectionTexts, 2> kDirectionTexts{{
    {kLeftOption, "mouse_move_to_left_text", "mouse_move_to_right_text"},
    {kUpOption, "mouse_move_to_up_text", "mouse_move_to_down_text"},
}};

// Options in a group report the one that lost its mark too: only the chosen one counts.
bool Chosen(const ui::Notification& n) { return n.sender == nullptr || n.sender->Selected(); }

}  // namespace

CShootControlUI::CShootControlUI(ui::ControlHost& host, ui::Control* root, Translator translate)
    : host_(host), root_(root), translate_(std::move(translate)) {
    using N = const ui::Notification&;
    routes_.Add("selectchanged", kPatternOption, [this](N n, int i) { if (Chosen(n)) { SelectPattern(i); ShowBullet(); } })
        .Add("selectchanged", kBulletOption, [this](N n, int i) { if (Chosen(n)) SelectBullet(i); })
        .Add("selectchanged", {kLeftOption, kUpOption}, [this](N n, int) { OnDirection(n); })
        .Add("killfocus", {kXEdit, kYEdit, kDelayEdit}, [this](N, int) { SaveBullet(); })
        .Add("click", kPrevious, [this](N, int) { PreviousBullet(); })
        .Add("click", kNext, [this](N, int) { NextBullet(); })
        .Add("click", kReset, [this](N, int) { ResetPattern(pattern_); })
        .Add("click", kImport, [this](N, int) { OnImport(); })
        .Add("click", kExport, [this](N, int) { OnExport(); })
        .Add("click", kWrite, [this](N, int) { if (window_.writePatterns) window_.writePatterns(); });
}

ui::Ctl CShootControlUI::Find(const std::string& name) const {
    return root_ != nullptr ? host_.FindUnder(root_, name) : host_.Find(name);
}

void CShootControlUI::InitPanel() {
    allFound_ = std::all_of(kLookedUp.begin(), kLookedUp.end(), [this](const char* name) { return bool(Find(name)); });
    // The arrows show no words: their tooltips name them for screen readers too.
    if (ui::Control* previous = Find(kPrevious).Get()) previous->SetToolTip({}, "recoil_previous_bullet_tip");
    if (ui::Control* next = Find(kNext).Get()) next->SetToolTip({}, "recoil_next_bullet_tip");
    patterns_.RestoreMissing();
}

void CShootControlUI::SelectPattern(int pattern) {
    for (int n = 0; n < kRecoilPatternCount; ++n) Find(kPatternOption + std::to_string(n)).SetSelected(false, false);
    pattern_ = std::clamp(pattern, 0, kRecoilPatternCount - 1);
    Find(kPatternOption + std::to_string(pattern_)).SetSelected(true, false);
    Find(kPatternPictures).SetPage(pattern_);
}

void CShootControlUI::SelectBullet(int bullet) {
    for (int n = 0; n < kRecoilBulletCount; ++n) Find(kBulletOption + std::to_string(n)).SetSelected(false, false);
    bullet_ = std::clamp(bullet, 0, kRecoilBulletCount - 1);
    Find(kBulletOption + std::to_string(bullet_)).SetSelected(true, false);
    Find(kBulletNumber).SetText(std::to_string(bullet_ + 1));
    ShowBullet();
}

void CShootControlUI::ShowBullet() {
    const Bullet bullet = patterns_.LoadBullet(pattern_, std::max(bullet_, 0));
    Find(kLeftOption).SetSelected(bullet.left, false);
    Find(kUpOption).SetSelected(bullet.up, false);
    UpdateXLabel();
    UpdateYLabel();
    Find(kXEdit).SetText(std::to_string(bullet.x));
    Find(kYEdit).SetText(std::to_string(bullet.y));
    Find(kDelayEdit).SetText(std::to_string(bullet.delay));
    ShowChart();
}

// The pattern's picture: how far each bullet pulls down.
void CShootControlUI::ShowChart() {
    ui::Ctl chart = Find(kPatternChart + std::to_string(pattern_));
    if (!chart) return;
    chart.ClearItems();
    const Json::Value pattern = LoadJson(patterns_.PatternPath(pattern_));  // read once for all bars
    for (int b = 0; b < kRecoilBulletCount; ++b) {
        const Bullet bullet = ReadBullet(pattern, b);
        chart.AddItem(std::to_string(b + 1), std::to_string(bullet.up ? 0 : std::max(bullet.y, 0)));
    }
}

bool CShootControlUI::SaveBullet() {
    if (bullet_ < 0) return false;
    Bullet bullet;
    bullet.x = ParseBulletNumber(Find(kXEdit).Text());
    bullet.y = ParseBulletNumber(Find(kYEdit).Text());
    bullet.delay = ParseBulletNumber(Find(kDelayEdit).Text());
    bullet.left = Find(kLeftOption).Selected();
    bullet.up = Find(kUpOption).Selected();
    const bool saved = patterns_.SaveBullet(pattern_, bullet_, bullet);
    ShowChart();
    return saved;
}

bool CShootControlUI::ResetPattern(int pattern) {
    const bool reset = patterns_.Reset(pattern);
    SelectBullet(bullet_);
    return reset;
}

RecoilImportResult CShootControlUI::ImportPattern(const std::string& path) {
    const RecoilImportResult result = patterns_.Import(pattern_, path);
    if (result == RecoilImportResult::Refused && window_.notice) window_.notice(kRecoilImportRefused);
    if (result == RecoilImportResult::TooLarge && window_.notice) window_.notice(kRecoilImportTooLarge);
    if (result == RecoilImportResult::Imported) SelectBullet(bullet_);
    return result;
}

bool CShootControlUI::ExportPattern(const std::string& path) {
    if (path.empty()) return false;
    const ExportResult exported = patterns_.Export(pattern_, path);
    // A failed write is told by the file alert, with its reason.
    if (exported == ExportResult::NoSource && window_.notice) window_.notice(kExportFailed);
    return exported == ExportResult::Exported;
}

void CShootControlUI::UpdateXLabel() {
    const DirectionTexts& row = kDirectionTexts[0];
    Find(row.option).SetText(translate_(Find(row.option).Selected() ? row.selected : row.cleared));
}

void CShootControlUI::UpdateYLabel() {
    const DirectionTexts& row = kDirectionTexts[1];
    Find(row.option).SetText(translate_(Find(row.option).Selected() ? row.selected : row.cleared));
}

void CShootControlUI::RefreshTexts() {
    UpdateXLabel();
    UpdateYLabel();
}

void CShootControlUI::OnImport() {
    if (!window_.chooseOpenFile) return;
    const std::string path = window_.chooseOpenFile(kFileFilter);
    if (!path.empty()) ImportPattern(path);
}

void CShootControlUI::OnExport() {
    if (!window_.chooseSaveFile) return;
    const std::string path = window_.chooseSaveFile(kFileFilter);
    if (!path.empty()) ExportPattern(path);
}

// A direction is part of the bullet: kept at once, not only with the next edit.
void CShootControlUI::OnDirection(const ui::Notification& n) {
    EqualsIgnoringCase(n.senderName, kLeftOption) ? UpdateXLabel() : UpdateYLabel();
    SaveBullet();
}

}  // namespace m470
