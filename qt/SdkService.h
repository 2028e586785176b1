#pragma once
// The window's OpenRGB SDK server: started at the window's start when
// registry.json says so, switched by the settings window and m470ctl, told
// of products coming and going. A port it cannot have is said (trace and
// status), never fatal.
#include <QObject>
#include <memory>
#include <string>

#include "ctl/CtlExecutor.h"
#include "ctl/SdkSetting.h"
#include "platform/Registry.h"
#include "sdk/ProductControllers.h"
#include "sdk/SdkServer.h"
#include "shell/Language.h"

namespace m470::qt {

class SdkService : public QObject {
    Q_OBJECT

public:
    SdkService(RegistryStore& registry, ctl::CtlTarget& target, const std::string& installFolder, QObject* parent = nullptr);
    ~SdkService() override;

    // What registry.json says, now: started, stopped or left as it is.
    void Apply();
    // The user's choice: kept, then applied; false when the server was wanted and could not start.
    bool SetOn(bool on);
    bool On() const { return ctl::ReadSdkSetting(registry_).on; }
    bool Listening() const { return server_ != nullptr; }
    // "listening on 127.0.0.1:6742", "off", or why it does not listen, in English.
    const std::string& Status() const { return status_; }
    // The port it listens on (0 when it does not).
    uint16_t Port() const { return server_ ? server_->Port() : 0; }
    void DeviceListChanged();
    // Every client closed and every product given back (the window closes).
    void Stop();

private:
    // Listening on port from now on; a server already there is kept.
    bool Listen(uint16_t port);
    bool Start(uint16_t port);

    RegistryStore& registry_;
    ctl::CtlTarget& target_;
    LanguageTable english_;
    std::unique_ptr<sdk::ProductControllers> host_;
    std::unique_ptr<sdk::SdkServer> server_;
    std::string status_ = "off";
};

}  // namespace m470::qt
