#pragma once
// File trouble the user has to hear about. The core only records it; the
// window takes it after each handler and shows one message.
#include <string>

namespace m470 {

// A file that exists but could not be read: reported once per path and run.
void ReportUnreadableFile(const std::string& path);
// A file that could not be written (full disk, no permission): each time.
void ReportSaveFailure(const std::string& path);
// True when something was reported since the last call; clears it.
bool TakeFileAlert();

}  // namespace m470
