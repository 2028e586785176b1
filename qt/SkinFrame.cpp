#include "qt/SkinFrame.h"

#include <QAbstractButton>
#include <QFile>
#include <QIcon>
#include <QApplication>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <array>

#include "platform/IniFile.h"
#include "platform/JsonFile.h"
#include "platform/Text.h"
#include "qt/ControlLoader.h"

namespace m470::qt {
namespace {

enum class SkinAction { Picture, Colour, PicturePage, ColourPage, Reset, OwnPicture };

struct SkinClick {
    const char* control;
    SkinAction action;
};

constexpr std::array<SkinClick, 6> kSkinClicks{{
    {"skin_image_btn", SkinAction::Picture},
    {"skin_color_btn", SkinAction::Colour},
    {"skin_image", SkinAction::PicturePage},
    {"skin_color", SkinAction::ColourPage},
    {"skin_reset", SkinAction::Reset},
    {"skin_Custom", SkinAction::OwnPicture},
}};

// The row of a control name, or of its family when it ends in "_" and a number.
const SkinClick* RowOf(const QString& name) {
    const auto find = [](const std::string& wanted) -> const SkinClick* {
        for (const SkinClick& row : kSkinClicks)
            if (EqualsIgnoringCase(wanted, row.control)) return &row;
        return nullptr;
    };
    const std::string text = name.toStdString();
    if (const SkinClick* row = find(text)) return row;
    std::string prefix;
    int number = 0;
    if (SplitIndexedName(text, prefix, number) && prefix.size() > 1) return find(prefix.substr(0, prefix.size() - 1));
    return nullptr;
}

}  // namespace

CSkinFrame::CSkinFrame(QWidget* owner, QWidget* anchor, const QString& skinFolder, const QString& iniPath, Hooks hooks)
    : QWidget(owner, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      owner_(owner), iniPath_(iniPath), hooks_(std::move(hooks)) {
    setObjectName("skinframe_window");
    setAttribute(Qt::WA_DeleteOnClose);
    QFile file(skinFolder + "skin.ui");
    if (file.open(QIODevice::ReadOnly)) {
        ControlLoader loader;
        content_ = loader.load(&file, this);
    }
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    if (content_ == nullptr) return;
    box->addWidget(content_);
    for (QAbstractButton* button : content_->findChildren<QAbstractButton*>()) {
        if (RowOf(button->objectName()) == nullptr) continue;
        // Pictures show themselves, colours their swatch.
        const QString picture = button->property("userData").toString();
        if (RowOf(button->objectName())->action == SkinAction::Picture && !picture.isEmpty()) {
            button->setIcon(QIcon("skin:" + picture));
            button->setIconSize(button->minimumSize() - QSize(8, 8));
        }
        const QString colour = button->property("bkColour").toString();
        if (!colour.isEmpty())
            button->setStyleSheet(QString("QPushButton { background-color: %1; }")
                                      .arg(QColor::fromRgba(ParseArgbText(colour.toStdString())).name(QColor::HexArgb)));
        connect(button, &QAbstractButton::clicked, this, [this, button] { Click(button); });
    }
    adjustSize();
    if (anchor != nullptr) move(PlacementUnder(anchor, size()));
}

QPoint CSkinFrame::PlacementUnder(const QWidget* anchor, QSize size) {
    const QPoint bottomRight = anchor->mapToGlobal(QPoint(anchor->width(), anchor->height()));
    return {bottomRight.x() - size.width(), bottomRight.y()};
}

void CSkinFrame::Record(int flags, const QString& image) {
    const std::string path = iniPath_.toStdString();
    // The record is best effort: the background has changed either way.
    WriteIniValue(path, kSkinIniSection, "FLAGS", std::to_string(flags));
    WriteIniValue(path, kSkinIniSection, "IMAGE", image.toStdString());
}

void CSkinFrame::Click(QAbstractButton* button) {
    const SkinClick* row = RowOf(button->objectName());
    if (row == nullptr) return;
    const auto notify = [this](const SkinChangedParam& param) {
        if (hooks_.changed) hooks_.changed(param);
    };
    auto* tabs = content_->findChild<QStackedWidget*>("skin_tab");
    switch (row->action) {
        case SkinAction::Picture: {
            const QString picture = button->property("userData").toString();
            notify({false, 0, picture.toStdString()});
            Record(1, picture);
            break;
        }
        case SkinAction::Colour:
            notify({true, ParseArgbText(button->property("bkColour").toString().toStdString()), {}});
            break;
        case SkinAction::PicturePage:
            if (tabs != nullptr) tabs->setCurrentIndex(0);
            break;
        case SkinAction::ColourPage:
            if (tabs != nullptr) tabs->setCurrentIndex(1);
            break;
        case SkinAction::Reset:
            notify({false, 0, kDefaultSkinImage});
            Record(0, kDefaultSkinImage);
            break;
        case SkinAction::OwnPicture: {
            // Close first: the chooser takes the focus, which closes a pop-up anyway.
            // The chooser runs on the owner once this pop-up is deleted, never under it.
            if (std::function<void()> choose = hooks_.chooseOwnPicture) {
                QObject* target = owner_ != nullptr ? static_cast<QObject*>(owner_) : qApp;
                connect(this, &QObject::destroyed, target, [target, choose] { QTimer::singleShot(0, target, choose); });
            }
            close();
            break;
        }
    }
}

}  // namespace m470::qt
