#include "qt/SdkService.h"

#include <QMetaObject>

#include "platform/DebugTrace.h"

namespace m470::qt {

SdkService::SdkService(RegistryStore& registry, ctl::CtlTarget& target, const std::string& installFolder, QObject* parent)
    : QObject(parent), registry_(registry), target_(target) {
    english_.Load(installFolder + "skin/lang/en.json");  // mode and product names as clients show them
}

SdkService::~SdkService() { Stop(); }

void SdkService::Apply() {
    const ctl::SdkSetting setting = ctl::ReadSdkSetting(registry_);
    if (!setting.on) {
        Stop();
        return;
    }
    Listen(setting.port);
}

bool SdkService::SetOn(bool on) {
    if (!ctl::WriteSdkOn(registry_, on)) DebugTrace::Write("SDK server: registry.json could not be written");
    if (!on) {
        Stop();
        return true;
    }
    return Listen(ctl::ReadSdkSetting(registry_).port);
}

bool SdkService::Listen(uint16_t port) {
    if (server_ && server_->Port() == port) return true;  // already there: its clients stay connected
    Stop();
    return Start(port);
}

bool SdkService::Start(uint16_t port) {
    // The server's thread asks for the devices on this (the UI) thread and waits.
    host_ = std::make_unique<sdk::ProductControllers>(target_, english_, [this](std::function<void()> work) {
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
    });
    server_ = std::make_unique<sdk::SdkServer>(*host_);
    std::string why;
    if (!server_->Start(port, why)) {
        server_.reset();
        host_.reset();
        status_ = "not listening: " + why;
        DebugTrace::Write("SDK server " + status_);
        return false;
    }
    status_ = "listening on 127.0.0.1:" + std::to_string(server_->Port());
    return true;
}

void SdkService::DeviceListChanged() {
    if (server_) server_->DeviceListChanged();
}

void SdkService::Stop() {
    if (server_) {
        host_->Abandon();  // the server's waits end: this thread is about to join it
        server_->Stop();
        host_->ReleaseEverything();
    }
    server_.reset();
    host_.reset();
    status_ = "off";
}

}  // namespace m470::qt
