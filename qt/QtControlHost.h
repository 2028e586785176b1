#pragma once
// The control contract over real widgets: layouts are Qt Designer .ui files
// loaded at run time, Qt signals become the notifications of the contract.
#include <QObject>
#include <QPointer>
#include <QString>
#include <map>
#include <memory>
#include <vector>

#include "ui/Control.h"
#include "shell/Language.h"

class QButtonGroup;
class QTimer;
class QWidget;
class QAbstractSlider;
class QStackedWidget;

namespace m470::qt {

class QtControl;

class QtControlHost : public QObject, public ui::ControlHost {
    Q_OBJECT

public:
    QtControlHost();
    ~QtControlHost() override;

    // Loads a layout (widgets with a "layoutFile" property load that layout,
    // from the same folder, as their content). nullptr when it cannot be read.
    QWidget* LoadLayout(const QString& path, QWidget* parent = nullptr);
    // Makes a widget tree (and every named widget in it) part of the host.
    void Adopt(QWidget* root);
    ui::Control* Wrap(QWidget* widget);
    QWidget* WidgetOf(ui::Control* control) const;

    ui::Control* LoadLayoutInto(const std::string& path, ui::Control* parent) override;
    bool LoadHeldLayout(ui::Control* holder) override;
    ui::Control* Find(const std::string& name) override;
    ui::Control* FindUnder(ui::Control* parent, const std::string& name) override;
    void SetTimer(ui::Control* control, int id, int delayMs) override;
    void KillTimer(ui::Control* control, int id) override;
    void SetNotifyCallback(ui::NotifyCallback callback) override { callback_ = std::move(callback); }
    void SendNotify(ui::Control* sender, const std::string& event, intptr_t wParam = 0, intptr_t lParam = 0) override;

    QButtonGroup* GroupNamed(const std::string& name);
    // Texts set at run time that are language keys show the key's text.
    void SetLanguage(const LanguageTable* language) { language_ = language; }
    const LanguageTable* Language() const { return language_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowValueBeside(QAbstractSlider* slider);
    void ShowSliderValue(QAbstractSlider* slider);
    void Connect(QWidget* widget, QtControl* control);
    void LoadSubLayouts(QWidget* root, const QString& folder);
    // The holder's "layoutFile" as its content; nullptr when it cannot be read.
    QWidget* LoadSubLayout(QWidget* holder, const QString& folder);
    // With joining, the loaded root becomes a page of that stack.
    QWidget* LoadLayout(const QString& path, QWidget* parent, QStackedWidget* joining);
    void JoinStack(QStackedWidget* stack, QWidget* page);

    std::map<QWidget*, std::unique_ptr<QtControl>> controls_;
    std::vector<QPointer<QWidget>> roots_;
    std::map<std::pair<QWidget*, int>, QTimer*> timers_;
    std::map<std::string, QButtonGroup*> groups_;
    ui::NotifyCallback callback_;
    const LanguageTable* language_ = nullptr;
};

}  // namespace m470::qt
