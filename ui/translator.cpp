#include "ui/translator.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#include "platform/error.h"
#include "platform/folders.h"

namespace pd::ui {

std::unique_ptr<TLanguageTranslator> Translator;

namespace {

void CreateEmptyFile(const QString& path)
{
    // NewOnly: whatever stands at the name (a folder, a dangling link) is never written through.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw platform::Error(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
}

} // namespace

void InitTranslator()
{
    if (!Translator)
        Translator = std::make_unique<TLanguageTranslator>(&ShowTranslatorWarning);
    const QString folder = platform::ProgramFolderOfModule();
    QString path = folder + DetectLanguageCode() + QStringLiteral(".lng");
    if (!QFileInfo(path).isFile()) {
        path = folder + QStringLiteral("default.lng");
        if (!QFileInfo(path).isFile())
            CreateEmptyFile(path);
    }
    Translator->setDatei(path);
    Translator->setDotranslate(true);
}

void EnsureTranslator()
{
    if (!Translator)
        InitTranslator();
}

QString TranslateText(const QString& text)
{
    try {
        EnsureTranslator();
        // The translation comes without markers and decoded already.
        if (Translator->dotranslate())
            return Translator->tl(text);
    } catch (...) {
        // Shown untranslated.
    }
    QString result = text;
    result.remove(QLatin1Char('~'));
    return DecodeText(result);
}

void TranslatorEndStep()
{
    if (!Translator)
        return;
    Translator->Save();
    Translator.reset();
}

void ShowTranslatorWarning(const QString& text)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return; // no windows in this process
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), text, QMessageBox::Ok);
    box.exec();
}

} // namespace pd::ui
