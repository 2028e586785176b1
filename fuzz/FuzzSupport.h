#pragma once
// What the file-reading targets share: one scratch folder per process (the
// user folders point into it, so nothing real is touched) and a way to fail
// loudly when a property does not hold.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/DebugTrace.h"

namespace m470::fuzz {

// Never destroyed: the exit handler that removes the folder runs after
// every static destructor.
inline const std::string& ScratchFolder() {
    static const std::string* folder = [] {
        // Every save is synced to disk; in memory (tmpfs) that costs nothing,
        // so the file-reading targets get many more runs in their time.
        char memory[] = "/dev/shm/m470-fuzz-XXXXXX";
        char disk[] = "/tmp/m470-fuzz-XXXXXX";
        const char* made = ::mkdtemp(memory);
        if (made == nullptr) made = ::mkdtemp(disk);
        if (made == nullptr) {
            std::perror("fuzz: no scratch folder");
            std::abort();
        }
        auto* path = new std::string(made);
        *path += "/";
        ::setenv("XDG_DATA_HOME", (*path + "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (*path + "config").c_str(), 1);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchFolder(), ignored);
        });
        return path;
    }();
    return *folder;
}

// A fresh, empty sub-folder of the scratch folder, ending in "/".
inline std::string EmptyFolder(const std::string& name) {
    const std::string folder = ScratchFolder() + name + "/";
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directories(folder);
    return folder;
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                  static_cast<std::streamsize>(size));
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Declared first in a target: the trace lines an input adds are dropped when
// it ends. Kept, they look like memory the input never gave back, and the
// leak check that then follows every input costs more than the input itself.
struct OneInput {
    OneInput() = default;
    OneInput(const OneInput&) = delete;
    OneInput& operator=(const OneInput&) = delete;
    ~OneInput() { DebugTrace::Clear(); }
};

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

}  // namespace m470::fuzz
