#pragma once
// The plain containers of the layouts. A page its stack does not show has a
// size policy that ignores it both ways (the host sees to it), yet Qt's
// stack still asks it its size hint, minimum and height for a width, and
// every new widget asks to be polished at the next turn of the event loop:
// either way each widget of a product's page added behind the shown one was
// matched against the window's style sheet at once, most of the keyboard's
// arrival. Such a page answers "nothing" without asking its widgets, and its
// widgets wait: showing the page polishes them all, before any is painted.
// No Q_OBJECT on purpose: to the style sheet and to casts it is a QWidget.
#include <QWidget>

namespace m470::qt {

class Container : public QWidget {
public:
    explicit Container(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

    // A page of a stack, not the stack's current one, that its policy ignores both ways.
    bool UnshownPage() const;
    // Whether widget lies on such a page (or is one).
    static bool OnUnshownPage(const QWidget* widget);
    // Gives widget and what lies under it the polish held back, but for pages still not shown.
    static void PolishHeldBack(QWidget* widget);

private:
    static void PolishTree(QWidget* widget);
};

}  // namespace m470::qt
