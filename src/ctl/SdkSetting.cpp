#include "ctl/SdkSetting.h"

namespace m470::ctl {

SdkSetting ReadSdkSetting(const RegistryStore& registry) {
    SdkSetting setting;
    setting.on = registry.ReadInt(kSdkValue).value_or(0) != 0;
    const int port = registry.ReadInt(kSdkPortValue).value_or(kSdkDefaultPort);
    if (port >= 1 && port <= 0xFFFF) setting.port = static_cast<uint16_t>(port);
    return setting;
}

bool WriteSdkOn(RegistryStore& registry, bool on) { return registry.Write(kSdkValue, on ? "1" : "0"); }

}  // namespace m470::ctl
