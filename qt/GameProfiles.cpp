#include "qt/GameProfiles.h"

#include <QAction>
#include <QMenu>

#include "devices/VantrelUSBDevice.h"
#include "games/ProgramMatch.h"

namespace m470::qt {

GameProfiles::GameProfiles(RegistryStore& registry, Window window, QObject* parent)
    : QObject(parent), registry_(registry), window_(std::move(window)) {
    // Armed again after each look: a message box of a failed write cannot
    // let a second look run inside the first.
    timer_.setSingleShot(true);
    timer_.setInterval(kGameProfileLookMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        LookNow();
        if (On()) timer_.start();
    });
}

bool GameProfiles::On() const { return registry_.ReadInt(kGameProfilesValue).value_or(1) != 0; }

void GameProfiles::Start() {
    if (On()) timer_.start();
}

void GameProfiles::SetOn(bool on) {
    registry_.Write(kGameProfilesValue, on ? "1" : "0");
    if (on) {
        timer_.start();
        return;
    }
    timer_.stop();
    Tell(switch_.Release(window_.pages()));
}

void GameProfiles::Stop() {
    timer_.stop();
    switch_.Release(window_.pages());
}

void GameProfiles::LookNow() {
    if (On()) Tell(switch_.Check(window_.pages()));
}

void GameProfiles::AddMenuEntry(QMenu* menu) {
    QAction* action = menu->addAction(QString::fromStdString(window_.translate("game_profiles_menu")));
    action->setObjectName("game_profiles_menu");
    action->setCheckable(true);
    action->setChecked(On());
    connect(action, &QAction::toggled, this, [this](bool on) { SetOn(on); });
}

void GameProfiles::Tell(const std::vector<GameProfileNotice>& notices) {
    for (const GameProfileNotice& notice : notices) {
        const QString device = QString::fromStdString(window_.translate(notice.device->DeviceName() + "_device_name_text"));
        const QString profile = QString::fromStdString(notice.profileName);
        const QString text = notice.program.empty()
                                 ? QString::fromStdString(window_.translate("game_profile_restored")).arg(device, profile)
                                 : QString::fromStdString(window_.translate("game_profile_switched"))
                                       .arg(device, profile, QString::fromStdString(ProgramBaseName(notice.program)));
        lastNotice_ = text.toStdString();
        if (window_.notify) window_.notify(lastNotice_);
    }
}

}  // namespace m470::qt
