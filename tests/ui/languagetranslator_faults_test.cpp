#include <gtest/gtest.h>

#include "tests/support/faultinjection.h"
#include "tests/support/testsupport.h"
#include "ui/languagetranslator.h"

namespace pd::ui {
namespace {

TEST(LanguageFileFaults, TheLanguageFileIsTheOldOneOrTheWholeNewOne)
{
    // One long new text: its lookup writes the list once, the end step's save writes the same
    // list again, so every save leaves the same complete file.
    const QString text = QStringLiteral("Ein neuer Text ") + QString(64 * 1024, QLatin1Char('t'));
    const test::WriterUnderTest languageFile {
        .relativePath = QStringLiteral("lang/default.lng"),
        .save =
            [&text](const QString& path) {
                TLanguageTranslator translator;
                translator.setDatei(path);
                translator.setDotranslate(true);
                translator.tl(text);
                translator.Save();
                return true;
            },
        .oldContent = QByteArrayLiteral("Abbruch~Cancel\r\nFehler~Error\r\n"),
        .startsFromEmptyFile = true,
        .reportsFailure = false,
    };
    test::ExpectSoundAfterEveryFault(languageFile);
}

} // namespace
} // namespace pd::ui
