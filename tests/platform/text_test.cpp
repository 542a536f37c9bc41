#include <gtest/gtest.h>

#include "platform/text.h"

namespace pd::platform {
namespace {

struct TrimCase {
    QString input;
    QString both;
    QString left;
    QString right;
    bool blank;
};

TEST(Trim, RemovesOnlyControlCharactersAndBlanks)
{
    const QString nbsp = QString(QChar(0x00A0));
    const QString ideographicSpace = QString(QChar(0x3000));
    const TrimCase cases[] = {
        { QString(), QString(), QString(), QString(), true },
        { QStringLiteral("   "), QString(), QString(), QString(), true },
        { QStringLiteral("\t\r\n\x01\x1F "), QString(), QString(), QString(), true },
        { QStringLiteral("abc"), QStringLiteral("abc"), QStringLiteral("abc"), QStringLiteral("abc"), false },
        { QStringLiteral("  a b  "), QStringLiteral("a b"), QStringLiteral("a b  "), QStringLiteral("  a b"), false },
        { QStringLiteral("\x01x\x7F\t"), QStringLiteral("x\x7F"), QStringLiteral("x\x7F\t"),
            QStringLiteral("\x01x\x7F"), false },
        // Characters above 32 stay, even those Unicode counts as white space.
        { nbsp + QStringLiteral(" x ") + ideographicSpace, nbsp + QStringLiteral(" x ") + ideographicSpace,
            nbsp + QStringLiteral(" x ") + ideographicSpace, nbsp + QStringLiteral(" x ") + ideographicSpace, false },
        { QStringLiteral(" ") + nbsp, nbsp, nbsp, QStringLiteral(" ") + nbsp, false },
    };
    for (const TrimCase& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        EXPECT_EQ(Trim(c.input), c.both);
        EXPECT_EQ(TrimLeft(c.input), c.left);
        EXPECT_EQ(TrimRight(c.input), c.right);
        EXPECT_EQ(IsBlank(c.input), c.blank);
    }
}

TEST(TextTest, LineBreaksOfEveryKindBecomeOne)
{
    const QString mixed = QStringLiteral("a\r\nb\rc\nd\r\n\r\n");
    EXPECT_EQ(WithLf(mixed), QStringLiteral("a\nb\nc\nd\n\n"));
    EXPECT_EQ(WithCrLf(mixed), QStringLiteral("a\r\nb\r\nc\r\nd\r\n\r\n"));
}

} // namespace
} // namespace pd::platform
