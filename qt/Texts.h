#pragma once
// Layout texts are language keys: every label, button and title whose text
// is a key of the language table shows that key's text, and keeps the key so
// a language switch can show it again in the new language.
#include <QWidget>

#include "shell/Language.h"

namespace m470::qt {

void ApplyTexts(QWidget* root, const LanguageTable& table);
// A tooltip of a title and a text, each shown in the language when it is a key.
QString ToolTipOf(const std::string& title, const std::string& text, const LanguageTable& table);
// A control that shows no words (a glyph, a colour, a picture, a slider) is
// named for screen readers by its tooltip; a name of its own is kept.
void NameByToolTip(QWidget* widget);

}  // namespace m470::qt
