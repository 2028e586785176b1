// The M470 configuration tool: one window per user session.
#include <QApplication>
#include <QFontDatabase>
#include <QPointer>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "Version.h"
#include "device_link/HidBackend.h"
#include "platform/DebugTrace.h"
#include "audio/AudioLibrary.h"
#include "platform/Folders.h"
#include "platform/ProductLock.h"
#include "qt/InstanceChannel.h"
#include "qt/MainWnd.h"
#include "qt/ScriptRunner.h"
#include "qt/UiStallWatch.h"
#include "shell/CommandLine.h"
#include "sim/VirtualDeviceHub.h"

namespace {

constexpr int kProductLockWaitMs = 15000;

// The program's own fonts; a missing one is skipped.
void LoadPrivateFonts(const std::string& installFolder) {
    for (const char* font : {"Font/Simplified_Chinese.ttf", "Font/Fennick-Regular.otf", "Font/NotoSansThai-Regular.ttf",
                             "Font/NotoSansCJKtc-Regular.otf"})
        QFontDatabase::addApplicationFont(QString::fromStdString(installFolder + font));
}

int SendMessage(const m470::CommandLine& line) {
    const m470::qt::InstanceMessage message{*line.sendName, line.sendWParam, line.sendLParam};
    std::string why;
    if (!m470::qt::SendToRunningInstance(message, 1000, &why)) {
        std::fprintf(stderr, "m470: %s not sent: %s\n", message.name.c_str(), why.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const m470::CommandLine options = m470::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.error.empty()) {
        std::fprintf(stderr, "m470: %s\n%s", options.error.c_str(), m470::UsageText());
        return 2;
    }
    if (options.help) {
        std::printf("%s", m470::UsageText());
        return 0;
    }
    if (options.version) {
        std::printf("m470 %s\n", m470::kVersion);
        return 0;
    }
    m470::qt::WatchedApplication application(argc, argv);
    if (m470::qt::UiStallWatch::WantedByEnvironment()) application.WatchStalls();
    application.setApplicationName("M470");
    application.setDesktopFileName(m470::kAppId);
    application.setQuitOnLastWindowClosed(false);
    if (const std::string notice = m470::qt::RuntimeFolderNotice(); !notice.empty())
        std::fprintf(stderr, "m470: %s\n", notice.c_str());
    if (options.sendName) return SendMessage(options);

    const std::string installFolder = m470::GetInstallFolder();
    LoadPrivateFonts(installFolder);

    // Past a file-size limit a write fails with EFBIG and the save is told;
    // the default action of SIGXFSZ would end the program instead.
    std::signal(SIGXFSZ, SIG_IGN);
    // One copy per session: a second start brings the first to the front.
    m470::qt::RaiseDescriptorLimit();
    m470::qt::InstanceServer instance;
    switch (instance.Listen()) {
        case m470::qt::ListenResult::Listening:
            break;
        case m470::qt::ListenResult::OtherCopy:
            // The copy was checked to be this user's; a refused hand-over is said, not hidden.
            if (std::string why; !m470::qt::SendToRunningInstance({m470::qt::kInstanceName, 0, 1}, 1000, &why)) {
                std::fprintf(stderr, "m470: the running copy was not reached: %s\n", why.c_str());
                return 1;
            }
            return 0;
        case m470::qt::ListenResult::Failed:
            std::fprintf(stderr, "m470: %s\n", instance.LastError().c_str());
            return 1;
    }
    // An m470ctl run that opened the products itself finishes first.
    m470::ProductLock products;
    if (std::string why; !products.Acquire(kProductLockWaitMs, &why)) {
        std::fprintf(stderr, "m470: %s\n", why.c_str());
        return 1;
    }

    std::string selection;
    if (const char* chosen = std::getenv("M470_VIRTUAL"); chosen != nullptr && *chosen != '\0') selection = chosen;
    else if (options.wantVirtual) selection = m470::EveryVirtualProduct();
    std::unique_ptr<m470::VirtualDeviceHub> hub;
    if (!selection.empty()) {
        std::string error;
        const auto names = m470::ParseVirtualSelection(selection, error);
        if (!names) {
            std::fprintf(stderr, "m470: M470_VIRTUAL: %s\n", error.c_str());
            return 2;
        }
        hub = std::make_unique<m470::VirtualDeviceHub>();
        hub->PlugAll(*names);
        // The emulators' wire, for a test that drives this process from outside.
        if (const char* traffic = std::getenv("M470_VIRTUAL_TRAFFIC"); traffic != nullptr && *traffic != '\0')
            if (!hub->Traffic().MirrorTo(traffic)) std::fprintf(stderr, "m470: M470_VIRTUAL_TRAFFIC: cannot write %s\n", traffic);
        m470::SetDefaultHidBackend(hub->Backend());
        // The virtual headset's sound settings go to the stand-in library.
        m470::SetDefaultAudioLibraryPath(m470::AudioLibraryPath(true));
    }

    // Another audio library for the headset (an absolute path), e.g. to try one.
    if (const char* library = std::getenv("M470_AUDIO_LIBRARY"); library != nullptr && *library != '\0')
        m470::SetDefaultAudioLibraryPath(library);

    m470::qt::CMainWnd window(QString::fromStdString(installFolder));
    if (!window.InitWindow()) {
        std::fprintf(stderr, "m470: the main window layout is missing (%sskin/mainwindow.ui)\n", installFolder.c_str());
        return 1;
    }
    if (hub) window.MarkVirtualProducts();
    QObject::connect(&instance, &m470::qt::InstanceServer::messageReceived, &window,
                     [&window, &instance](const m470::qt::InstanceMessage& message, m470::qt::InstanceClient* from) {
                         QPointer<m470::qt::InstanceClient> asking(from);
                         window.HandleNamedMessage(message, [asking, &instance](const std::string& line) {
                             if (asking) instance.Reply(asking, line);
                         });
                     });
    QObject::connect(&instance, &m470::qt::InstanceServer::controlRequest, &window,
                     [&window, &instance](const std::vector<std::string>& words, m470::qt::InstanceClient* from) {
                         QPointer<m470::qt::InstanceClient> asking(from);
                         const std::string line = window.HandleControlRequest(words);
                         if (asking) instance.Reply(asking, line);
                     });
    window.SetBroadcaster([&instance](const m470::qt::InstanceMessage& message) { instance.Broadcast(message); });
    QObject::connect(&window, &m470::qt::CMainWnd::exitRequested, &application, &QApplication::quit);
    window.FitToMonitor();  // inside the screen from its first frame
    // --tray (the session's autostart): hidden until the tray icon is used;
    // without a tray the window shows, or there would be no way to it.
    window.StartInTray(options.tray);
    if (!window.StartsHidden()) window.show();
    {
        // The window is up; what follows holds it before the first event.
        const m470::qt::StallScope startUp("window start after show");
        window.OnWindowInit();
        window.StartDeviceManager(m470::DefaultHidBackend());
        window.StartMusicLighting();
    }
    instance.Broadcast({m470::qt::kLightingBroadcast, 1, 1});

    int exitCode = 0;
    std::unique_ptr<m470::qt::ScriptRunner> runner;
    const auto finish = [&](int code) {
        if (!options.screenshot.empty() && !m470::qt::SaveScreenshot(&window, QString::fromStdString(options.screenshot))) {
            std::fprintf(stderr, "m470: cannot write %s\n", options.screenshot.c_str());
            code = 1;
        }
        exitCode = code;
        window.RequestExit();
    };
    if (!options.script.empty()) {
        runner = std::make_unique<m470::qt::ScriptRunner>(window, hub.get());
        std::string error;
        if (!runner->Load(QString::fromStdString(options.script), error)) {
            std::fprintf(stderr, "m470: %s\n", error.c_str());
            return 1;
        }
        QObject::connect(runner.get(), &m470::qt::ScriptRunner::finished, &window, finish);
        QTimer::singleShot(200, runner.get(), [&runner] { runner->Start(); });  // after the window has its size
    } else if (!options.screenshot.empty()) {
        QTimer::singleShot(400, &window, [&finish] { finish(0); });
    }
    application.exec();
    instance.Close();
    return exitCode;
}
