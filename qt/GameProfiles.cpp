#include "qt/GameProfiles.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

#include "devices/VantrelUSBDevice.h"
#include "games/ProgramMatch.h"

namespace m470::qt {

GameProfiles::GameProfiles(RegistryStore& registry, Window window, QObject* parent)
    : QObject(parent), registry_(registry), window_(std::move(window)), on_(StoredOn()) {
    // Armed again after each look: a message box of a failed write cannot
    // let a second look run inside the first.
    timer_.setSingleShot(true);
    timer_.setInterval(kGameProfileLookMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        LookNow();
        // The look has just read every profile list: re-armed from what it found.
        WatchProfileFolders(window_.pages());
        if (on_ && !stopped_ && switch_.WatchingAfterCheck()) timer_.start();
    });
    // The choice is read again only when the registry's folder changes (a
    // save replaces the file), not at every look.
    const QString folder = QFileInfo(QString::fromStdString(registry_.Path())).absolutePath();
    if (QFileInfo(folder).isDir()) registryWatch_.addPath(folder);
    connect(&registryWatch_, &QFileSystemWatcher::directoryChanged, this, [this] { Follow(StoredOn()); });
    connect(&profileWatch_, &QFileSystemWatcher::directoryChanged, this, [this] { Reconsider(); });
}

bool GameProfiles::StoredOn() const { return registry_.ReadInt(kGameProfilesValue).value_or(1) != 0; }

void GameProfiles::Start() { Reconsider(); }

void GameProfiles::Reconsider() {
    const std::vector<CDevicePage*> pages = window_.pages();
    WatchProfileFolders(pages);
    if (!on_ || stopped_ || timer_.isActive()) return;
    if (switch_.Watching(pages)) timer_.start();
}

void GameProfiles::WatchProfileFolders(const std::vector<CDevicePage*>& pages) {
    const QStringList watched = profileWatch_.directories();
    for (const CDevicePage* page : pages) {
        const QString folder = QString::fromStdString(page->Device().DataFolder());
        if (!watched.contains(folder) && QFileInfo(folder).isDir()) profileWatch_.addPath(folder);
    }
}

void GameProfiles::SetOn(bool on) {
    registry_.Write(kGameProfilesValue, on ? "1" : "0");
    Follow(on);
}

void GameProfiles::Follow(bool on) {
    if (on == on_) return;
    on_ = on;
    if (on) {
        Reconsider();
        return;
    }
    timer_.stop();
    Tell(switch_.Release(window_.pages()));
}

void GameProfiles::Stop() {
    stopped_ = true;
    timer_.stop();
    switch_.Release(window_.pages());
}

void GameProfiles::LookNow() {
    if (on_) Tell(switch_.Check(window_.pages()));
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
