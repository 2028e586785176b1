#pragma once
// Layout texts are language keys: every label, button and title whose text
// is a key of the language table shows that key's text, and keeps the key so
// a language switch can show it again in the new language.
#include <QWidget>

#include "shell/Language.h"

namespace m470::qt {

void ApplyTexts(QWidget* root, const LanguageTable& table);

}  // namespace m470::qt
