#pragma once
// Where the running window listens: the per-user local socket "M470". The
// window and m470ctl find it by the same rule, so they always meet.
#include <string>

namespace m470 {

inline constexpr const char* kInstanceSocketName = "M470";

// $XDG_RUNTIME_DIR/M470, or "M470" in the private folder M470-<uid> of the
// temporary folder ($TMPDIR, else /tmp). Empty, with error set, when that
// folder is not private. A runtime folder given as a relative path, or one
// that does not exist, counts as none.
std::string InstanceSocketPath(std::string* error = nullptr);
// Why $XDG_RUNTIME_DIR is not used although it is set; empty when it is
// used or not set.
std::string RuntimeFolderNotice();
// The temporary folder as the toolkit names it: $TMPDIR cleaned, or /tmp.
std::string TemporaryFolder();

}  // namespace m470
