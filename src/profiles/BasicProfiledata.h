#pragma once
// The in-memory side of one profile file: the device's section at
// "Device"[device index], filled from the device's default file when missing.
#include <json/value.h>
#include <string>
#include <vector>

#include "keys/KeyAssignment.h"
#include "profiles/ProfileRecords.h"

namespace m470 {

class CBasicProfiledata {
public:
    CBasicProfiledata() = default;
    virtual ~CBasicProfiledata() = default;

    void SetProfilePath(const std::string& path) { profilePath_ = path; }
    const std::string& GetProfilePath() const { return profilePath_; }
    // An empty path leaves the default path unchanged.
    void SetDefaultPath(const std::string& path);
    const std::string& GetDefaultPath() const { return defaultPath_; }
    void SetDeviceIndex(int index) { deviceIndex_ = index; }
    int GetDeviceIndex() const { return deviceIndex_; }

    // Loads "Device"[index] of path; a missing section is taken from the
    // default file and written back into path (other members are kept). A file
    // that exists but cannot be parsed is kept as path + ".bad"; one that
    // cannot be opened is left alone and never written (the factory section
    // is used in memory).
    Json::Value LoadDeviceSection(const std::string& path);
    Json::Value LoadSecondarySection(const std::string& path);

    LightInfo ReadLightInfo();
    void WriteLightInfo(const LightInfo& info);
    AudioLightInfo ReadAudioLightInfo();
    void WriteAudioLightInfo(const AudioLightInfo& info);
    std::vector<LightListEntry> ReadLightList();

    void SetLightCataloguePath(const std::string& path) { lightCataloguePath_ = path; }
    const std::string& GetLightCataloguePath() const { return lightCataloguePath_; }
    Json::Value LoadLightCatalogue(const std::string& path);
    std::vector<std::vector<LedEffectStep>> ReadCustomEffects();

    std::vector<KeyAssignmentPair> ReadKeyList();
    void WriteKeyList(const std::vector<KeyAssignmentPair>& list);
    std::vector<KeyAssignmentPair> ReadSecondaryKeyList();
    void WriteSecondaryKeyList(const std::vector<KeyAssignmentPair>& list);

    // The file operations. Each returns false when the file could not be
    // written (the old file is then untouched).
    virtual bool Save();
    virtual bool SaveDeviceSection(const Json::Value& section, const std::string& path);
    virtual bool SaveSecondaryTo(const std::string& path);
    virtual bool WriteDocument(const Json::Value& document, const std::string& path);

    const Json::Value& Section() const { return section_; }
    Json::Value& Section() { return section_; }
    const Json::Value& SecondarySection() const { return secondarySection_; }
    const LightInfo& CurrentLightInfo() const { return lightInfo_; }
    const AudioLightInfo& CurrentAudioLightInfo() const { return audioLightInfo_; }

protected:
    Json::ArrayIndex SectionIndex() const;
    Json::Value LoadSectionInto(const std::string& path, Json::Value& target);

private:
    static std::vector<KeyAssignmentPair> KeyListOf(const Json::Value& section);
    static void StoreKeyList(Json::Value& section, const std::vector<KeyAssignmentPair>& list);

    std::string profilePath_;
    std::string defaultPath_;
    int deviceIndex_ = 0;
    Json::Value section_;
    Json::Value secondarySection_;
    LightInfo lightInfo_;
    const LightInfo defaultLightInfo_{};
    AudioLightInfo audioLightInfo_;
    std::vector<LightListEntry> lightList_;
    std::vector<KeyAssignmentPair> keyList_;
    std::vector<KeyAssignmentPair> secondaryKeyList_;
    std::string lightCataloguePath_;
    Json::Value lightCatalogue_;
    int builtinEffectCount_ = 0;
    std::vector<std::vector<LedEffectStep>> customEffects_;
};

}  // namespace m470
