#pragma once
// The background chooser: a pop-up built from skin/skin.ui, its right edge
// on the anchor's right edge and its top on the anchor's bottom. It closes
// when the user clicks elsewhere. A choice reaches the main window as a
// SkinChangedParam; layout pictures and the reset are recorded in "main.ini".
#include <QString>
#include <QWidget>
#include <functional>

#include "shell/SkinChange.h"

class QAbstractButton;

namespace m470::qt {

class CSkinFrame : public QWidget {
    Q_OBJECT

public:
    struct Hooks {
        std::function<void(const SkinChangedParam&)> changed;
        // Runs on the owner once the pop-up has closed: the file chooser is
        // the owner's, so the pop-up's closing cannot take it away.
        std::function<void()> chooseOwnPicture;
    };

    // Shown at once; deleted when it closes. layout is the skin folder's
    // "skin.ui", iniPath the record file.
    CSkinFrame(QWidget* owner, QWidget* anchor, const QString& skinFolder, const QString& iniPath, Hooks hooks);
    bool Loaded() const { return content_ != nullptr; }
    // Top-left corner in screen coordinates for a pop-up of that size.
    static QPoint PlacementUnder(const QWidget* anchor, QSize size);
    // What a click on the named control does (names compared without
    // regard to case; "skin_image_btn_2" is a "skin_image_btn").
    void Click(QAbstractButton* button);

private:
    void Record(int flags, const QString& image);

    QWidget* owner_ = nullptr;
    QWidget* content_ = nullptr;
    QString iniPath_;
    Hooks hooks_;
};

}  // namespace m470::qt
