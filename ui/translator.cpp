#include "ui/translator.h"

namespace pd::ui {

void TranslatorEndStep()
{
    // The translator is created by the first message box; this build shows none yet, so there is
    // never a translator to save here.
}

} // namespace pd::ui
