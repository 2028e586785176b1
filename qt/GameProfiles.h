#pragma once
// The window's side of profiles that follow the running program: a look at
// the processes every 2 s on a timer while a look can switch something, the
// switches through the pages, a tray notification of each, and the user's
// on/off choice kept in registry.json.
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "games/ForegroundSource.h"
#include "games/ProcessTable.h"
#include "pages/GameProfileSwitch.h"
#include "platform/Registry.h"
#include "platform/Translator.h"

class QMenu;

namespace m470::qt {

inline constexpr int kGameProfileLookMs = 2000;
inline constexpr const char* kGameProfilesValue = "GameProfiles";

class GameProfiles : public QObject {
    Q_OBJECT

public:
    struct Window {
        std::function<std::vector<CDevicePage*>()> pages;  // the pages of the devices that can be reached
        std::function<void(const std::string& text)> notify;
        Translator translate;
    };
    GameProfiles(RegistryStore& registry, Window window, QObject* parent = nullptr);

    // Starts the looks when the user has not turned them off.
    void Start();
    // The reachable pages or a profile list changed: the looks run again when
    // one can switch something (a linked profile, or one a program holds).
    // Without, nothing wakes the window every 2 s.
    void Reconsider();
    bool Looking() const { return timer_.isActive(); }
    bool On() const { return on_; }
    // Kept in the registry file (read at start and when it is saved, by this
    // program or by hand); turning off gives back every profile a program holds.
    void SetOn(bool on);
    // One look now, as the timer takes it.
    void LookNow();
    // The window closes: the looks end and every profile a program holds is
    // given back, so the next start does not keep a game's profile for good.
    void Stop();
    // A checkable "game_profiles_menu" entry that turns the feature on and off.
    void AddMenuEntry(QMenu* menu);
    const std::string& LastNotice() const { return lastNotice_; }

private:
    void Tell(const std::vector<GameProfileNotice>& notices);
    bool StoredOn() const;
    // The looks run or end as the choice now is.
    void Follow(bool on);
    // The profile lists of the pages' devices are written in their folders:
    // a link made or removed shows as a change there.
    void WatchProfileFolders(const std::vector<CDevicePage*>& pages);

    RegistryStore& registry_;
    Window window_;
    bool on_;
    bool stopped_ = false;  // the window closes: no look may switch a profile back
    QFileSystemWatcher registryWatch_;
    QFileSystemWatcher profileWatch_;
    ProcProcessTable processes_;
    std::unique_ptr<ForegroundSource> foreground_ = MakeDesktopForeground();
    CGameProfileSwitch switch_{processes_, *foreground_};
    QTimer timer_;
    std::string lastNotice_;
};

}  // namespace m470::qt
