#include "qt/MusicWindows.h"

#include <QDialog>
#include <QPointer>

#include "music/ColorSelectWnd.h"
#include "music/MusicWnd.h"
#include "platform/Folders.h"
#include "qt/QtControlHost.h"
#include "qt/Texts.h"

namespace m470::qt {
namespace {

// The layout as a frameless modal dialog of its own host; nullptr without it.
QDialog* LoadOwnDialog(QtControlHost& host, const DialogContext& context, const char* file) {
    host.SetLanguage(context.language);
    // Loaded as a top-level tree of the host, so its lookups by name find it, then owned.
    QWidget* root = host.LoadLayout(context.skinFolder + file, nullptr);
    auto* dialog = qobject_cast<QDialog*>(root);
    if (dialog == nullptr) {
        delete root;
        return nullptr;
    }
    dialog->setParent(context.owner, Qt::Dialog | Qt::FramelessWindowHint);
    dialog->setModal(true);
    if (context.language != nullptr) ApplyTexts(dialog, *context.language);
    return dialog;
}

void Centre(QDialog* dialog, const DialogContext& context) {
    if (context.owner != nullptr && context.owner->isVisible())
        dialog->move(context.owner->geometry().center() - dialog->rect().center());
}

}  // namespace

std::optional<MusicStyles> RunMusicWindow(const DialogContext& context, const MusicStyles& styles) {
    QtControlHost host;
    QDialog* dialog = LoadOwnDialog(host, context, "music.ui");
    if (dialog == nullptr) return std::nullopt;
    QPointer<QDialog> guard(dialog);
    const Translator translate = [&context](std::string_view key) {
        return context.language != nullptr ? context.language->Text(std::string(key)) : std::string(key);
    };
    MusicWnd window(
        host, styles,
        [guard](int result) {
            if (guard) guard->done(result);
        },
        translate);
    host.SetNotifyCallback([&window](const ui::Notification& n) { window.Notify(n); });
    dialog->resize(kMusicWindowSize);
    window.WindowInit();
    Centre(dialog, context);
    // Rejected (0) is also what a close by the window manager gives.
    const int result = dialog->exec();
    host.SetNotifyCallback({});
    delete dialog;
    if (result != 1) return std::nullopt;
    return window.Styles();
}

std::optional<uint32_t> RunPaletteWindow(const DialogContext& context, uint32_t colour) {
    QtControlHost host;
    QDialog* dialog = LoadOwnDialog(host, context, "PalletDialog.ui");
    if (dialog == nullptr) return std::nullopt;
    QPointer<QDialog> guard(dialog);
    CColorSelectWnd window(host, GetAppDataFolder() + kSwatchFileName, GetDefaultDataFolder() + kSwatchFileName,
                           [guard](int result) {
                               if (guard) guard->done(result);
                           });
    host.SetNotifyCallback([&window](const ui::Notification& n) { window.Notify(n); });
    window.ShowColour(colour);
    window.ShowSevenColour(0);
    window.WindowInit();
    Centre(dialog, context);
    const int result = dialog->exec();
    host.SetNotifyCallback({});
    delete dialog;
    if (result != kPaletteTaken) return std::nullopt;
    return window.CurrentColour();
}

}  // namespace m470::qt
