// A stand-in for the headset's audio library: a property map with scripted
// failures and a log of every call. Its factory state is its own, not the
// program's.
#include "FakeOsConf.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Fault {
    int32_t operation;
    int32_t count;
};

struct FakeState {
    std::map<std::string, std::string> properties;
    std::multimap<std::string, Fault> faults;
    std::vector<AudioDeviceInfo> endpoints[2];
    std::string log;
    int32_t initResult = kOsConfOk;
};

std::mutex gMutex;

// A headset whose render list holds a type-12 endpoint before its type-1 one.
void Factory(FakeState& state) {
    state = FakeState{};
    state.endpoints[kOsConfFlowRender] = {{{7, 12, 0, 1}}, {{8, 1, 0, 1}}};
    state.endpoints[kOsConfFlowCapture] = {{{9, 2, 1, 1}}};
    state.properties = {
        {"GetSupportFeature@2", "131073,0,0,0,0,0,0"}, {"GetSupportFeature@1", "1,0,0,0,0,0,0"},
        {"MuteControl", "0"},         {"VolumeScalarControl", "0.5"}, {"VolumeControl", "-12"},
        {"GetMaxVol", "6"},           {"GetMinVol", "-30"},           {"GetVolStep", "0.5"},
        {"AAMuteControl", "1"},       {"AAVolumeScalarControl", "0.29"}, {"AAVolumeControl", "-20"},
        {"GetAAMaxVol", "0"},         {"GetAAMinVol", "-40"},         {"GetAAVolStep", "1"},
        {"Enable_MAGICVOICE", "0"},   {"MagicVoice_Selection", "0"},  {"Enable_EQ_GFX", "0"},
    };
    for (int band = 1; band <= 10; ++band) state.properties["EQ_Slider" + std::to_string(band)] = "0";
}

FakeState& State() {
    static FakeState state = [] {
        FakeState s;
        Factory(s);
        return s;
    }();
    return state;
}

bool IsFloatProperty(const std::string& name) {
    return name == "VolumeScalarControl" || name == "AAVolumeScalarControl";
}

void Log(FakeState& state, const std::string& line) {
    state.log += line + "\n";
    if (const char* file = std::getenv("M470_FAKE_OSCONF_LOG"); file && *file) std::ofstream(file, std::ios::app) << line << "\n";
}

void LoadStateFile(FakeState& state) {
    const char* file = std::getenv("M470_FAKE_OSCONF_STATE");
    if (!file || !*file) return;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) state.properties[line.substr(0, equals)] = line.substr(equals + 1);
    }
}

void SaveStateFile(const FakeState& state) {
    const char* file = std::getenv("M470_FAKE_OSCONF_STATE");
    if (!file || !*file) return;
    std::ofstream out(file, std::ios::trunc);
    for (const auto& [name, text] : state.properties) out << name << "=" << text << "\n";
}

// True when a scripted fault takes this call.
bool Faulted(FakeState& state, const std::string& name, int32_t operation) {
    auto [first, last] = state.faults.equal_range(name);
    for (auto it = first; it != last; ++it) {
        if (it->second.operation != -1 && it->second.operation != operation) continue;
        if (it->second.count > 0 && --it->second.count == 0) state.faults.erase(it);
        return true;
    }
    return false;
}

std::string ParameterText(const std::string& name, void** parameter) {
    if (parameter == nullptr || *parameter == nullptr) return "";
    int32_t words[3];
    std::memcpy(words, *parameter, sizeof words);
    if (name == "VirtualSurroundEffectControl")
        return " " + std::to_string(words[0]) + "," + std::to_string(words[1]) + "," + std::to_string(words[2]);
    return " " + std::to_string(words[0]);
}

std::string ValueText(const std::string& name, const void* value) {
    if (IsFloatProperty(name)) {
        float number;
        std::memcpy(&number, value, sizeof number);
        char text[32];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(number));
        return text;
    }
    int32_t number;
    std::memcpy(&number, value, sizeof number);
    return std::to_string(number);
}

}  // namespace

extern "C" {

int32_t ConfLibInit(void) {
    std::lock_guard lock(gMutex);
    FakeState& state = State();
    LoadStateFile(state);
    Log(state, "ConfLibInit");
    return state.initResult;
}

int32_t CreateDeviceList(void) {
    std::lock_guard lock(gMutex);
    Log(State(), "CreateDeviceList");
    return kOsConfOk;
}

int32_t GetDeviceCount(int32_t flow, int32_t* count) {
    std::lock_guard lock(gMutex);
    FakeState& state = State();
    Log(state, "GetDeviceCount " + std::to_string(flow));
    if (count == nullptr || (flow != kOsConfFlowRender && flow != kOsConfFlowCapture)) return kOsConfBadArgument;
    *count = static_cast<int32_t>(state.endpoints[flow].size());
    return kOsConfOk;
}

int32_t GetDeviceById(int32_t flow, int32_t index, AudioDeviceInfo* info) {
    std::lock_guard lock(gMutex);
    FakeState& state = State();
    Log(state, "GetDeviceById " + std::to_string(flow) + " " + std::to_string(index));
    if (info == nullptr || (flow != kOsConfFlowRender && flow != kOsConfFlowCapture)) return kOsConfBadArgument;
    if (index < 0 || static_cast<size_t>(index) >= state.endpoints[flow].size()) return kOsConfNoDevice;
    *info = state.endpoints[flow][static_cast<size_t>(index)];
    return kOsConfOk;
}

int32_t PropertyControl(AudioDeviceInfo device, const char* property, void** value, void** parameter,
                        int32_t operation) {
    std::lock_guard lock(gMutex);
    FakeState& state = State();
    if (property == nullptr || value == nullptr || *value == nullptr) return kOsConfBadArgument;
    const std::string name = property;
    const std::string type = std::to_string(device.words[1]);
    const bool write = operation == kOsConfWrite;
    std::string line = (write ? "write " : "read ") + type + " " + name;
    if (write) line += " " + ValueText(name, *value);
    line += ParameterText(name, parameter);
    const bool failed = Faulted(state, name, operation);
    Log(state, failed ? line + " failed" : line);
    if (failed) return kOsConfUnsupported;
    if (write) {
        state.properties[name] = ValueText(name, *value);
        SaveStateFile(state);
        return kOsConfOk;
    }
    auto found = state.properties.find(name + "@" + type);
    if (found == state.properties.end()) found = state.properties.find(name);
    if (found == state.properties.end()) return kOsConfUnsupported;
    // A text as long as the buffer is written without its terminator, as a
    // careless library would.
    const size_t length = std::min<size_t>(found->second.size(), kOsConfValueBytes);
    std::memcpy(*value, found->second.data(), length);
    if (length < kOsConfValueBytes) static_cast<char*>(*value)[length] = '\0';
    return kOsConfOk;
}

void FakeOsConfReset(void) {
    std::lock_guard lock(gMutex);
    Factory(State());
}

void FakeOsConfSetProperty(const char* name, const char* text) {
    std::lock_guard lock(gMutex);
    if (name == nullptr) return;
    if (text == nullptr) State().properties.erase(name);
    else State().properties[name] = text;
}

int32_t FakeOsConfGetProperty(const char* name, char* text, int32_t size) {
    std::lock_guard lock(gMutex);
    auto found = name ? State().properties.find(name) : State().properties.end();
    if (found == State().properties.end()) return -1;
    if (text != nullptr && size > 0) std::snprintf(text, static_cast<size_t>(size), "%s", found->second.c_str());
    return static_cast<int32_t>(found->second.size());
}

void FakeOsConfFail(const char* name, int32_t operation, int32_t count) {
    std::lock_guard lock(gMutex);
    if (name != nullptr && count != 0) State().faults.emplace(name, Fault{operation, count});
}

void FakeOsConfSetEndpoints(int32_t flow, const AudioDeviceInfo* list, int32_t count) {
    std::lock_guard lock(gMutex);
    if (flow != kOsConfFlowRender && flow != kOsConfFlowCapture) return;
    State().endpoints[flow].assign(list, list + (list ? count : 0));
}

void FakeOsConfSetInitResult(int32_t result) {
    std::lock_guard lock(gMutex);
    State().initResult = result;
}

int32_t FakeOsConfLog(char* text, int32_t size) {
    std::lock_guard lock(gMutex);
    const std::string& log = State().log;
    if (text != nullptr && size > 0) std::snprintf(text, static_cast<size_t>(size), "%s", log.c_str());
    return static_cast<int32_t>(log.size());
}

}  // extern "C"
