#include "qt/Texts.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

namespace m470::qt {
namespace {

// The key a widget's text came from, remembered the first time it is seen.
QString KeyOf(QWidget* widget, const QString& current, const LanguageTable& table) {
    const QVariant stored = widget->property("textKey");
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
    const QVariant title = widget->property("m470ToolTipTitle"), text = widget->property("m470ToolTipText");
    if (title.isValid() || text.isValid()) {
        widget->setToolTip(ToolTipOf(title.toString().toStdString(), text.toString().toStdString(), table));
        return;
    }
    QVariant key = widget->property("toolTipKey");
    if (!key.isValid() && table.Has(widget->toolTip().toStdString())) {
        key = widget->toolTip();
        widget->setProperty("toolTipKey", key);
    }
    if (key.isValid()) widget->setToolTip(QString::fromStdString(table.Text(key.toString().toStdString())));
}

}  // namespace

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
        Translate<QAbstractButton>(widget, table, &QAbstractButton::text, &QAbstractButton::setText);
        Translate<QGroupBox>(widget, table, &QGroupBox::title, &QGroupBox::setTitle);
        if (auto* combo = qobject_cast<QComboBox*>(widget)) TranslateItems(combo, table);
        TranslateToolTip(widget, table);
        if (widget->isWindow()) {
            const QVariant stored = widget->property("titleKey");
            QString key = stored.isValid() ? stored.toString() : widget->windowTitle();
            if (!stored.isValid() && table.Has(key.toStdString())) widget->setProperty("titleKey", key);
            if (table.Has(key.toStdString())) widget->setWindowTitle(QString::fromStdString(table.Text(key.toStdString())));
        }
    }
}

}  // namespace m470::qt
