#pragma once
// A device's macro library: the catalogue ("macro.config") in its folder and
// one ".mac" file per macro, with every operation on them. A key refers to a
// macro by its catalogue position, so deleting one renumbers the keys of
// every profile of the device. Every change is saved at once.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "keys/KeyAssignment.h"
#include "macros/MacroEvent.h"
#include "macros/MacroFiles.h"
#include "platform/FileAlerts.h"

namespace m470 {

// Regular files up to this size are imported; anything else is refused.
inline constexpr uint64_t kMaxMacroFileBytes = 16u * 1024u * 1024u;

enum class MacroRenameResult { NoSelection, Blank, NameUsed, Renamed };

// An import's new macro name, or why there is none: refusal is the language
// key of what the user is told (empty when imported, or when the copy could
// not be saved: the file alert tells that).
struct MacroImport {
    std::string name;
    std::string refusal;
};

// Keys that ran macro `deleted` take their default; later macros move down
// one. True when any key changed.
bool RenumberMacroKeys(std::vector<KeyAssignmentPair>& keys, int deleted);
bool UsesMacro(const std::vector<KeyAssignmentPair>& keys, int macro);

struct MacroDeletion {
    bool deleted = false;
    bool currentKeysChanged = false;
};

class CMacroLibrary {
public:
    // folder ends in "/".
    explicit CMacroLibrary(std::string folder = {});
    void SetFolder(std::string folder);
    const std::string& Folder() const { return folder_; }
    // Reads the catalogue again (an unreadable one is an empty library).
    void Reload();

    const std::vector<MacroEntry>& Entries() const { return entries_; }
    std::vector<std::string> Names() const { return MacroNames(entries_); }
    size_t Count() const { return entries_.size(); }

    // The new macro's name ("macro_N", smallest free N), or empty at 50.
    std::string Add();
    // A copy of the file under its title, with "_1", "_2"... appended while
    // the name is taken; no name at 50, or for a path that is no regular file
    // of at most kMaxMacroFileBytes, or when it cannot be copied.
    MacroImport Import(const std::string& path);
    // Byte for byte.
    ExportResult Export(int index, const std::string& path) const;
    MacroRenameResult Rename(int index, const std::string& name);

    std::vector<MacroEvent> LoadEvents(int index) const;
    // No macro chosen or no usable id: nothing is written (false).
    bool SaveEvents(int index, const std::vector<MacroEvent>& events);

    // Deletes macro index after askUsed, asked only when currentKeys use it,
    // agreed: then every other profile of the device (its files, section
    // deviceIndex) and currentKeys are renumbered, the macro's file is removed
    // and the catalogue saved. Before the answer nothing is touched.
    MacroDeletion Delete(int index, std::vector<KeyAssignmentPair>& currentKeys,
                         const std::vector<std::string>& otherProfiles, int deviceIndex,
                         const std::function<bool()>& askUsed);

    std::string CataloguePath() const { return folder_ + kMacroCatalogue; }
    std::string MacroPath(int index) const;

private:
    bool NameTaken(const std::string& name) const;
    std::string NewGuid() const;
    // Appends the entry and saves the catalogue; false when it could not be saved.
    bool AppendEntry(const std::string& name, const std::string& guid);
    bool SaveCatalogue(const std::function<void(Json::Value& list)>& change);
    bool Valid(int index) const { return index >= 0 && static_cast<size_t>(index) < entries_.size(); }

    std::string folder_;
    std::vector<MacroEntry> entries_;
};

}  // namespace m470
