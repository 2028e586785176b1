#pragma once
// The binding of the headset's audio-settings library: loaded by absolute
// path, its five entry points resolved by name. Property calls go through
// cleared value buffers; read texts are cut at the buffer's end.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/OsConfApi.h"

namespace m470 {

// What travels in a property call's parameter buffer: nothing, one channel
// number, or the three-word virtual surround record.
struct AudioParameter {
    std::array<int32_t, 3> words{};
    size_t count = 0;

    static AudioParameter None() { return {}; }
    static AudioParameter Channel(int32_t channel) { return {{channel, 0, 0}, 1}; }
    static AudioParameter Record(int32_t a, int32_t b, int32_t c) { return {{a, b, c}, 3}; }
};

class AudioLibrary {
public:
    AudioLibrary() = default;
    ~AudioLibrary();
    AudioLibrary(const AudioLibrary&) = delete;
    AudioLibrary& operator=(const AudioLibrary&) = delete;

    // dlopen(RTLD_NOW) of an absolute path, then the five entry points; a
    // relative path, a missing file or a missing entry point leaves the
    // library unloaded (false).
    bool Load(const std::string& absolutePath);
    bool Loaded() const { return handle_ != nullptr; }
    // Another entry point of the loaded library (tests reach a fake's controls).
    void* Symbol(const char* name) const;

    int32_t ConfLibInit() const;
    int32_t CreateDeviceList() const;
    int32_t GetDeviceCount(int32_t flow, int32_t& count) const;
    int32_t GetDeviceById(int32_t flow, int32_t index, AudioDeviceInfo& info) const;

    // A read fills text with what the library wrote (at most bufferBytes - 1
    // bytes, the rest of the buffer cleared before the call).
    int32_t Read(const AudioDeviceInfo& device, const char* property, const AudioParameter& parameter,
                 std::string& text, size_t bufferBytes = kOsConfValueBytes) const;
    int32_t WriteInteger(const AudioDeviceInfo& device, const char* property, int32_t value,
                         const AudioParameter& parameter) const;
    int32_t WriteFloat(const AudioDeviceInfo& device, const char* property, float value,
                       const AudioParameter& parameter) const;

private:
    int32_t Call(const AudioDeviceInfo& device, const char* property, std::vector<char>& value,
                 const AudioParameter& parameter, int32_t operation) const;
    void Unload();

    void* handle_ = nullptr;
    OsConfLibInitFn confLibInit_ = nullptr;
    OsConfCreateDeviceListFn createDeviceList_ = nullptr;
    OsConfGetDeviceCountFn getDeviceCount_ = nullptr;
    OsConfGetDeviceByIdFn getDeviceById_ = nullptr;
    OsConfPropertyControlFn propertyControl_ = nullptr;
};

// The library's place beside the executable: SDK/libosconf.so, or the
// stand-in of the virtual headset in SDK/virtual/.
std::string AudioLibraryPath(bool virtualProducts);

// The library a headset binds unless told otherwise: AudioLibraryPath(false),
// or what the program set (the stand-in while it runs on virtual products).
std::string DefaultAudioLibraryPath();
void SetDefaultAudioLibraryPath(const std::string& absolutePath);

// The number at the start of a library text, or false when there is none.
bool ParseAudioNumber(const std::string& text, double& number);

}  // namespace m470
