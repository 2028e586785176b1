#pragma once
// Where the running window listens: the per-user local socket "M470". The
// window and m470ctl find it by the same rule, so they always meet.
#include <string>
#include <sys/types.h>

namespace m470 {

inline constexpr const char* kInstanceSocketName = "M470";

// $XDG_RUNTIME_DIR/M470, or "M470" in the private folder M470-<uid> of the
// temporary folder ($TMPDIR, else /tmp). Empty, with error set, when that
// folder is not private. A runtime folder given as a relative path, one
// that does not exist, one of another user or one others may write into
// counts as none.
std::string InstanceSocketPath(std::string* error = nullptr);
// Why $XDG_RUNTIME_DIR is not used although it is set; empty when it is
// used or not set.
std::string RuntimeFolderNotice();
// The temporary folder as the toolkit names it: $TMPDIR cleaned, or /tmp.
std::string TemporaryFolder();

// True when the process at the other end of the connected local socket fd
// runs as this user. Otherwise why says who holds it: a word sent there
// would go to a stranger, and its answer would be a forgery.
bool PeerIsThisUser(int fd, std::string* why = nullptr);

// The file at a path, to tell whether it is still the one made there.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
// The identity of what is at path (not followed); nothing there gives {}.
FileIdentity IdentityOf(const std::string& path);

}  // namespace m470
