#pragma once
// The stand-in audio library from the build tree, with its controls: reset
// to its factory state, properties, faults and the call log as lines.
#include <dlfcn.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakeOsConf.h"

namespace m470::test {

inline const char* kFakeAudioLibraryPath = M470_FAKE_OSCONF;

class FakeAudioLibrary {
public:
    FakeAudioLibrary() {
        handle_ = ::dlopen(kFakeAudioLibraryPath, RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) throw std::runtime_error(std::string("no fake audio library: ") + ::dlerror());
        reset_ = Resolve<FakeOsConfResetFn>("FakeOsConfReset");
        set_ = Resolve<FakeOsConfSetPropertyFn>("FakeOsConfSetProperty");
        get_ = Resolve<FakeOsConfGetPropertyFn>("FakeOsConfGetProperty");
        fail_ = Resolve<FakeOsConfFailFn>("FakeOsConfFail");
        endpoints_ = Resolve<FakeOsConfSetEndpointsFn>("FakeOsConfSetEndpoints");
        init_ = Resolve<FakeOsConfSetInitResultFn>("FakeOsConfSetInitResult");
        log_ = Resolve<FakeOsConfLogFn>("FakeOsConfLog");
        reset_();
    }
    ~FakeAudioLibrary() {
        reset_();
        ::dlclose(handle_);
    }
    FakeAudioLibrary(const FakeAudioLibrary&) = delete;
    FakeAudioLibrary& operator=(const FakeAudioLibrary&) = delete;

    const char* Path() const { return kFakeAudioLibraryPath; }
    void Reset() { reset_(); }
    void Set(const std::string& name, const std::string& text) { set_(name.c_str(), text.c_str()); }
    void Remove(const std::string& name) { set_(name.c_str(), nullptr); }
    std::string Get(const std::string& name) {
        char text[2048] = {};
        return get_(name.c_str(), text, sizeof text) < 0 ? "<missing>" : std::string(text);
    }
    void Fail(const std::string& name, int32_t operation, int32_t count = 1) { fail_(name.c_str(), operation, count); }
    void SetEndpoints(int32_t flow, const std::vector<AudioDeviceInfo>& list) {
        endpoints_(flow, list.data(), static_cast<int32_t>(list.size()));
    }
    void SetInitResult(int32_t result) { init_(result); }
    std::vector<std::string> Log() {
        std::string text(static_cast<size_t>(log_(nullptr, 0)) + 1, '\0');
        log_(text.data(), static_cast<int32_t>(text.size()));
        std::vector<std::string> lines;
        std::istringstream in(text.c_str());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    // Only the property calls, without the list and count calls.
    std::vector<std::string> PropertyLog() {
        std::vector<std::string> lines;
        for (const std::string& line : Log())
            if (line.rfind("read ", 0) == 0 || line.rfind("write ", 0) == 0) lines.push_back(line);
        return lines;
    }
    std::vector<std::string> Writes() {
        std::vector<std::string> lines;
        for (const std::string& line : Log())
            if (line.rfind("write ", 0) == 0) lines.push_back(line);
        return lines;
    }

private:
    template <class Fn>
    Fn Resolve(const char* name) {
        void* symbol = ::dlsym(handle_, name);
        if (symbol == nullptr) throw std::runtime_error(std::string("fake audio library lacks ") + name);
        return reinterpret_cast<Fn>(symbol);
    }
    void* handle_ = nullptr;
    FakeOsConfResetFn reset_;
    FakeOsConfSetPropertyFn set_;
    FakeOsConfGetPropertyFn get_;
    FakeOsConfFailFn fail_;
    FakeOsConfSetEndpointsFn endpoints_;
    FakeOsConfSetInitResultFn init_;
    FakeOsConfLogFn log_;
};

}  // namespace m470::test
