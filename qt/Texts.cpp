#include "qt/Texts.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>

namespace m470::qt {
namespace {

// A value this file keeps on a widget. Looked up among the widget's own
// run-time properties only: QObject::property first searches every declared
// property of every class up the widget's hierarchy and misses, which for a
// window of a few pages was most of a pass over its widgets.
QVariant Kept(const QObject* widget, const char* name) {
    return widget->dynamicPropertyNames().contains(name) ? widget->property(name) : QVariant();
}

// The key a widget's text came from, remembered the first time it is seen.
QString KeyOf(QWidget* widget, const QString& current, const LanguageTable& table) {
    const QVariant stored = Kept(widget, "textKey");
    if (stored.isValid()) return stored.toString();
    if (current.isEmpty() || !table.Has(current.toStdString())) return {};
    widget->setProperty("textKey", current);
    return current;
}

template <typename Widget, typename Get, typename Set>
void Translate(QWidget* widget, const LanguageTable& table, Get get, Set set) {
    auto* typed = qobject_cast<Widget*>(widget);
    if (typed == nullptr) return;
    const QString key = KeyOf(widget, (typed->*get)(), table);
    if (!key.isEmpty()) (typed->*set)(QString::fromStdString(table.Text(key.toStdString())));
}

// Combo items keep their key as item data (layout items: their first text).
void TranslateItems(QComboBox* combo, const LanguageTable& table) {
    for (int i = 0; i < combo->count(); ++i) {
        QString key = combo->itemData(i).toString();
        if (key.isEmpty() && table.Has(combo->itemText(i).toStdString())) {
            key = combo->itemText(i);
            combo->setItemData(i, key);
        }
        if (!key.isEmpty() && table.Has(key.toStdString())) combo->setItemText(i, QString::fromStdString(table.Text(key.toStdString())));
    }
}

// Tooltips: a layout's tooltip that is a key, or the title and text a
// control was given at run time (each a key or plain text).
void TranslateToolTip(QWidget* widget, const LanguageTable& table) {
    const QVariant title = Kept(widget, "m470ToolTipTitle"), text = Kept(widget, "m470ToolTipText");
    if (title.isValid() || text.isValid()) {
        widget->setToolTip(ToolTipOf(title.toString().toStdString(), text.toString().toStdString(), table));
        return;
    }
    QVariant key = Kept(widget, "toolTipKey");
    if (!key.isValid() && table.Has(widget->toolTip().toStdString())) {
        key = widget->toolTip();
        widget->setProperty("toolTipKey", key);
    }
    if (key.isValid()) widget->setToolTip(QString::fromStdString(table.Text(key.toString().toStdString())));
}

bool ShowsWords(QWidget* widget) {
    QString text;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) text = button->text();
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

// The layout under root that holds widget as one of its own items, and where.
QLayout* LayoutHolding(QLayout* layout, QWidget* widget, int& index) {
    if (layout == nullptr) return nullptr;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == widget) {
            index = i;
            return layout;
        }
        if (QLayout* inner = LayoutHolding(item->layout(), widget, index)) return inner;
    }
    return nullptr;
}

// A label right before a field in its layout names that field, as a buddy
// set in Designer would: a screen reader reads it for the slider or edit.
void FindFieldOf(QLabel* label) {
    if (label->buddy() != nullptr || label->parentWidget() == nullptr) return;
    int index = -1;
    QLayout* layout = LayoutHolding(label->parentWidget()->layout(), label, index);
    if (layout == nullptr || index + 1 >= layout->count()) return;
    QWidget* next = layout->itemAt(index + 1)->widget();
    if (next == nullptr || qobject_cast<QAbstractButton*>(next) != nullptr || qobject_cast<QLabel*>(next) != nullptr) return;
    if (next->focusPolicy() & Qt::TabFocus) label->setBuddy(next);
}

// Lists read no buddy: the label's words become their name, in the language shown.
void LinkLabelToField(QLabel* label) {
    FindFieldOf(label);
    auto* view = qobject_cast<QAbstractItemView*>(label->buddy());
    if (view == nullptr || (!view->accessibleName().isEmpty() && !Kept(view, "m470NamedByLabel").toBool())) return;
    view->setAccessibleName(label->text());
    view->setProperty("m470NamedByLabel", true);
}

}  // namespace

void NameByToolTip(QWidget* widget) {
    const bool ours = Kept(widget, "m470NamedByToolTip").toBool();
    if (!ours && !widget->accessibleName().isEmpty()) return;  // a name of its own
    if (ShowsWords(widget) || widget->toolTip().isEmpty()) {
        // Only a name of ours is taken back: marking every other widget again
        // on each pass cost a failed search of its declared properties.
        if (ours) {
            widget->setAccessibleName({});
            widget->setProperty("m470NamedByToolTip", false);
        }
        return;
    }
    widget->setAccessibleName(widget->toolTip());
    widget->setProperty("m470NamedByToolTip", true);
}

QString ToolTipOf(const std::string& title, const std::string& text, const LanguageTable& table) {
    const std::string shownTitle = table.Text(title), shownText = table.Text(text);
    return QString::fromStdString(shownTitle.empty() ? shownText : shownTitle + "\n" + shownText);
}

void ApplyTexts(QWidget* root, const LanguageTable& table) {
    if (root == nullptr) return;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        Translate<QLabel>(widget, table, &QLabel::text, &QLabel::setText);
        if (auto* label = qobject_cast<QLabel*>(widget)) LinkLabelToField(label);
        Translate<QAbstractButton>(widget, table, &QAbstractButton::text, &QAbstractButton::setText);
        Translate<QGroupBox>(widget, table, &QGroupBox::title, &QGroupBox::setTitle);
        if (auto* combo = qobject_cast<QComboBox*>(widget)) TranslateItems(combo, table);
        TranslateToolTip(widget, table);
        NameByToolTip(widget);
        if (widget->isWindow()) {
            const QVariant stored = Kept(widget, "titleKey");
            QString key = stored.isValid() ? stored.toString() : widget->windowTitle();
            if (!stored.isValid() && table.Has(key.toStdString())) widget->setProperty("titleKey", key);
            if (table.Has(key.toStdString())) widget->setWindowTitle(QString::fromStdString(table.Text(key.toStdString())));
        }
    }
}

}  // namespace m470::qt
