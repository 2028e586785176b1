#pragma once
// What m470ctl and the running window say to each other on the instance
// socket: one request line, one reply line. The request carries the
// command line's words as a JSON array, so any word (spaces, quotes, a
// file name) arrives as it was typed.
//   request: m470ctl ["mouse","set","dpi","2","1600"]\n
//   reply:   {"exit":0,"out":"...","err":"..."}\n
#include <optional>
#include <string>
#include <vector>

namespace m470::ctl {

inline constexpr const char* kRequestWord = "m470ctl";
// The longest request line the window's socket takes, its line end included.
inline constexpr size_t kMaxRequestBytes = 4096;
// A reply longer than this is cut (the window answers; m470ctl reads).
inline constexpr size_t kMaxReplyBytes = 1024 * 1024;

struct Reply {
    int exitCode = 0;
    std::string out, err;
    friend bool operator==(const Reply&, const Reply&) = default;
};

std::string FormatRequest(const std::vector<std::string>& words);
// The words of a request line (with or without its line end); nullopt for
// any other line, so the window's other messages pass on untouched.
std::optional<std::vector<std::string>> ParseRequest(const std::string& line);
// One line: the texts' line ends are escaped by the JSON writer.
std::string FormatReply(const Reply& reply);
std::optional<Reply> ParseReply(const std::string& line);

}  // namespace m470::ctl
