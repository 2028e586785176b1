#pragma once
// What the settings window asks the update service and how it reads the
// answers: one entry per connected product and one for the program, the
// key and body of a request, and the result an item shows.
#include <cstdint>
#include <string>
#include <vector>

#include "update/HttpClient.h"
#include "update/UpdateTypes.h"

namespace m470 {

inline constexpr const char* kProgramFirmwareId = "ALL";

struct UpdateEntry {
    int type = kTypeProgram;
    int flag = 1;
    uint32_t installedVersion = 0;
    std::string brand, firmwareId, deviceName, listName, versionLabel;
};

// Item states 0-8 (their texts and controls are the settings window's).
namespace item_state {
inline constexpr int kNoInformation = 0;
inline constexpr int kNeedsUpdate = 1;
inline constexpr int kNeedsUpdateToo = 2;
inline constexpr int kWaitingForDownload = 3;
inline constexpr int kDownloading = 4;
inline constexpr int kDownloaded = 5;
inline constexpr int kInstalling = 6;
inline constexpr int kUpToDate = 7;
inline constexpr int kFailed = 8;
}  // namespace item_state

struct UpdateResult {
    int status = item_state::kNoInformation;
    int deviceId = 0;
    std::string name, installedText, serverVersionName, newestText, url, localFile;
    std::string sha256;  // lower-case hex the file must have, empty when the answer named none
    bool failed = false; // no answer, not JSON, or not a 2xx answer
    HttpFailure failure = HttpFailure::None;  // why the check or the download failed, where known
};

// brand _ type _ firmware id _ device name _ flag; "NULL" for a product not connected.
std::string AppKey(const UpdateEntry& entry);
// "app_key=K&version=V", V in lower-case hex when hex is set.
std::string RequestBody(const std::string& appKey, uint32_t version, bool hex);
// "V%04x" or "V%d".
std::string VersionText(uint32_t version, bool hex);
// A version text such as "1.0.5" without its dots, read as a decimal number (105); 0 when unreadable.
uint32_t VersionNumberOf(const std::string& text);
// An item before (or without) an answer: the entry's list name and installed
// version, state 0 (no information: a failed check never reads as up to date).
UpdateResult Placeholder(const UpdateEntry& entry);
// Reads a service answer of length bytes for an entry; not JSON (or not an
// object) gives the placeholder marked failed.
UpdateResult ReadAnswer(const UpdateEntry& entry, const char* answer, size_t length);
// One request to base + "updates" and its result, named after the entry.
UpdateResult CheckForUpdate(HttpClient& client, const std::string& serviceBase, const UpdateEntry& entry);

// The answer buffer of a check: 102,400 bytes, the last kept for the terminating zero.
inline constexpr size_t kAnswerBufferSize = 102400;

}  // namespace m470
