#pragma once
#include <string>
#include <string_view>

namespace m470 {

// Writes content to a temporary file in the target's folder, flushes it to
// disk and renames it over the target: readers see the old file or the new
// one, never a half-written one. On failure the old file is untouched and the
// temporary file is removed; returns false.
bool WriteFileAtomically(const std::string& path, std::string_view content);

}  // namespace m470
