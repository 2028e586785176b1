#pragma once
// The message box, the file choosers and the About window.
#include <QString>
#include <optional>
#include <string>

#include "shell/Language.h"

class QWidget;

namespace m470::qt {

class QtControlHost;

// Button set 0: "confirm_btn" only; 1: "confirm_btn" and "cancel_btn".
inline constexpr int kButtonsConfirm = 0;
inline constexpr int kButtonsConfirmCancel = 1;

struct DialogContext {
    QWidget* owner = nullptr;
    QtControlHost* host = nullptr;
    const LanguageTable* language = nullptr;
    QString skinFolder;
};

// 1 when "confirm_btn" was pressed, 0 otherwise (cancel or close).
int ShowMessage(const DialogContext& context, const std::string& title, const std::string& text, int dpi, bool textIsKey,
                int buttonSet);
// A DPI the message box accepts: 48-192 in steps of 24, else 96.
int MessageBoxDpi(int dpi);

// The system's open and save dialogs; filter like "Profile Files(*.json)".
// nullopt when cancelled.
std::optional<std::string> ChooseOpenFile(const DialogContext& context, const QString& filter);
std::optional<std::string> ChooseSaveFile(const DialogContext& context, const QString& filter);
// An executable, starting in /usr/bin; a name typed is returned as a path in
// the folder shown.
std::optional<std::string> ChooseProgram(const DialogContext& context);
// For scripted runs: the answer of the next file chooser ("" = cancel).
void SetNextFileChoice(std::optional<std::string> answer);

void ShowAbout(const DialogContext& context, const std::string& version);

}  // namespace m470::qt
