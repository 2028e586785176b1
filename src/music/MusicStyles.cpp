#include "music/MusicStyles.h"

#include <algorithm>

#include "platform/JsonFile.h"

namespace m470 {
namespace {

constexpr const char* kDevice = "Device";
constexpr const char* kAudioLightInfo = "AudioLightInfo";
constexpr const char* kStyle = "nAudioStyle";
constexpr std::array<const char*, kMusicStyleCount> kNameMembers{"nStyleName1", "nStyleName2", "nStyleName3",
                                                                 "nStyleName4"};
constexpr std::array<char, 3> kComponentLetters{'R', 'G', 'B'};

std::string ColourMember(size_t component, size_t style) {
    return std::string("nStyle") + kComponentLetters[component] + std::to_string(style);
}

// Sliders run 0-9 and the style 0-3; a hand-edited file may say more.
uint8_t Component(const Json::Value& value) {
    return static_cast<uint8_t>(std::clamp<int64_t>(JsonInteger(value), 0, kMaxStyleComponent));
}

}  // namespace

const std::string& DefaultStyleName(size_t style) {
    static const std::array<std::string, kMusicStyleCount> names{"第一组", "第二组", "第三组", "第四组"};
    return names[style % kMusicStyleCount];
}

std::array<int32_t, 3> StyleColourForCapture(const MusicStyles& styles) {
    const auto& colour = styles.colours[styles.style % kMusicStyleCount];
    return {colour[0], colour[1] == 0 ? 1 : colour[1], colour[2]};
}

AudioDocument::AudioDocument(std::string userPath, std::string factoryPath)
    : path_(std::move(userPath)), factoryPath_(std::move(factoryPath)) {}

void AudioDocument::TakeFactoryCopy() {
    const Json::Value factory = LoadJson(factoryPath_);
    if (!factory.isNull()) SaveJson(path_, factory);
    device_ = Member(factory, kDevice);
}

void AudioDocument::LoadAudioFile() {
    device_ = Member(LoadJson(path_), kDevice);
    if (device_.isNull()) TakeFactoryCopy();
    GetMusicStyles();
}

void AudioDocument::ResetAudioFile() {
    TakeFactoryCopy();
    GetMusicStyles();
}

const MusicStyles& AudioDocument::GetMusicStyles() {
    const Json::Value& info = Member(device_, kAudioLightInfo);
    if (!info.isObject()) return styles_;
    styles_.style = static_cast<uint8_t>(std::clamp<int64_t>(JsonInteger(Member(info, kStyle)), 0, kMusicStyleCount - 1));
    for (size_t s = 0; s < kMusicStyleCount; ++s) {
        styles_.names[s] = JsonText(Member(info, kNameMembers[s]));
        for (size_t c = 0; c < 3; ++c) styles_.colours[s][c] = Component(Member(info, ColourMember(c, s).c_str()));
    }
    return styles_;
}

void AudioDocument::SetMusicStyles(const MusicStyles& styles) {
    styles_ = styles;
    Json::Value info(Json::objectValue);
    info[kStyle] = styles.style;
    for (size_t s = 0; s < kMusicStyleCount; ++s) {
        info[kNameMembers[s]] = styles.names[s];
        for (size_t c = 0; c < 3; ++c) info[ColourMember(c, s)] = styles.colours[s][c];
    }
    MutableMember(device_, kAudioLightInfo) = info;
}

void AudioDocument::SaveAudioFile() const {
    Json::Value document = LoadJson(path_);
    MutableMember(document, kDevice) = device_;
    SaveJson(path_, document);
}

}  // namespace m470
