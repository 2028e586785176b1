#pragma once
// A combo box whose shown text ends in "…" when it is wider than the box,
// with the whole text as tooltip (profile names may be long).
#include <QComboBox>

class QPainter;
class QStyleOptionComboBox;

namespace m470::qt {

class ElidingComboBox : public QComboBox {
    Q_OBJECT

public:
    // An item left out of the drop-down list, kept in the model so hiding it
    // does not build the list (see changeEvent); the list applies it when made.
    static constexpr int kHiddenRole = Qt::UserRole + 1;

    explicit ElidingComboBox(QWidget* parent = nullptr);
    void showPopup() override;
    // The text as painted in the box now.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool PopupMade() const;
    void DrawArrow(QPainter& painter, const QRect& area, const QStyleOptionComboBox& option) const;

    bool shown_ = false;
};

}  // namespace m470::qt
