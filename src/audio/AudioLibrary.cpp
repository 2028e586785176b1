#include "audio/AudioLibrary.h"

#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/DebugTrace.h"
#include "platform/Folders.h"

namespace m470 {

AudioLibrary::~AudioLibrary() { Unload(); }

void AudioLibrary::Unload() {
    if (handle_ != nullptr) ::dlclose(handle_);
    handle_ = nullptr;
    confLibInit_ = nullptr;
    createDeviceList_ = nullptr;
    getDeviceCount_ = nullptr;
    getDeviceById_ = nullptr;
    propertyControl_ = nullptr;
}

bool AudioLibrary::Load(const std::string& absolutePath) {
    Unload();
    // Never a search of the library path: only the copy installed beside us.
    if (absolutePath.empty() || absolutePath.front() != '/') {
        DebugTrace::Printf("audio library path is not absolute: %s", absolutePath.c_str());
        return false;
    }
    void* handle = ::dlopen(absolutePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        DebugTrace::Printf("audio library not loaded: %s", why != nullptr ? why : absolutePath.c_str());
        return false;
    }
    auto resolve = [&](const char* name) {
        void* symbol = ::dlsym(handle, name);
        if (symbol == nullptr) DebugTrace::Printf("audio library lacks %s", name);
        return symbol;
    };
    void* init = resolve("ConfLibInit");
    void* list = resolve("CreateDeviceList");
    void* count = resolve("GetDeviceCount");
    void* byId = resolve("GetDeviceById");
    void* property = resolve("PropertyControl");
    if (!init || !list || !count || !byId || !property) {
        ::dlclose(handle);
        return false;
    }
    handle_ = handle;
    confLibInit_ = reinterpret_cast<OsConfLibInitFn>(init);
    createDeviceList_ = reinterpret_cast<OsConfCreateDeviceListFn>(list);
    getDeviceCount_ = reinterpret_cast<OsConfGetDeviceCountFn>(count);
    getDeviceById_ = reinterpret_cast<OsConfGetDeviceByIdFn>(byId);
    propertyControl_ = reinterpret_cast<OsConfPropertyControlFn>(property);
    return true;
}

void* AudioLibrary::Symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

int32_t AudioLibrary::ConfLibInit() const { return confLibInit_ ? confLibInit_() : kOsConfNoDevice; }
int32_t AudioLibrary::CreateDeviceList() const { return createDeviceList_ ? createDeviceList_() : kOsConfNoDevice; }

int32_t AudioLibrary::GetDeviceCount(int32_t flow, int32_t& count) const {
    count = 0;
    return getDeviceCount_ ? getDeviceCount_(flow, &count) : kOsConfNoDevice;
}

int32_t AudioLibrary::GetDeviceById(int32_t flow, int32_t index, AudioDeviceInfo& info) const {
    info = AudioDeviceInfo{};
    return getDeviceById_ ? getDeviceById_(flow, index, &info) : kOsConfNoDevice;
}

int32_t AudioLibrary::Call(const AudioDeviceInfo& device, const char* property, std::vector<char>& value,
                           const AudioParameter& parameter, int32_t operation) const {
    if (propertyControl_ == nullptr) return kOsConfNoDevice;
    std::vector<char> parameterBuffer(kOsConfValueBytes, 0);
    std::memcpy(parameterBuffer.data(), parameter.words.data(), parameter.count * sizeof(int32_t));
    void* valuePointer = value.data();
    void* parameterPointer = parameterBuffer.data();
    return propertyControl_(device, property, &valuePointer, parameter.count != 0 ? &parameterPointer : nullptr,
                            operation);
}

int32_t AudioLibrary::Read(const AudioDeviceInfo& device, const char* property, const AudioParameter& parameter,
                           std::string& text, size_t bufferBytes) const {
    std::vector<char> value(std::max<size_t>(bufferBytes, kOsConfValueBytes), 0);
    const int32_t result = Call(device, property, value, parameter, kOsConfRead);
    value.back() = '\0';  // a library that fills the whole buffer still ends here
    text.assign(value.data());
    return result;
}

int32_t AudioLibrary::WriteInteger(const AudioDeviceInfo& device, const char* property, int32_t number,
                                   const AudioParameter& parameter) const {
    std::vector<char> value(kOsConfValueBytes, 0);
    std::memcpy(value.data(), &number, sizeof number);
    return Call(device, property, value, parameter, kOsConfWrite);
}

int32_t AudioLibrary::WriteFloat(const AudioDeviceInfo& device, const char* property, float number,
                                 const AudioParameter& parameter) const {
    std::vector<char> value(kOsConfValueBytes, 0);
    std::memcpy(value.data(), &number, sizeof number);
    return Call(device, property, value, parameter, kOsConfWrite);
}

std::string AudioLibraryPath(bool virtualProducts) {
    return GetInstallFolder() + (virtualProducts ? "SDK/virtual/libosconf.so" : "SDK/libosconf.so");
}

namespace {
std::mutex gDefaultPathMutex;
std::string gDefaultPath;
}  // namespace

std::string DefaultAudioLibraryPath() {
    std::lock_guard lock(gDefaultPathMutex);
    return gDefaultPath.empty() ? AudioLibraryPath(false) : gDefaultPath;
}

void SetDefaultAudioLibraryPath(const std::string& absolutePath) {
    std::lock_guard lock(gDefaultPathMutex);
    gDefaultPath = absolutePath;
}

bool ParseAudioNumber(const std::string& text, double& number) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(start, &end);
    if (end == start || errno == ERANGE || parsed != parsed) return false;
    number = parsed;
    return true;
}

}  // namespace m470
