#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace m470 {

// Writes content to a temporary file in the target's folder, flushes it to
// disk and renames it over the target: readers see the old file or the new
// one, never a half-written one. On failure the old file is untouched and the
// temporary file is removed; returns false.
bool WriteFileAtomically(const std::string& path, std::string_view content);

// True for the temporary names WriteFileAtomically uses ("NAME.tmp.PID.N").
bool IsTemporaryName(std::string_view name, long& pid);
// Removes temporary files left by a writer that was killed during a save
// (its process is gone, or it had our process id), in folder and, depth
// levels down, its subfolders. Returns how many were removed.
size_t RemoveOrphanTemporaryFiles(const std::string& folder, int depth = 1);

}  // namespace m470
