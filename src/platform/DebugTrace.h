#pragma once
// The one sink for every diagnostic line of the program: kept in memory (for
// tests and the automation), echoed to stderr with M470_DEBUG=1 and appended to
// the file named by M470_DEBUG_LOG.
#include <cstdarg>
#include <string>
#include <string_view>
#include <vector>

namespace m470 {

class DebugTrace {
public:
    // One call is one line; a trailing line end is dropped.
    static void Write(std::string_view line);
    // printf-style, UTF-8 format text.
    static void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

    // Lines kept in memory, oldest first. The store keeps the newest lines
    // up to kMaxKeptBytes (text plus a line's bookkeeping): every exchange
    // adds six lines, so a count limit let a long session hold megabytes that
    // nothing reads.
    static std::vector<std::string> Lines();
    static void Clear();
    static bool Contains(std::string_view fragment);

    // Re-reads M470_DEBUG and M470_DEBUG_LOG (they are read once on first use).
    static void ReloadEnvironment();

    static constexpr size_t kMaxKeptBytes = 1024 * 1024;
    static constexpr size_t kLineOverhead = 64;  // the string object and its allocation
};

}  // namespace m470
