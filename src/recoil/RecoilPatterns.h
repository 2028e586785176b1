#pragma once
// The mouse's four recoil patterns, one JSON file each in the device folder
// ("ShootData_" + n + ".Shoot"), with its factory copy in the default data
// folder. A pattern is 30 bullets of 6 events in the macro event form; the
// files are the only state, read afresh for every view and every save.
#include <cstdint>
#include <json/value.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device_link/EventImage.h"
#include "platform/FileAlerts.h"

namespace m470 {

inline constexpr int kRecoilPatternCount = 4;
inline constexpr int kRecoilBulletCount = 30;
inline constexpr int kEventsPerBullet = 6;
// Regular files up to this size are imported; anything else is refused.
inline constexpr uint64_t kMaxRecoilImportBytes = 16u * 1024u * 1024u;
// The language texts shown when an import is refused.
inline constexpr const char* kRecoilImportRefused = "recoil_import_refused";
inline constexpr const char* kRecoilImportTooLarge = "recoil_import_too_large";

// One shot: the pointer moves x to the left (or right), then y up (or down),
// and the next shot follows delay ms later. Values are kept as typed; the
// device form keeps the low 8 bits of x and y.
struct Bullet {
    int x = 0;
    int y = 0;
    int delay = 0;
    bool left = false;
    bool up = false;

    friend bool operator==(const Bullet&, const Bullet&) = default;
};

// "ShootData_" + n + ".Shoot".
std::string RecoilPatternFileName(int pattern);
// A document whose "Events" is an array: anything else is not a pattern.
bool IsRecoilPatternDocument(const Json::Value& document);
// Bullet b of a pattern document; missing elements and members read as 0.
Bullet ReadBullet(const Json::Value& document, int bullet);
// Sets the six events of bullet b (member by member, other members kept);
// a shorter "Events" array grows, the elements in between stay null.
void WriteBullet(Json::Value& document, int bullet, const Bullet& value);
// Leading decimal digits with an optional sign, 0 when there are none;
// beyond the int range the value stops at its end.
int ParseBulletNumber(std::string_view text);

enum class RecoilImportResult { Nothing, Imported, Refused, TooLarge, WriteFailed };

class RecoilPatterns {
public:
    RecoilPatterns() = default;
    RecoilPatterns(std::string dataFolder, std::string defaultFolder);
    void SetDataFolder(const std::string& folder) { dataFolder_ = folder; }
    void SetDefaultFolder(const std::string& folder) { defaultFolder_ = folder; }
    const std::string& DataFolder() const { return dataFolder_; }

    std::string PatternPath(int pattern) const;
    // Every pattern whose file is missing, empty, invalid or not a pattern
    // document gets its factory copy; a file that exists but cannot be read
    // is left alone. Returns how many were restored.
    int RestoreMissing();

    Bullet LoadBullet(int pattern, int bullet) const;
    // Reads the file, rewrites the bullet's six events, saves it whole.
    bool SaveBullet(int pattern, int bullet, const Bullet& value);
    // The factory file over the user's; false (user's file untouched) when
    // the factory file is missing or not a pattern document.
    bool Reset(int pattern);
    // Nothing for an empty path; a path that is not a regular file of at most
    // kMaxRecoilImportBytes, not JSON, or whose "Events" is not an array is
    // refused (TooLarge past the size) and the pattern stays as it was.
    RecoilImportResult Import(int pattern, const std::string& path);
    // NoSource for an empty path or a pattern file that is not a pattern document.
    ExportResult Export(int pattern, const std::string& path) const;

    // The four patterns in device form, entry n = pattern n, all elements of
    // each "Events" array in order; an unreadable file gives no events.
    std::vector<ImageEntry> DeviceEntries() const;

private:
    std::string dataFolder_, defaultFolder_;
};

}  // namespace m470
