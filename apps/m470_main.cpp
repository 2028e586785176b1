// The M470 configuration tool: one window per user session.
#include <QApplication>
#include <QFontDatabase>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "Version.h"
#include "device_link/HidBackend.h"
#include "platform/DebugTrace.h"
#include "platform/Folders.h"
#include "qt/InstanceChannel.h"
#include "qt/MainWnd.h"
#include "qt/ScriptRunner.h"
#include "sim/VirtualDeviceHub.h"

namespace {

struct Options {
    bool version = false;
    bool wantVirtual = false;
    QString script, screenshot;
    std::vector<std::string> send;  // NAME [wParam lParam]
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--version") options.version = true;
        else if (arg == "--virtual") options.wantVirtual = true;
        else if (arg == "--script" && i + 1 < argc) options.script = argv[++i];
        else if (arg == "--screenshot" && i + 1 < argc) options.screenshot = argv[++i];
        else if (arg == "--send") {
            while (i + 1 < argc && options.send.size() < 3) options.send.push_back(argv[++i]);
        }
    }
    return options;
}

// The program's own fonts; a missing one is skipped.
void LoadPrivateFonts(const std::string& installFolder) {
    for (const char* font : {"Font/Simplified_Chinese.ttf", "Font/Fennick-Regular.otf", "Font/NotoSansThai-Regular.ttf",
                             "Font/NotoSansCJKtc-Regular.otf"})
        QFontDatabase::addApplicationFont(QString::fromStdString(installFolder + font));
}

int SendMessage(const std::vector<std::string>& words) {
    if (words.empty()) {
        std::fprintf(stderr, "m470: --send needs a message name\n");
        return 2;
    }
    m470::qt::InstanceMessage message{words[0], 0, 0};
    if (words.size() > 1) message.wParam = std::stol(words[1]);
    if (words.size() > 2) message.lParam = std::stol(words[2]);
    if (!m470::qt::SendToRunningInstance(message)) {
        std::fprintf(stderr, "m470: no running M470 to send %s to\n", words[0].c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    if (options.version) {
        std::printf("m470 %s\n", m470::kVersion);
        return 0;
    }
    QApplication application(argc, argv);
    application.setApplicationName("M470");
    application.setQuitOnLastWindowClosed(false);
    if (!options.send.empty()) return SendMessage(options.send);

    const std::string installFolder = m470::GetInstallFolder();
    LoadPrivateFonts(installFolder);

    // One copy per session: a second start brings the first to the front.
    m470::qt::InstanceServer instance;
    if (!instance.Listen()) {
        m470::qt::SendToRunningInstance({m470::qt::kInstanceName, 0, 1});
        return 0;
    }

    std::string selection;
    if (const char* chosen = std::getenv("M470_VIRTUAL"); chosen != nullptr && *chosen != '\0') selection = chosen;
    else if (options.wantVirtual) selection = "mouse,keyboard,mousepad,headset";
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
        m470::SetDefaultHidBackend(hub->Backend());
    }

    m470::qt::CMainWnd window(QString::fromStdString(installFolder));
    if (!window.InitWindow()) {
        std::fprintf(stderr, "m470: the main window layout is missing (%sskin/mainwindow.ui)\n", installFolder.c_str());
        return 1;
    }
    QObject::connect(&instance, &m470::qt::InstanceServer::messageReceived, &window,
                     [&window](const m470::qt::InstanceMessage& message, QLocalSocket*) { window.HandleNamedMessage(message); });
    window.SetBroadcaster([&instance](const m470::qt::InstanceMessage& message) { instance.Broadcast(message); });
    QObject::connect(&window, &m470::qt::CMainWnd::exitRequested, &application, &QApplication::quit);
    window.show();
    window.OnWindowInit();
    window.StartDeviceManager(m470::DefaultHidBackend());
    instance.Broadcast({m470::qt::kLightingBroadcast, 1, 1});

    int exitCode = 0;
    std::unique_ptr<m470::qt::ScriptRunner> runner;
    const auto finish = [&](int code) {
        if (!options.screenshot.isEmpty() && !m470::qt::SaveScreenshot(&window, options.screenshot)) {
            std::fprintf(stderr, "m470: cannot write %s\n", options.screenshot.toStdString().c_str());
            code = 1;
        }
        exitCode = code;
        window.RequestExit();
    };
    if (!options.script.isEmpty()) {
        runner = std::make_unique<m470::qt::ScriptRunner>(window, hub.get());
        std::string error;
        if (!runner->Load(options.script, error)) {
            std::fprintf(stderr, "m470: %s\n", error.c_str());
            return 1;
        }
        QObject::connect(runner.get(), &m470::qt::ScriptRunner::finished, &window, finish);
        QTimer::singleShot(200, runner.get(), [&runner] { runner->Start(); });  // after the window has its size
    } else if (!options.screenshot.isEmpty()) {
        QTimer::singleShot(400, &window, [&finish] { finish(0); });
    }
    application.exec();
    instance.Close();
    return exitCode;
}
