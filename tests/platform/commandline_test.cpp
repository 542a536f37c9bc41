#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "platform/commandline.h"
#include "tests/support/testsupport.h"

namespace pd::platform {
namespace {

using pd::test::ScopedEnv;
using pd::test::TempFolder;

TEST(SplitCommandLine, FollowsTheShellsQuotingWithoutExpanding)
{
    const struct {
        QString line;
        QStringList words;
    } cases[] = {
        { QStringLiteral("a b\t c\n"), { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") } },
        { QStringLiteral("   "), {} },
        { QStringLiteral("'a b' \"c d\""), { QStringLiteral("a b"), QStringLiteral("c d") } },
        { QStringLiteral("a\\ b"), { QStringLiteral("a b") } },
        { QStringLiteral("\"x\\\"y\" 'it'\\''s'"), { QStringLiteral("x\"y"), QStringLiteral("it's") } },
        { QStringLiteral("\"a\\nb\\\\c\\$d\""), { QStringLiteral("a\\nb\\c$d") } },
        { QStringLiteral("'a\\b'"), { QStringLiteral("a\\b") } },
        { QStringLiteral("$HOME *.pdf ~ `id`"),
            { QStringLiteral("$HOME"), QStringLiteral("*.pdf"), QStringLiteral("~"), QStringLiteral("`id`") } },
        { QStringLiteral("\"\" ''"), { QString(), QString() } },
        { QStringLiteral("a\"b\"'c'd"), { QStringLiteral("abcd") } },
        { QStringLiteral("line\\\ncontinued"), { QStringLiteral("linecontinued") } },
        // A line continuation between words joins nothing and makes no empty word.
        { QStringLiteral("a \\\n b \\\n"), { QStringLiteral("a"), QStringLiteral("b") } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        QStringList words { QStringLiteral("stale") };
        ASSERT_TRUE(SplitCommandLine(c.line, &words));
        EXPECT_EQ(words, c.words);
    }
    for (const QString& bad : { QStringLiteral("'open"), QStringLiteral("a \"open"), QStringLiteral("trail\\") }) {
        SCOPED_TRACE(bad.toStdString());
        QStringList words;
        EXPECT_FALSE(SplitCommandLine(bad, &words));
    }
}

TEST(QuoteCommandLineWord, EveryWordComesBackWhole)
{
    const QString words[] = {
        QStringLiteral("/usr/bin/viewer"),
        QStringLiteral("/tmp/Scan 1.pdf"),
        QStringLiteral("it's"),
        QString(),
        QStringLiteral("\"quoted\""),
        QStringLiteral("$HOME `id` *"),
        QStringLiteral("tab\there"),
        QString::fromUtf8("Müller"),
        QStringLiteral("back\\slash"),
        QStringLiteral("new\nline"),
        QStringLiteral("~"),
    };
    for (const QString& word : words) {
        SCOPED_TRACE(word.toStdString());
        QStringList back;
        ASSERT_TRUE(SplitCommandLine(QuoteCommandLineWord(word) + QStringLiteral(" next"), &back));
        EXPECT_EQ(back, QStringList({ word, QStringLiteral("next") }));
        ASSERT_TRUE(SplitCommandLine(DoubleQuoteCommandLineWord(word), &back));
        EXPECT_EQ(back, QStringList({ word }));
    }
    EXPECT_EQ(QuoteCommandLineWord(QStringLiteral("/usr/bin/pd-view_2.1")), QStringLiteral("/usr/bin/pd-view_2.1"));
    EXPECT_EQ(DoubleQuoteCommandLineWord(QStringLiteral("/tmp/a b.pdf")), QStringLiteral("\"/tmp/a b.pdf\""));
}

TEST(SearchPath, FindsTheFirstExecutableFileOnAbsoluteEntries)
{
    TempFolder temp;
    const auto make = [&temp](const QString& relative, mode_t mode) {
        pd::test::WriteBytes(temp.File(relative), "#!/bin/sh\n");
        ASSERT_EQ(::chmod(QFile::encodeName(temp.File(relative)).constData(), mode), 0);
    };
    ASSERT_TRUE(QDir().mkpath(temp.File(QStringLiteral("folder/pd-tool"))));
    make(QStringLiteral("plain/pd-tool"), 0644);
    make(QStringLiteral("relative/pd-tool"), 0755);
    make(QStringLiteral("good/pd-tool"), 0755);
    const QString oldCurrent = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.Path()));
    {
        ScopedEnv path("PATH",
            temp.File(QStringLiteral("folder")) + QStringLiteral(":relative:") + temp.File(QStringLiteral("plain"))
                + QStringLiteral("::") + temp.File(QStringLiteral("good/")));
        EXPECT_EQ(SearchPath(QStringLiteral("pd-tool")), temp.File(QStringLiteral("good/pd-tool")));
        EXPECT_EQ(SearchPath(QStringLiteral("pd-missing")), QString());
        EXPECT_EQ(SearchPath(QStringLiteral("relative/pd-tool")), temp.File(QStringLiteral("relative/pd-tool")));
        EXPECT_EQ(SearchPath(QStringLiteral("plain/pd-tool")), QString());
        EXPECT_EQ(SearchPath(QString()), QString());
    }
    QDir::setCurrent(oldCurrent);
}

} // namespace
} // namespace pd::platform
