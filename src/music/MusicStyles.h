#pragma once
// The four colour styles of the music window and their file "AudioFile.json"
// (the user's copy in the application data folder, the factory copy in the
// default data folder).
#include <array>
#include <cstdint>
#include <json/value.h>
#include <string>

namespace m470 {

inline constexpr size_t kMusicStyleCount = 4;
inline constexpr uint8_t kMaxStyleComponent = 9;
inline constexpr const char* kAudioFileName = "AudioFile.json";

struct MusicStyles {
    uint8_t style = 0;
    std::array<std::string, kMusicStyleCount> names{};
    std::array<std::array<uint8_t, 3>, kMusicStyleCount> colours{};
    friend bool operator==(const MusicStyles&, const MusicStyles&) = default;
};

// "第一组" … "第四组".
const std::string& DefaultStyleName(size_t style);
// The colour of the selected style as the capture program takes it: a green
// of 0 is sent as 1.
std::array<int32_t, 3> StyleColourForCapture(const MusicStyles& styles);

// The "Device" object of the user's file, kept in memory, and the working styles.
class AudioDocument {
public:
    AudioDocument(std::string userPath, std::string factoryPath);

    // The user's file, recreated from the factory copy when it is missing or invalid.
    void LoadAudioFile();
    // The factory copy over the user's file.
    void ResetAudioFile();
    void SaveAudioFile() const;
    // The styles from the document; without them the working copy stays.
    const MusicStyles& GetMusicStyles();
    void SetMusicStyles(const MusicStyles& styles);

    const MusicStyles& Styles() const { return styles_; }
    const Json::Value& Device() const { return device_; }

private:
    void TakeFactoryCopy();

    std::string path_;
    std::string factoryPath_;
    Json::Value device_;
    MusicStyles styles_;
};

}  // namespace m470
