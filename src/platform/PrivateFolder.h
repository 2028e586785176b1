#pragma once
// A folder only its owner can reach: made with mode 0700 when missing, and
// refused when it exists but is not a plain folder of ours with mode 0700
// (another local user could otherwise occupy or watch what we put there).
#include <string>

namespace m470 {

// True when path is (now) such a folder; otherwise error says why.
bool EnsurePrivateFolder(const std::string& path, std::string& error);

}  // namespace m470
