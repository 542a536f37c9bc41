#pragma once

#include <memory>

#include <QString>

#include "ui/languagetranslator.h"

namespace pd::ui {

// The one translator of the run; none until the first text is translated.
extern std::unique_ptr<TLanguageTranslator> Translator;

// The text to show for a message text: its translation when translation is on, else the text
// itself; "~" markers removed and "#13"/"#38" decoded either way. Never fails.
QString TranslateText(const QString& text);

// Creates the translator and picks the language file beside the program: the locale's
// "<code>.lng", else "default.lng", which is created empty when missing. Raises when it cannot be
// created; the translator then stays off.
void InitTranslator();

// InitTranslator once per run: a translator whose set-up failed is not set up again.
void EnsureTranslator();

// End step of the start-up sequence: saves the language file and destroys the translator, if one
// was created during the run.
void TranslatorEndStep();

// The modal warning shown when the language file has gone: warning icon, OK button.
void ShowTranslatorWarning(const QString& text);

} // namespace pd::ui
