#pragma once
// File trouble the user has to hear about. The core only records it; the
// window takes it after each handler and shows one message.
#include <optional>
#include <string>
#include <string_view>

#include "platform/Translator.h"

namespace m470 {

struct FileAlert {
    enum class Kind { Unreadable, SaveFailed };
    Kind kind = Kind::SaveFailed;
    std::string path;
    int error = 0;  // errno of the failed call
};

// A file that exists but could not be read: reported once per path and run.
void ReportUnreadableFile(const std::string& path);
// A file that could not be written (full disk, no permission): each time.
void ReportSaveFailure(const std::string& path, int error);
// The first alert reported since the last call, if any; clears them all.
std::optional<FileAlert> TakeFileAlert();

// Content written atomically (platform/AtomicFile.h); a failure is reported
// with its errno. SaveJson saves through it.
bool SaveFile(const std::string& path, std::string_view content);
// A stored file copied out where the user chose: a failed write is told by
// the file alert, a source that cannot be read by its panel.
enum class ExportResult { Exported, NoSource, WriteFailed };

// The language key of the reason for an errno: "could not be saved" tells why.
// Empty for an errno the table does not name (strerror gives the reason then).
std::string FileErrorReasonKey(int error);
// The text the user reads for an alert, in the language of translate.
std::string FileAlertText(const FileAlert& alert, const Translator& translate);

}  // namespace m470
