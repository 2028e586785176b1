// The settings window on real widgets: its own control host, so its
// notifications go to it alone; its workers reach it through queued calls.
#include <QCoreApplication>
#include <QDialog>
#include <QMetaObject>
#include <QPointer>

#include <memory>

#include "Version.h"
#include "platform/DebugTrace.h"
#include "platform/Folders.h"
#include "qt/MainWnd.h"
#include "qt/QtControlHost.h"
#include "qt/Texts.h"
#include "shell/UpdateList.h"
#include "update/SetWnd.h"

namespace m470::qt {

void CMainWnd::OpenSettings() {
    if (setWnd_) return;  // one settings window at a time
    DebugTrace::Write("settings window opened");
    QtControlHost host;
    host.SetLanguage(&language_);
    QWidget* root = host.LoadLayout(installFolder_ + "skin/setwnd.ui", this);
    auto* dialog = qobject_cast<QDialog*>(root);
    if (dialog == nullptr) {
        delete root;
        return;
    }
    dialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    dialog->setModal(true);
    ApplyTexts(dialog, language_);

    SetWndOptions options;
    options.settings = ReadUpdateSettings(registry_);
    options.dataFolder = GetAppDataFolder();
    options.itemLayout = installFolder_.toStdString() + "skin/updatelistitem.ui";
    for (const LanguageEntry& entry : languageChoice_.List()) options.languages.push_back(LanguageDisplayName(entry));
    options.languageIndex = languageIndex_;
    options.executable = QCoreApplication::applicationFilePath().toStdString();
    options.translate = [this](std::string_view key) { return Text(std::string(key)); };
    if (news_) options.news = news_->Choices();

    CSetWnd* shown = nullptr;
    SetWndServices services;
    QPointer<QDialog> guard(dialog);
    services.post = [guard](std::function<void()> work) {
        if (guard) QMetaObject::invokeMethod(guard, std::move(work), Qt::QueuedConnection);
    };
    services.switchLanguage = [this, &shown](int index) {
        HandleMessage(window_message::kSwitchLanguage, index, 0);
        if (shown != nullptr) shown->RefreshTexts();
    };
    services.lastCheckShown = [this] { HandleMessage(window_message::kClearSettingsMark, 0, 0); };
    services.tell = [this](const std::string& text) { ShowMessage(Dialogs(), "", text, dpi_, true, kButtonsConfirm); };
    services.setNews = [this](const NewsChoices& choices) { SetNewsChoices(choices); };
    services.sdkOn = [this] { return sdk_ && sdk_->On(); };
    services.sdkStatus = [this] { return SdkStatusLine(); };
    services.switchSdk = [this](bool on) { return SwitchSdk(on); };
    services.close = [guard] {
        if (guard) guard->done(0);
    };
    auto window = std::make_unique<CSetWnd>(host, host.Wrap(dialog), std::move(options), std::move(services));
    shown = window.get();
    host.SetNotifyCallback([&window](const ui::Notification& n) {
        if (window) window->Notify(n);
    });

    setWnd_ = dialog;
    auxWindows_.push_back(dialog);
    dialog->resize(630, 500);
    if (isVisible()) dialog->move(geometry().right() - dialog->width() - 30, geometry().top() + 60);
    window->Open(BuildUpdateList(selector_.get(), registry_, kVersion));
    dialog->exec();
    window.reset();  // stops and joins the workers before the controls go
    delete dialog;
}

}  // namespace m470::qt
