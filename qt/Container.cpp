#include "qt/Container.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QStackedWidget>

namespace m470::qt {
namespace {

// Holds back the style's polish of a widget while it lies on a page not
// shown (a new widget asks for it at the next turn of the event loop, a page
// of an inner stack made current asks for it at once); PolishHeldBack gives
// it when the page comes to be shown.
class PolishDeferral : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Polish || !watched->isWidgetType()) return false;
        return Container::OnUnshownPage(static_cast<QWidget*>(watched));
    }
};

// One filter per application, owned by it: a later application gets its own.
void DeferPolishOnUnshownPages() {
    static QPointer<PolishDeferral> deferral;
    if (deferral != nullptr || QCoreApplication::instance() == nullptr) return;
    deferral = new PolishDeferral;
    deferral->setParent(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(deferral);
}

}  // namespace

Container::Container(QWidget* parent) : QWidget(parent) { DeferPolishOnUnshownPages(); }

bool Container::UnshownPage() const {
    const QSizePolicy policy = sizePolicy();
    if (policy.horizontalPolicy() != QSizePolicy::Ignored || policy.verticalPolicy() != QSizePolicy::Ignored) return false;
    const auto* stack = qobject_cast<const QStackedWidget*>(parentWidget());
    return stack != nullptr && stack->currentWidget() != this;
}

bool Container::OnUnshownPage(const QWidget* widget) {
    for (const QWidget* at = widget; at != nullptr; at = at->parentWidget())
        if (const auto* page = dynamic_cast<const Container*>(at); page != nullptr && page->UnshownPage()) return true;
    return false;
}

void Container::PolishHeldBack(QWidget* widget) {
    if (!OnUnshownPage(widget)) PolishTree(widget);
}

// Parents first, as Qt polishes; a page still not shown keeps waiting.
void Container::PolishTree(QWidget* widget) {
    if (const auto* page = dynamic_cast<const Container*>(widget); page != nullptr && page->UnshownPage()) return;
    if (!widget->testAttribute(Qt::WA_WState_Polished)) {
        QEvent polish(QEvent::Polish);
        QCoreApplication::sendEvent(widget, &polish);
        // Its sizes may have been taken unpolished as the page came up: they are taken again.
        QEvent styled(QEvent::StyleChange);
        QCoreApplication::sendEvent(widget, &styled);
    }
    for (QObject* child : widget->children())
        if (child->isWidgetType()) PolishTree(static_cast<QWidget*>(child));
}

// Its stack counts neither hint of an ignored page; its minimum counts only
// the page's own minimum size, which this leaves as it is.
QSize Container::sizeHint() const { return UnshownPage() ? QSize(0, 0) : QWidget::sizeHint(); }

QSize Container::minimumSizeHint() const { return UnshownPage() ? QSize(0, 0) : QWidget::minimumSizeHint(); }

// A page not shown must not lengthen its stack through wrapped texts either.
bool Container::hasHeightForWidth() const { return !UnshownPage() && QWidget::hasHeightForWidth(); }

int Container::heightForWidth(int width) const { return UnshownPage() ? -1 : QWidget::heightForWidth(width); }

}  // namespace m470::qt
