#include "qt/Dialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <array>

#include "platform/DebugTrace.h"
#include "qt/QtControlHost.h"
#include "qt/Texts.h"

namespace m470::qt {
namespace {

std::optional<std::optional<std::string>> gNextChoice;

constexpr std::array<int, 7> kDpiValues{48, 72, 96, 120, 144, 168, 192};

QDialog* LoadDialog(const DialogContext& context, const char* file) {
    QWidget* root = context.host->LoadLayout(context.skinFolder + file, context.owner);
    auto* dialog = qobject_cast<QDialog*>(root);
    if (dialog == nullptr) {
        delete root;
        return nullptr;
    }
    dialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    dialog->setModal(true);
    if (context.language != nullptr) ApplyTexts(dialog, *context.language);
    // The buttons that end a dialog, whatever else listens to them.
    const std::array<std::pair<const char*, int>, 3> kEnding{{{"confirm_btn", 1}, {"cancel_btn", 0}, {"closebtn", 0}}};
    for (const auto& [name, result] : kEnding)
        if (auto* button = dialog->findChild<QPushButton*>(name))
            QObject::connect(button, &QPushButton::clicked, dialog, [dialog, result = result] { dialog->done(result); });
    return dialog;
}

// The scripted answer waiting for the next chooser, if any.
std::optional<std::optional<std::string>> TakeNextChoice() {
    std::optional<std::optional<std::string>> answer = std::move(gNextChoice);
    gNextChoice.reset();
    return answer;
}

std::optional<std::string> Choose(const DialogContext& context, const QString& filter, bool save) {
    if (auto answer = TakeNextChoice()) return *answer;
    const QString path = save ? QFileDialog::getSaveFileName(context.owner, {}, {}, filter)
                              : QFileDialog::getOpenFileName(context.owner, {}, {}, filter);
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

}  // namespace

int MessageBoxDpi(int dpi) {
    for (int allowed : kDpiValues)
        if (dpi == allowed) return dpi;
    DebugTrace::Write("MSG_WND DPI SET ERROR");
    return 96;
}

int ShowMessage(const DialogContext& context, const std::string& title, const std::string& text, int dpi, bool textIsKey,
                int buttonSet) {
    QDialog* dialog = LoadDialog(context, "msgwnd.ui");
    if (dialog == nullptr) return 0;
    dialog->setProperty("m470Dpi", MessageBoxDpi(dpi));
    if (auto* label = dialog->findChild<QLabel*>("MessageTitle"); label && !title.empty()) label->setText(QString::fromStdString(title));
    if (auto* label = dialog->findChild<QLabel*>("MessageText"); label && !text.empty()) {
        const std::string shown = textIsKey && context.language != nullptr ? context.language->Text(text) : text;
        label->setText(QString::fromStdString(shown));
    }
    if (auto* cancel = dialog->findChild<QPushButton*>("cancel_btn")) {
        if (buttonSet == kButtonsConfirm) cancel->hide();
        if (buttonSet == kButtonsConfirmCancel) cancel->show();
    }
    dialog->resize(420, 200);
    const int result = dialog->exec();
    dialog->deleteLater();
    return result == 1 ? 1 : 0;
}

std::optional<std::string> ChooseOpenFile(const DialogContext& context, const QString& filter) {
    return Choose(context, filter, false);
}

std::optional<std::string> ChooseSaveFile(const DialogContext& context, const QString& filter) {
    return Choose(context, filter, true);
}

std::optional<std::string> ChooseProgram(const DialogContext& context) {
    if (auto answer = TakeNextChoice()) return *answer;
    QFileDialog dialog(context.owner, {}, "/usr/bin");
    // Any name is taken: one typed that is no file there names a program.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

void SetNextFileChoice(std::optional<std::string> answer) { gNextChoice = std::move(answer); }

void ShowAbout(const DialogContext& context, const std::string& version) {
    QDialog* dialog = LoadDialog(context, "aboutwnd.ui");
    if (dialog == nullptr) return;
    // The version line is the language's text of "software_rev_text", read
    // back through the hidden label, followed by the version.
    auto* probe = dialog->findChild<QLabel*>("text_test");
    if (auto* label = dialog->findChild<QLabel*>("software_ver_label"))
        label->setText((probe != nullptr ? probe->text() : QString()) + QString::fromStdString(version));
    dialog->resize(800, 572);
    dialog->exec();
    dialog->deleteLater();
}

}  // namespace m470::qt
