// The headset's audio-settings library on Linux: its USB sound card's ALSA
// mixer. One render and one capture endpoint per card of the headset.
//   M470_OSCONF_SYSFS=DIR  where sysfs is (default /sys)
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "AlsaMixer.h"
#include "MixerProperties.h"
#include "SoundCards.h"
#include "audio/OsConfApi.h"

namespace {

using namespace m470::osconf;

std::mutex gMutex;
std::vector<int> gCards;

std::string SysfsRoot() {
    const char* root = std::getenv("M470_OSCONF_SYSFS");
    return root != nullptr && *root ? root : "/sys";
}

// The library's failures are its result codes; ALSA's own complaints would
// land on the program's terminal.
void QuietAlsaError(const char*, int, const char*, int, const char*, ...) {}

bool ValidFlow(int32_t flow) { return flow == kOsConfFlowRender || flow == kOsConfFlowCapture; }

}  // namespace

extern "C" {

int32_t ConfLibInit(void) {
    std::lock_guard lock(gMutex);
    snd_lib_error_set_handler(QuietAlsaError);
    gCards.clear();
    return kOsConfOk;
}

int32_t CreateDeviceList(void) {
    std::lock_guard lock(gMutex);
    gCards = FindCards(SysfsRoot(), ConfiguredUsbIds());
    return kOsConfOk;
}

int32_t GetDeviceCount(int32_t flow, int32_t* count) {
    std::lock_guard lock(gMutex);
    if (count == nullptr || !ValidFlow(flow)) return kOsConfBadArgument;
    *count = static_cast<int32_t>(gCards.size());
    return kOsConfOk;
}

int32_t GetDeviceById(int32_t flow, int32_t index, AudioDeviceInfo* info) {
    std::lock_guard lock(gMutex);
    if (info == nullptr || !ValidFlow(flow)) return kOsConfBadArgument;
    if (index < 0 || static_cast<size_t>(index) >= gCards.size()) return kOsConfNoDevice;
    const int32_t type = flow == kOsConfFlowRender ? kRenderType : kCaptureType;
    *info = AudioDeviceInfo{{gCards[static_cast<size_t>(index)], type, flow, 1}};
    return kOsConfOk;
}

int32_t PropertyControl(AudioDeviceInfo device, const char* property, void** value, void**, int32_t operation) {
    if (property == nullptr || value == nullptr || *value == nullptr) return kOsConfBadArgument;
    if (operation != kOsConfRead && operation != kOsConfWrite) return kOsConfBadArgument;
    if (device.words[3] != 1 || device.words[0] < 0) return kOsConfNoDevice;
    std::lock_guard lock(gMutex);
    AlsaMixer mixer(device.words[0]);
    if (!mixer.Opened()) return kOsConfNoDevice;
    if (operation == kOsConfWrite) return WriteProperty(mixer, device.words[1], property, *value);
    std::string text;
    const int32_t result = ReadProperty(mixer, device.words[1], property, text);
    if (result == kOsConfOk) {
        const size_t length = std::min<size_t>(text.size(), kOsConfValueBytes - 1);
        std::memcpy(*value, text.data(), length);
        static_cast<char*>(*value)[length] = '\0';
    }
    return result;
}

}  // extern "C"
