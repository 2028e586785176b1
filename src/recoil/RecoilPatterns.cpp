#include "recoil/RecoilPatterns.h"

#include <array>
#include <climits>
#include <filesystem>

#include "macros/MacroEvent.h"
#include "macros/MacroFiles.h"
#include "platform/DebugTrace.h"
#include "platform/JsonFile.h"
#include "platform/Text.h"

namespace m470 {
namespace {

// Where an event's "Button" or "Delay" comes from.
enum class Field { Fixed, X, Y, Delay };
// Which direction its "Action" follows: the shot's click, or one of its moves.
enum class Direction { Press, Release, Horizontal, Vertical };

struct Slot {
    Field field;
    int fixed;
};

struct BulletEventRow {
    MacroEventType type;
    Slot button;
    Direction action;
    Slot delay;
};

// Press left, 10 ms, release, move x, 5 ms, move y, the bullet's delay, two
// zero moves.
constexpr std::array<BulletEventRow, kEventsPerBullet> kBulletEvents{{
    {MacroEventType::MouseButton, {Field::Fixed, 1}, Direction::Press, {Field::Fixed, 10}},
    {MacroEventType::MouseButton, {Field::Fixed, 1}, Direction::Release, {Field::Fixed, 0}},
    {MacroEventType::HorizontalMove, {Field::X, 0}, Direction::Horizontal, {Field::Fixed, 5}},
    {MacroEventType::VerticalMove, {Field::Y, 0}, Direction::Vertical, {Field::Delay, 0}},
    {MacroEventType::HorizontalMove, {Field::Fixed, 0}, Direction::Horizontal, {Field::Fixed, 0}},
    {MacroEventType::VerticalMove, {Field::Fixed, 0}, Direction::Vertical, {Field::Fixed, 0}},
}};
constexpr Json::ArrayIndex kHorizontalEvent = 2;
constexpr Json::ArrayIndex kVerticalEvent = 3;

int ValueOf(const Slot& slot, const Bullet& bullet) {
    switch (slot.field) {
        case Field::X: return bullet.x;
        case Field::Y: return bullet.y;
        case Field::Delay: return bullet.delay;
        case Field::Fixed: break;
    }
    return slot.fixed;
}

const char* ActionOf(Direction direction, const Bullet& bullet) {
    const bool down = direction == Direction::Press || (direction == Direction::Horizontal && bullet.left) ||
                      (direction == Direction::Vertical && bullet.up);
    return down ? "down" : "up";
}

int SaturatedInt(int64_t value) {
    return static_cast<int>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
}

Json::ArrayIndex FirstEvent(int bullet) { return static_cast<Json::ArrayIndex>(bullet * kEventsPerBullet); }

bool ValidPattern(int pattern) { return pattern >= 0 && pattern < kRecoilPatternCount; }

// A file worth importing: regular, within the limit, a pattern document.
std::optional<Json::Value> ReadImportable(const std::string& path, bool& tooLarge) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::is_regular_file(status)) return std::nullopt;
    const auto size = std::filesystem::file_size(path, error);
    tooLarge = !error && size > kMaxRecoilImportBytes;
    if (error || tooLarge) return std::nullopt;
    Json::Value document = LoadJson(path);
    if (!IsRecoilPatternDocument(document)) return std::nullopt;
    return document;
}

}  // namespace

std::string RecoilPatternFileName(int pattern) { return "ShootData_" + std::to_string(pattern) + ".Shoot"; }

bool IsRecoilPatternDocument(const Json::Value& document) { return Member(document, "Events").isArray(); }

Bullet ReadBullet(const Json::Value& document, int bullet) {
    const Json::Value& events = Member(document, "Events");
    const Json::Value& horizontal = Element(events, FirstEvent(bullet) + kHorizontalEvent);
    const Json::Value& vertical = Element(events, FirstEvent(bullet) + kVerticalEvent);
    Bullet value;
    value.x = SaturatedInt(JsonInteger(Member(horizontal, "Button")));
    value.y = SaturatedInt(JsonInteger(Member(vertical, "Button")));
    value.delay = SaturatedInt(JsonInteger(Member(vertical, "Delay")));
    value.left = EqualsIgnoringCase(JsonText(Member(horizontal, "Action")), "down");
    value.up = EqualsIgnoringCase(JsonText(Member(vertical, "Action")), "down");
    return value;
}

void WriteBullet(Json::Value& document, int bullet, const Bullet& value) {
    Json::Value& events = MutableMember(document, "Events");
    for (size_t i = 0; i < kBulletEvents.size(); ++i) {
        const BulletEventRow& row = kBulletEvents[i];
        Json::Value& event = MutableElement(events, FirstEvent(bullet) + static_cast<Json::ArrayIndex>(i));
        MutableMember(event, "Type") = static_cast<int>(row.type);
        MutableMember(event, "Button") = ValueOf(row.button, value);
        MutableMember(event, "Action") = ActionOf(row.action, value);
        MutableMember(event, "Delay") = ValueOf(row.delay, value);
    }
}

int ParseBulletNumber(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + (text[at] - '0');
        if (value > static_cast<int64_t>(INT_MAX) + 1) break;
    }
    return SaturatedInt(negative ? -value : value);
}

RecoilPatterns::RecoilPatterns(std::string dataFolder, std::string defaultFolder)
    : dataFolder_(std::move(dataFolder)), defaultFolder_(std::move(defaultFolder)) {}

std::string RecoilPatterns::PatternPath(int pattern) const { return dataFolder_ + RecoilPatternFileName(pattern); }

int RecoilPatterns::RestoreMissing() {
    int restored = 0;
    for (int n = 0; n < kRecoilPatternCount; ++n) {
        JsonLoadStatus status = JsonLoadStatus::Ok;
        const Json::Value document = LoadJson(PatternPath(n), &status);
        if (status == JsonLoadStatus::Unreadable || IsRecoilPatternDocument(document)) continue;
        if (Reset(n)) ++restored;
    }
    return restored;
}

Bullet RecoilPatterns::LoadBullet(int pattern, int bullet) const {
    if (!ValidPattern(pattern) || bullet < 0 || bullet >= kRecoilBulletCount) return {};
    return ReadBullet(LoadJson(PatternPath(pattern)), bullet);
}

bool RecoilPatterns::SaveBullet(int pattern, int bullet, const Bullet& value) {
    if (!ValidPattern(pattern) || bullet < 0 || bullet >= kRecoilBulletCount) return false;
    JsonLoadStatus status = JsonLoadStatus::Ok;
    Json::Value document = LoadJson(PatternPath(pattern), &status);
    if (status == JsonLoadStatus::Unreadable) return false;  // never overwrite what could not be read
    WriteBullet(document, bullet, value);
    return SaveJson(PatternPath(pattern), document);
}

bool RecoilPatterns::Reset(int pattern) {
    if (!ValidPattern(pattern)) return false;
    const Json::Value factory = LoadJson(defaultFolder_ + RecoilPatternFileName(pattern));
    if (!IsRecoilPatternDocument(factory)) {
        DebugTrace::Printf("factory recoil pattern %d missing or damaged: pattern kept", pattern);
        return false;
    }
    return SaveJson(PatternPath(pattern), factory);
}

RecoilImportResult RecoilPatterns::Import(int pattern, const std::string& path) {
    if (path.empty() || !ValidPattern(pattern)) return RecoilImportResult::Nothing;
    bool tooLarge = false;
    const std::optional<Json::Value> document = ReadImportable(path, tooLarge);
    if (!document) {
        DebugTrace::Write("recoil import refused (no pattern document within the size limit): " + path);
        return tooLarge ? RecoilImportResult::TooLarge : RecoilImportResult::Refused;
    }
    return SaveJson(PatternPath(pattern), *document) ? RecoilImportResult::Imported : RecoilImportResult::WriteFailed;
}

ExportResult RecoilPatterns::Export(int pattern, const std::string& path) const {
    if (path.empty() || !ValidPattern(pattern)) return ExportResult::NoSource;
    const Json::Value document = LoadJson(PatternPath(pattern));
    if (!IsRecoilPatternDocument(document)) return ExportResult::NoSource;
    return SaveJson(path, document) ? ExportResult::Exported : ExportResult::WriteFailed;
}

std::vector<ImageEntry> RecoilPatterns::DeviceEntries() const {
    std::vector<ImageEntry> patterns;
    for (int n = 0; n < kRecoilPatternCount; ++n) patterns.push_back(EncodeEvents(LoadJson(PatternPath(n))));
    return patterns;
}

}  // namespace m470
