#pragma once
// A fresh folder per test, removed afterwards; optionally the XDG folders of
// the program point into it so tests never touch the real user's files.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace m470::test {

class TempFolder {
public:
    explicit TempFolder(bool redirectUserFolders = true) {
        char pattern[] = "/tmp/m470-test-XXXXXX";
        path_ = ::mkdtemp(pattern);
        path_ += "/";
        if (redirectUserFolders) {
            ::setenv("XDG_DATA_HOME", (path_ + "data").c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (path_ + "config").c_str(), 1);
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + name; }

    void Write(const std::string& name, const std::string& content) const {
        std::filesystem::create_directories(std::filesystem::path(File(name)).parent_path());
        std::ofstream(File(name), std::ios::binary) << content;
    }
    std::string Read(const std::string& name) const { return ReadFile(File(name)); }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Every file under a folder by its path below it, with its contents; none when it is missing.
    static std::map<std::string, std::string> FilesUnder(const std::string& folder) {
        std::map<std::string, std::string> files;
        if (!std::filesystem::exists(folder)) return files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            if (entry.is_regular_file())
                files[std::filesystem::relative(entry.path(), folder).string()] = ReadFile(entry.path().string());
        return files;
    }

private:
    std::string path_;
};

}  // namespace m470::test
