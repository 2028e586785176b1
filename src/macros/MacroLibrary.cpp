#include "macros/MacroLibrary.h"

#include <filesystem>

#include "platform/DebugTrace.h"
#include "platform/JsonFile.h"
#include "platform/Text.h"
#include "profiles/BasicProfiledata.h"

namespace m470 {
namespace {

constexpr int kMacroFileVersion = 64;

bool IsMacroKey(const KeyAssignment& key) {
    return key.type == static_cast<uint8_t>(AssignmentType::MacroRun) ||
           key.type == static_cast<uint8_t>(AssignmentType::MacroRepeat);
}

// The whole file when it is a regular file within the limit; else the
// language key of why it is refused.
std::optional<std::string> ReadBoundedFile(const std::string& path, std::string* refusal = nullptr) {
    JsonLoadStatus status = JsonLoadStatus::Ok;
    std::string content = readjsonFile(path, kMaxMacroFileBytes, &status);
    if (status == JsonLoadStatus::Ok || status == JsonLoadStatus::Empty) return content;
    if (refusal != nullptr)
        *refusal = status == JsonLoadStatus::TooLarge ? "macro_import_too_large_text" : "macro_import_unreadable_text";
    return std::nullopt;
}

}  // namespace

bool RenumberMacroKeys(std::vector<KeyAssignmentPair>& keys, int deleted) {
    bool changed = false;
    for (KeyAssignmentPair& pair : keys) {
        if (!IsMacroKey(pair.current)) continue;
        if (pair.current.param1 == deleted) {
            const uint16_t code = pair.current.code;
            pair.current = pair.defaults;
            pair.current.code = code;
            changed = true;
        } else if (pair.current.param1 > deleted) {
            --pair.current.param1;
            changed = true;
        }
    }
    return changed;
}

bool UsesMacro(const std::vector<KeyAssignmentPair>& keys, int macro) {
    for (const KeyAssignmentPair& pair : keys)
        if (IsMacroKey(pair.current) && pair.current.param1 == macro) return true;
    return false;
}

CMacroLibrary::CMacroLibrary(std::string folder) : folder_(std::move(folder)) { Reload(); }

void CMacroLibrary::SetFolder(std::string folder) {
    folder_ = std::move(folder);
    Reload();
}

void CMacroLibrary::Reload() { entries_ = folder_.empty() ? std::vector<MacroEntry>() : LoadMacroCatalogue(CataloguePath()); }

std::string CMacroLibrary::MacroPath(int index) const {
    if (!Valid(index) || !IsSafeFileId(entries_[static_cast<size_t>(index)].guid)) return {};
    return folder_ + entries_[static_cast<size_t>(index)].guid + ".mac";
}

bool CMacroLibrary::NameTaken(const std::string& name) const {
    for (const MacroEntry& entry : entries_)
        if (EqualsIgnoringCase(entry.name, name)) return true;
    return false;
}

std::string CMacroLibrary::NewGuid() const {
    // Two macros made within one millisecond would share a file.
    const std::string base = MakeTimestampId();
    std::string guid = base;
    for (int n = 1;; ++n) {
        bool used = std::filesystem::exists(folder_ + guid + ".mac");
        for (const MacroEntry& entry : entries_) used = used || entry.guid == guid;
        if (!used) return guid;
        guid = base + "_" + std::to_string(n);
    }
}

bool CMacroLibrary::SaveCatalogue(const std::function<void(Json::Value& list)>& change) {
    Json::Value catalogue = LoadJson(CataloguePath());
    if (!catalogue.isObject()) catalogue = Json::Value(Json::objectValue);
    Json::Value& list = MutableMember(catalogue, "MacroInfo");
    if (!list.isArray()) list = Json::Value(Json::arrayValue);
    change(list);
    return SaveJson(CataloguePath(), catalogue);
}

bool CMacroLibrary::AppendEntry(const std::string& name, const std::string& guid) {
    const auto at = static_cast<Json::ArrayIndex>(entries_.size());
    const bool saved = SaveCatalogue([&](Json::Value& list) {
        // The file may hold entries this list dropped as unreadable: keep the positions aligned.
        list.resize(at);
        Json::Value entry(Json::objectValue);
        entry["MacroName"] = name;
        entry["Guid"] = guid;
        list[at] = entry;
    });
    if (saved) entries_.push_back({name, guid});
    return saved;
}

std::string CMacroLibrary::Add() {
    if (folder_.empty() || entries_.size() >= kMaxMacros) return {};
    std::string name;
    for (int n = 1; name.empty() || NameTaken(name); ++n) name = "macro_" + std::to_string(n);
    return AppendEntry(name, NewGuid()) ? name : std::string();
}

MacroImport CMacroLibrary::Import(const std::string& path) {
    if (folder_.empty()) return {};
    if (entries_.size() >= kMaxMacros) return {{}, "macro_library_full_text"};
    MacroImport refused;
    const std::optional<std::string> content = ReadBoundedFile(path, &refused.refusal);
    if (!content) {
        DebugTrace::Write("macro import refused (no regular file within the size limit): " + path);
        return refused;
    }
    std::string name = FileTitle(path);
    if (IsBlank(name)) name = "macro";
    for (int n = 1; NameTaken(name); ++n) name += "_" + std::to_string(n);
    const std::string guid = NewGuid();
    if (!SaveFile(folder_ + guid + ".mac", *content)) return {};
    if (!AppendEntry(name, guid)) {
        std::error_code ignored;
        std::filesystem::remove(folder_ + guid + ".mac", ignored);
        return {};
    }
    return {name, {}};
}

ExportResult CMacroLibrary::Export(int index, const std::string& path) const {
    const std::string source = MacroPath(index);
    const std::optional<std::string> content = source.empty() ? std::nullopt : ReadBoundedFile(source);
    if (!content) return ExportResult::NoSource;
    return SaveFile(path, *content) ? ExportResult::Exported : ExportResult::WriteFailed;
}

MacroRenameResult CMacroLibrary::Rename(int index, const std::string& name) {
    if (!Valid(index)) return MacroRenameResult::NoSelection;
    if (IsBlank(name)) return MacroRenameResult::Blank;
    if (NameTaken(name)) return MacroRenameResult::NameUsed;
    const auto at = static_cast<Json::ArrayIndex>(index);
    const bool saved = SaveCatalogue([&](Json::Value& list) {
        if (at < list.size() && list[at].isObject()) list[at]["MacroName"] = name;
    });
    if (!saved) return MacroRenameResult::Blank;
    entries_[static_cast<size_t>(index)].name = name;
    return MacroRenameResult::Renamed;
}

std::vector<MacroEvent> CMacroLibrary::LoadEvents(int index) const {
    std::vector<MacroEvent> events;
    const std::string path = MacroPath(index);
    if (path.empty()) return events;
    const Json::Value document = LoadJson(path);
    const Json::Value& list = Member(document, "Events");
    if (!list.isArray()) return events;
    for (const Json::Value& element : list) events.push_back(MacroEventOf(element));
    return events;
}

bool CMacroLibrary::SaveEvents(int index, const std::vector<MacroEvent>& events) {
    const std::string path = MacroPath(index);
    if (path.empty()) return false;
    const MacroEntry& entry = entries_[static_cast<size_t>(index)];
    Json::Value document(Json::objectValue);
    document["MacroName"] = entry.name;
    document["Guid"] = entry.guid;
    Json::Value& list = document["Events"] = Json::Value(Json::arrayValue);
    for (const MacroEvent& event : events) list.append(MacroEventObject(event));
    document["Version"] = kMacroFileVersion;
    return SaveJson(path, document);
}

MacroDeletion CMacroLibrary::Delete(int index, std::vector<KeyAssignmentPair>& currentKeys,
                                    const std::vector<std::string>& otherProfiles, int deviceIndex,
                                    const std::function<bool()>& askUsed) {
    MacroDeletion outcome;
    if (!Valid(index)) return outcome;
    // The question comes before any file changes, so a cancel leaves every profile as it was.
    if (UsesMacro(currentKeys, index) && askUsed && !askUsed()) return outcome;
    for (const std::string& path : otherProfiles) {
        CBasicProfiledata profile;
        profile.SetDeviceIndex(deviceIndex);
        profile.SetProfilePath(path);
        profile.Section() = Element(Member(LoadJson(path), "Device"), static_cast<Json::ArrayIndex>(deviceIndex));
        std::vector<KeyAssignmentPair> keys = profile.ReadKeyList();
        if (!RenumberMacroKeys(keys, index)) continue;
        profile.WriteKeyList(keys);
        if (!profile.Save()) DebugTrace::Write("macro numbers not rewritten in " + path);
    }
    outcome.currentKeysChanged = RenumberMacroKeys(currentKeys, index);
    const std::string file = MacroPath(index);
    if (!file.empty()) {
        std::error_code ignored;  // a file that is not there is no error
        std::filesystem::remove(file, ignored);
    }
    const auto at = static_cast<Json::ArrayIndex>(index);
    SaveCatalogue([&](Json::Value& list) {
        Json::Value removed;
        if (at < list.size()) list.removeIndex(at, &removed);
    });
    entries_.erase(entries_.begin() + index);
    outcome.deleted = true;
    return outcome;
}

}  // namespace m470
