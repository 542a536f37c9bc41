#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>

#include "platform/codepage.h"
#include "tests/support/testsupport.h"
#include "ui/languagetranslator.h"

namespace pd::ui {
namespace {

using namespace Qt::StringLiterals;

QByteArray Ansi(const QString& text)
{
    return platform::EncodeCodePage(text, 1252);
}

// A translator on a language file of the test's own, switched on as the program does it.
class LanguageTranslatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HotkeysInUse.reset();
        m_path = m_folder.File(u"0407.lng"_s);
    }

    std::unique_ptr<TLanguageTranslator> Open(const std::optional<QByteArray>& content)
    {
        if (content)
            test::WriteBytes(m_path, *content);
        auto translator = std::make_unique<TLanguageTranslator>([this](const QString& text) { m_warnings << text; });
        translator->setDatei(m_path);
        translator->setDotranslate(true);
        return translator;
    }

    QStringList SourcesOf(const TLanguageTranslator& translator) const
    {
        QStringList sources;
        for (const TTransWort* entry = translator.Entries().First(); entry != nullptr; entry = entry->Next)
            sources << entry->Source;
        return sources;
    }

    test::TempFolder m_folder;
    QString m_path;
    QStringList m_warnings;
};

TEST_F(LanguageTranslatorTest, LookupKeepsTheColonColumnAndNeverShortensTheText)
{
    auto translator = Open(Ansi(u"Name~Nm\r\nVorname~Firstname\r\nAb~Abcdefg\r\nOrt~Ort\r\nDatei~&File\r\n"_s));
    translator->Load();
    struct Case {
        QString input;
        QString expected;
        bool isNew;
    };
    const Case cases[] = {
        { u"Name"_s, u"Nm  "_s, false }, // padded to the input's length
        { u"Name   "_s, u"Nm     "_s, false },
        { u"Name:"_s, u"Nm  :"_s, false }, // shorter: the colon stays in its column
        { u"Name:    "_s, u"Nm  :    "_s, false },
        { u"Name  :  "_s, u"Nm    :  "_s, false },
        { u"Ab:     "_s, u"Abcdefg:"_s, false }, // past the column: right after the target
        { u"Vorname:"_s, u"Firstname:"_s, false }, // longer: colon appended
        { u"Ort:"_s, u"Ort:"_s, false },
        { u"Datei"_s, u"&File "_s, false }, // hotkey inserted, width grows by the mark
        { u"Datei:"_s, u"&File :"_s, false },
        { u"Neu:  "_s, u"Neu:  "_s, true },
        { u"Neu"_s, u"Neu"_s, true },
        { u"name"_s, u"name"_s, true }, // case-sensitive
        { u":"_s, u":"_s, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        QString t = c.input;
        EXPECT_EQ(translator->Lookup(t), c.expected);
        EXPECT_EQ(translator->NewText(), c.isNew);
    }
    EXPECT_TRUE(HotkeysInUse.test(u'F'));
}

TEST_F(LanguageTranslatorTest, LookupPassesTextsThroughWhileOff)
{
    auto translator = Open(Ansi(u"Name~Nm\r\n"_s));
    translator->Load();
    translator->setDotranslate(false);
    QString t = u"Name:  "_s;
    EXPECT_EQ(translator->Lookup(t), u"Name:  "_s);
    EXPECT_FALSE(translator->NewText());
}

TEST_F(LanguageTranslatorTest, TranslatesWithTheFirstOfDuplicatesAndShieldedSpaces)
{
    auto translator = Open(Ansi(u"Ja~Yes\r\nJa~Oui\r\nHallo~~ Welt ~\r\nZeilen~One#13Two #38 three\r\n"_s));
    struct Case {
        QString input;
        QString expected;
    };
    const Case cases[] = {
        { u"Ja"_s, u"Yes"_s },
        { u"Hallo"_s, u" Welt "_s },
        { u"Zeilen"_s, u"One\rTwo & three"_s },
        { u"   "_s, QString() }, // blank texts give empty text while on
        { u"\t\r\n"_s, QString() },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        EXPECT_EQ(translator->tl(c.input), c.expected);
    }
}

TEST_F(LanguageTranslatorTest, LoadAndSaveNormaliseTheFile)
{
    const QByteArray before = Ansi(u"Fehler ~  Fault  \r\n"
                                   "a line without tilde\r\n"
                                   "\r\n"
                                   "   \r\n"
                                   "Gleich~Gleich\r"
                                   "Leer~\n"
                                   "Zeile#13zwei~Line#13two\r\n"
                                   "A#38B~A#38B\r\n"
                                   "  Vorne~Front\r\n"
                                   "&Datei~&File\r\n"
                                   "Über~Äbove"_s);
    const QByteArray after = Ansi(u"Fehler~Fault\r\n"
                                  "Gleich~\r\n"
                                  "Leer~\r\n"
                                  "Zeile#13zwei~Line#13two\r\n"
                                  "A#38B~\r\n"
                                  "  Vorne~Front\r\n"
                                  "&Datei~&File\r\n"
                                  "Über~Äbove\r\n"_s);
    auto translator = Open(before);
    translator->Load();
    EXPECT_TRUE(translator->Loaded());
    translator->Save();
    EXPECT_EQ(test::ReadBytes(m_path), after);
    // Written as read: a second round changes nothing, and the entries are as before.
    translator->Save();
    EXPECT_EQ(test::ReadBytes(m_path), after);
}

TEST_F(LanguageTranslatorTest, NewTextIsAppendedEscapedWithoutPaddingOrColon)
{
    auto translator = Open(Ansi(u"Fehler~Fault\r\n"_s));
    EXPECT_EQ(translator->tl(u"Erste Zeile\r\nund & zweite:  "_s), u"Erste Zeile\rund & zweite:  "_s);
    EXPECT_EQ(test::ReadBytes(m_path), Ansi(u"Fehler~Fault\r\nErste Zeile#13und #38 zweite~\r\n"_s));
    // Known from now on: not added twice.
    translator->tl(u"Erste Zeile\r\nund & zweite"_s);
    EXPECT_EQ(SourcesOf(*translator), (QStringList { u"Fehler"_s, u"Erste Zeile#13und #38 zweite"_s }));
}

TEST_F(LanguageTranslatorTest, EmptyFileCountsAsReadSoNewTextsAreNotDoubled)
{
    auto translator = Open(QByteArray());
    translator->tl(u"Eins"_s);
    translator->tl(u"Zwei"_s);
    translator->Save();
    EXPECT_EQ(test::ReadBytes(m_path), QByteArray("Eins~\r\nZwei~\r\n"));
}

TEST_F(LanguageTranslatorTest, FileIsNotReplacedWhenItsLinesWereNotReadInThisRun)
{
    const QByteArray content = Ansi(u"Fehler~Fault\r\nHallo~Hello\r\n"_s);
    auto translator = Open(content);
    // Only blank texts: the file was never read, and the save at the end must not empty it.
    EXPECT_EQ(translator->tl(u"  "_s), QString());
    translator->Save();
    EXPECT_EQ(test::ReadBytes(m_path), content);
    EXPECT_EQ(translator->tl(u"Hallo"_s), u"Hello"_s);
}

TEST_F(LanguageTranslatorTest, FileThatIsNoTextIsReadWithoutEntriesAndNeverWritten)
{
    struct Case {
        const char* name;
        QByteArray content;
    };
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(static_cast<char>((i * 7) & 0xFF));
    binary.append("\r\nFehler~Fault\r\n");
    const Case cases[] = {
        { "binary bytes", binary },
        { "byte-order mark before invalid data",
            QByteArray("\xEF\xBB\xBF"
                       "Fehler~\xC3\x28\xFF\xFE\r\n") },
        { "line of a megabyte", QByteArray("Fehler~Fault\r\n") + QByteArray(1024 * 1024, 'x') + "~y\r\n" },
        { "file too large", QByteArray("Fehler~Fault\r\n") + QByteArray(5 * 1024 * 1024, '\n') },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto translator = Open(c.content);
        EXPECT_EQ(translator->tl(u"Fehler"_s), u"Fehler"_s);
        EXPECT_EQ(translator->tl(u"Neuer Text"_s), u"Neuer Text"_s);
        EXPECT_FALSE(translator->Loaded());
        translator->Save();
        EXPECT_EQ(test::ReadBytes(m_path), c.content);
        EXPECT_TRUE(m_warnings.isEmpty());
    }
}

TEST_F(LanguageTranslatorTest, FileReplacedByAFolderIsLeftAndWarnedOfOnce)
{
    auto translator = Open(Ansi(u"Fehler~Fault\r\n"_s));
    QFile::remove(m_path);
    ASSERT_TRUE(QDir().mkdir(m_path));
    EXPECT_EQ(translator->tl(u"Fehler"_s), u"Fehler"_s);
    EXPECT_EQ(translator->tl(u"Noch einer"_s), u"Noch einer"_s);
    EXPECT_TRUE(translator->Warned());
    translator->Save();
    EXPECT_TRUE(QFileInfo(m_path).isDir());
    EXPECT_EQ(m_warnings, QStringList { u"Übersetzungsdatei existiert nicht !"_s });
}

TEST_F(LanguageTranslatorTest, MissingFileIsWarnedOfOnceAndNotRecreatedEmpty)
{
    auto translator = Open(Ansi(u"Fehler~Fault\r\n"_s));
    ASSERT_TRUE(QFile::remove(m_path));
    EXPECT_EQ(translator->tl(u"Fehler"_s), u"Fehler"_s);
    EXPECT_EQ(translator->tl(u"Zweiter"_s), u"Zweiter"_s);
    EXPECT_EQ(m_warnings.size(), 1);
    translator->Save();
    EXPECT_FALSE(QFileInfo::exists(m_path));
    // The file is back: the warning state clears and translation goes on.
    test::WriteBytes(m_path, Ansi(u"Fehler~Failure\r\n"_s));
    translator->setDatei(m_path);
    EXPECT_FALSE(translator->Warned());
    EXPECT_EQ(translator->tl(u"Fehler"_s), u"Failure"_s);
    EXPECT_EQ(m_warnings.size(), 1);
}

TEST_F(LanguageTranslatorTest, TextsPassedThroughWhileWarnedAreNotWritten)
{
    auto translator = Open(Ansi(u"Fehler~Fault\r\n"_s));
    translator->tl(u"Neu"_s); // the last lookup found nothing
    ASSERT_TRUE(QFile::remove(m_path));
    translator->setDotranslate(true); // the file is looked for again: gone
    EXPECT_TRUE(translator->Warned());
    EXPECT_EQ(translator->tl(u"Noch einer"_s), u"Noch einer"_s);
    EXPECT_FALSE(translator->NewText());
    translator->Save();
    EXPECT_FALSE(QFileInfo::exists(m_path));
}

TEST_F(LanguageTranslatorTest, NoWarningWhileTranslationIsOff)
{
    TLanguageTranslator translator([this](const QString& text) { m_warnings << text; });
    translator.setDatei(m_folder.File(u"missing.lng"_s));
    EXPECT_TRUE(translator.Datei().isEmpty());
    EXPECT_TRUE(m_warnings.isEmpty());
    translator.setDotranslate(true);
    EXPECT_EQ(m_warnings.size(), 1);
}

TEST_F(LanguageTranslatorTest, UnreadableFileIsLeftAsItWas)
{
    if (!test::RunningAsRoot())
        GTEST_SKIP() << "needs root to switch to another user";
    const QByteArray content = Ansi(u"Fehler~Fault\r\n"_s);
    test::WriteBytes(m_path, content);
    ASSERT_TRUE(QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    // The folder lets the other user replace the file by renaming, so only the translator's own
    // rule keeps it.
    ASSERT_TRUE(QFile::setPermissions(m_folder.Path(),
        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther | QFileDevice::ReadOwner
            | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const QString path = m_path;
    const int status = test::RunAsOtherUser([&path] {
        TLanguageTranslator translator;
        translator.setDatei(path);
        translator.setDotranslate(true);
        if (translator.tl(u"Fehler"_s) != u"Fehler"_s)
            return 1;
        translator.Save();
        return translator.Loaded() ? 2 : 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::ReadBytes(m_path), content);
}

TEST_F(LanguageTranslatorTest, FailedWriteKeepsTheNewTextForTheNextWrite)
{
    auto translator = Open(Ansi(u"Fehler~Fault\r\n"_s));
    const QString path = m_path;
    const int status = test::RunInChild([&translator, &path] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        rlimit small = limit;
        small.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &small);
        translator->tl(u"Ein neuer Text, der nicht mehr passt"_s);
        if (test::ReadBytes(path) != QByteArray("Fehler~Fault\r\n"))
            return 1;
        setrlimit(RLIMIT_FSIZE, &limit);
        translator->tl(u"Kurz"_s);
        return test::ReadBytes(path) == "Fehler~Fault\r\nEin neuer Text, der nicht mehr passt~\r\nKurz~\r\n" ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(LanguageTranslatorTest, FileWithAByteOrderMarkIsWrittenBackInItsEncoding)
{
    const QByteArray bom("\xEF\xBB\xBF");
    auto translator = Open(bom + u"Fehler~Ошибка\r\n"_s.toUtf8());
    translator->tl(u"Neu"_s);
    EXPECT_EQ(test::ReadBytes(m_path), bom + u"Fehler~Ошибка\r\nNeu~\r\n"_s.toUtf8());
}

// A line without "~" is no entry the file keeps; when the next line begins with "ÿþ" (the bytes
// of a UTF-16 mark in code page 1252), the saved file begins with it and used to read back as
// UTF-16, every entry lost.
TEST_F(LanguageTranslatorTest, SavedFileThatWouldBeginLikeAByteOrderMarkReadsBackWhole)
{
    auto translator = Open(Ansi(u"Kopf\r\nÿþFehler~Fault\r\nHallo~Hello\r\n"_s));
    EXPECT_EQ(translator->tl(u"Neu"_s), u"Neu"_s);
    auto reread = Open(std::nullopt);
    EXPECT_EQ(reread->tl(u"ÿþFehler"_s), u"Fault   "_s); // never shorter than the source
    EXPECT_EQ(reread->tl(u"Hallo"_s), u"Hello"_s);
    EXPECT_EQ(SourcesOf(*reread), (QStringList { u"ÿþFehler"_s, u"Hallo"_s, u"Neu"_s }));
}

TEST(DetectLanguageCode, MainLocaleOfTheLanguageOrTheLocaleItself)
{
    struct Case {
        std::uint32_t lcid;
        const char* code;
    };
    const Case cases[] = {
        { 0x0407, "0407" },
        { 0x0C07, "0407" },
        { 0x0807, "0407" },
        { 0x0809, "0409" },
        { 0x0C0A, "040A" },
        { 0x080C, "040C" },
        { 0x0810, "0410" },
        { 0x0405, "0405" },
        { 0x0415, "0415" },
        { 0x041A, "041A" },
        { 0x0C1A, "0C1A" },
        { 0x0413, "0413" },
        { 0x10407, "0407" }, // sort order bits do not matter for the language
        { 0x1041A, "1041A" },
        { 0, "0409" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lcid);
        EXPECT_EQ(DetectLanguageCode(c.lcid), QLatin1String(c.code));
    }
}

TEST(DetectLanguageCode, FollowsTheUserLocale)
{
    const std::pair<const char*, const char*> cases[] = {
        { "de_AT.UTF-8", "0407" },
        { "hr_HR.UTF-8", "041A" },
        { "en_GB.UTF-8", "0409" },
        { "C", "0409" },
    };
    for (const auto& [name, code] : cases) {
        SCOPED_TRACE(name);
        test::ScopedEnv lang("LANG", QString::fromLatin1(name));
        EXPECT_EQ(DetectLanguageCode(), QLatin1String(code));
    }
}

} // namespace
} // namespace pd::ui
