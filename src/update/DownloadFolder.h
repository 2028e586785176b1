#pragma once
// Where downloads go: a folder of our own under $TMPDIR (or /tmp), made with
// mkdtemp (mode 0700) and checked to be ours, so no other user can plant a
// link or swap a file before it runs. Removed with what is in it.
#include <string>

namespace m470 {

class DownloadFolder {
public:
    DownloadFolder() = default;
    ~DownloadFolder();
    DownloadFolder(const DownloadFolder&) = delete;
    DownloadFolder& operator=(const DownloadFolder&) = delete;

    // Makes the folder; false (with error) when it cannot be made or is not ours.
    bool Create(std::string& error);
    // The folder, ending in "/"; empty before Create.
    const std::string& Path() const { return path_; }
    // A file name for an item: the name's letters, digits, "-", "_" and "." kept,
    // never a path ("." and ".." alone become "_").
    static std::string SafeFileName(const std::string& name);
    // Opens (creating or emptying) a file in the folder for writing, never
    // through a link; -1 when it cannot be opened.
    int OpenForWriting(const std::string& fileName) const;

private:
    std::string path_;
};

}  // namespace m470
