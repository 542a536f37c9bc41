#pragma once

namespace pd::ui {

// End step of the start-up sequence: saves the language file and destroys the translator, if one
// was created during the run.
void TranslatorEndStep();

} // namespace pd::ui
