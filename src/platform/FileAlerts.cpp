#include "platform/FileAlerts.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/DebugTrace.h"
#include "platform/ProcessState.h"

namespace m470 {
namespace {

struct Alerts {
    std::set<std::string> unreadable;
    std::optional<FileAlert> pending;
};

void Keep(Alerts& alerts, FileAlert alert) {
    if (!alerts.pending) alerts.pending = std::move(alert);  // the box tells the first
}

// The errors a save meets in practice, told in the user's language.
struct ErrorReason {
    int error;
    const char* textKey;
};
constexpr std::array<ErrorReason, 10> kErrorReasons{{
    {ENOSPC, "file_reason_disk_full"},
    {EDQUOT, "file_reason_quota"},
    {EFBIG, "file_reason_too_large"},
    {EACCES, "file_reason_no_permission"},
    {EPERM, "file_reason_no_permission"},
    {EROFS, "file_reason_read_only"},
    {ENOENT, "file_reason_no_folder"},
    {ENOTDIR, "file_reason_no_folder"},
    {EISDIR, "file_reason_folder_in_the_way"},
    {EIO, "file_reason_disk_error"},
}};

// Replaces the first "%1" (or "%2") of text with value; nothing else is read as a format.
std::string Fill(std::string text, std::string_view mark, const std::string& value) {
    const size_t at = text.find(mark);
    if (at != std::string::npos) text.replace(at, mark.size(), value);
    return text;
}

}  // namespace

void ReportUnreadableFile(const std::string& path) {
    ProcessState<Alerts>::With([&path](Alerts& alerts) {
        if (!alerts.unreadable.insert(path).second) return;
        DebugTrace::Printf("file %s exists but cannot be read; it is kept and not written", path.c_str());
        Keep(alerts, FileAlert{FileAlert::Kind::Unreadable, path, 0});
    });
}

void ReportSaveFailure(const std::string& path, int error) {
    ProcessState<Alerts>::With([&](Alerts& alerts) {
        DebugTrace::Printf("file %s could not be saved (errno %d)", path.c_str(), error);
        Keep(alerts, FileAlert{FileAlert::Kind::SaveFailed, path, error});
    });
}

bool SaveFile(const std::string& path, std::string_view content) {
    if (WriteFileAtomically(path, content)) return true;
    ReportSaveFailure(path, errno);
    return false;
}

std::optional<FileAlert> TakeFileAlert() {
    return ProcessState<Alerts>::With([](Alerts& alerts) { return std::exchange(alerts.pending, std::nullopt); });
}

std::string FileErrorReasonKey(int error) {
    for (const ErrorReason& row : kErrorReasons)
        if (row.error == error) return row.textKey;
    return {};
}

std::string FileAlertText(const FileAlert& alert, const Translator& translate) {
    if (alert.kind == FileAlert::Kind::Unreadable) return Fill(translate("file_unreadable_text"), "%1", alert.path);
    const std::string key = FileErrorReasonKey(alert.error);
    const std::string reason = !key.empty() ? translate(key) : alert.error != 0 ? std::strerror(alert.error) : translate("file_reason_unknown");
    // The reason first: a path may hold "%2" itself.
    return Fill(Fill(translate("file_save_failed_text"), "%2", reason), "%1", alert.path);
}

}  // namespace m470
