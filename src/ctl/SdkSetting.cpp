#include "ctl/SdkSetting.h"

#include "platform/DebugTrace.h"

namespace m470::ctl {

SdkSetting ReadSdkSetting(const RegistryStore& registry) {
    SdkSetting setting;
    setting.on = registry.ReadInt(kSdkValue).value_or(0) != 0;
    const std::optional<std::string> text = registry.Read(kSdkPortValue);
    if (!text) return setting;
    const std::optional<int> port = registry.ReadInt(kSdkPortValue);
    if (port && *port >= 1 && *port <= 0xFFFF) setting.port = static_cast<uint16_t>(*port);
    else DebugTrace::Write(std::string(kSdkPortValue) + " \"" + *text + "\" is no port from 1 to 65535: " +
                           std::to_string(kSdkDefaultPort) + " is used");
    return setting;
}

bool WriteSdkOn(RegistryStore& registry, bool on) { return registry.Write(kSdkValue, on ? "1" : "0"); }

}  // namespace m470::ctl
