#include <gtest/gtest.h>

#include "tests/support/testsupport.h"
#include "ui/translist.h"

namespace pd::ui {
namespace {

using namespace Qt::StringLiterals;

class TransListeTest : public ::testing::Test {
protected:
    void SetUp() override { HotkeysInUse.reset(); }
};

struct AddCase {
    const char* name;
    QString source;
    QString target;
    QString expectedSource;
    QString expectedTarget;
    QChar sourceHotkey;
    QChar targetHotkey;
};

TEST_F(TransListeTest, AddNormalisesTextsAndTakesOutTheHotkeys)
{
    const QChar none = QLatin1Char(' ');
    const AddCase cases[] = {
        { "colon and padding go", u"Name :  "_s, {}, u"Name"_s, u"Name"_s, none, none },
        { "only one colon goes", u"Zeit::"_s, {}, u"Zeit:"_s, u"Zeit:"_s, none, none },
        { "leading spaces stay", u"  Ort"_s, u"Place"_s, u"  Ort"_s, u"Place"_s, none, none },
        { "untranslated loses every mark", u"Da&tei &neu"_s, {}, u"Datei neu"_s, u"Datei neu"_s, none, none },
        { "both marked", u"&datei"_s, u"&file"_s, u"datei"_s, u"file"_s, u'D', u'F' },
        { "source hotkey upper-cased by ASCII rules only", u"&über"_s, u"&über"_s, u"über"_s, u"über"_s, u'ü', u'Ü' },
        { "only the source marked takes the target's character there", u"Da&tei"_s, u"Datei"_s, u"Datei"_s, u"Datei"_s,
            u'T', u't' },
        { "source mark beyond the target's end", u"Dateien&x"_s, u"File"_s, u"Dateienx"_s, u"File"_s, u'X', none },
        { "only the target marked", u"Datei"_s, u"&File"_s, u"Datei"_s, u"File"_s, none, u'F' },
        { "mark before a space is no hotkey", u"A & B"_s, u"A & B"_s, u"A & B"_s, u"A & B"_s, none, none },
        { "mark at the very end gives code 0", u"Ende&"_s, u"End&"_s, u"Ende"_s, u"End"_s, QChar(0), QChar(0) },
    };
    for (const AddCase& c : cases) {
        SCOPED_TRACE(c.name);
        HotkeysInUse.reset();
        TTransListe list;
        list.Add(c.source, c.target);
        const TTransWort* entry = list.First();
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->Source, c.expectedSource);
        EXPECT_EQ(entry->Target, c.expectedTarget);
        EXPECT_EQ(entry->SourceHotkey, c.sourceHotkey);
        EXPECT_EQ(entry->TargetHotkey, c.targetHotkey);
        if (c.targetHotkey != none) {
            EXPECT_TRUE(HotkeysInUse.test(c.targetHotkey.unicode()));
        }
    }
}

TEST_F(TransListeTest, HotkeyGivenOutAlreadyIsDroppedFromASourceOnlyEntry)
{
    TTransListe list;
    list.Add(u"&Datei"_s, u"Datei"_s);
    list.Add(u"&Drucken"_s, u"Drucken"_s);
    const TTransWort* second = list.Last();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Source, u"Drucken"_s);
    EXPECT_EQ(second->SourceHotkey, QLatin1Char(' '));
    EXPECT_EQ(second->TargetHotkey, QLatin1Char(' '));
}

TEST_F(TransListeTest, HotkeysAboveCode255HaveFlagsOfTheirOwn)
{
    TTransListe list;
    list.Add(u"&Ω"_s, u"&ω"_s); // target hotkey Ω (U+03A9)
    EXPECT_TRUE(HotkeysInUse.test(0x03A9));
    EXPECT_FALSE(HotkeysInUse.test(0x03A9 & 0xFF));
}

TEST_F(TransListeTest, EntriesStayInTheOrderAdded)
{
    TTransListe list;
    EXPECT_EQ(list.First(), nullptr);
    EXPECT_EQ(list.Last(), nullptr);
    list.Add(u"Eins"_s, {});
    list.Add(u"Zwei"_s, {});
    list.Add(u"Drei"_s, {});
    QStringList order;
    for (const TTransWort* entry = list.First(); entry != nullptr; entry = entry->Next)
        order << entry->Source;
    EXPECT_EQ(order, (QStringList { u"Eins"_s, u"Zwei"_s, u"Drei"_s }));
    EXPECT_EQ(list.Last()->Source, u"Drei"_s);
    EXPECT_EQ(list.Last()->Next, nullptr);
}

TEST_F(TransListeTest, LongListIsFreedWithoutExhaustingTheStack)
{
    auto list = std::make_unique<TTransListe>();
    for (int i = 0; i < 300000; ++i)
        list->Add(u"x"_s, {});
    list.reset();
    SUCCEED();
}

TEST(TransText, EncodeAndDecodeEscapeLineBreaksAndAmpersands)
{
    struct Case {
        QString plain;
        QString encoded;
        QString decoded;
    };
    const Case cases[] = {
        { u"a\r\nb"_s, u"a#13b"_s, u"a\rb"_s },
        { u"a\nb"_s, u"ab"_s, u"ab"_s },
        { u"Ja & Nein"_s, u"Ja #38 Nein"_s, u"Ja & Nein"_s },
        { u"\r\r"_s, u"#13#13"_s, u"\r\r"_s },
        { u"ohne"_s, u"ohne"_s, u"ohne"_s },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plain.toStdString());
        EXPECT_EQ(EncodeText(c.plain), c.encoded);
        EXPECT_EQ(DecodeText(c.encoded), c.decoded);
    }
}

TEST(TransText, HotkeyMarkGoesBeforeTheFirstExactMatchElseAtTheStart)
{
    struct Case {
        QString text;
        QChar hotkey;
        QString expected;
    };
    const Case cases[] = {
        { u"Datei"_s, u'e', u"Dat&ei"_s },
        { u"Abbruch"_s, u'b', u"A&bbruch"_s },
        { u"Datei"_s, u'T', u"&Datei"_s },
        { u""_s, u'X', u"&"_s },
    };
    for (const Case& c : cases) {
        QString text = c.text;
        InsertHotkeyMark(text, c.hotkey);
        EXPECT_EQ(text, c.expected);
    }
}

} // namespace
} // namespace pd::ui
