#include <gtest/gtest.h>
#include <stdexcept>

#include "platform/error.h"

namespace pd::platform {
namespace {

TEST(Error, HelpContextIsZeroUnlessSet)
{
    EXPECT_EQ(Error(QStringLiteral("x")).HelpContext(), 0);
    EXPECT_EQ(Error(QStringLiteral("x"), 4711).HelpContext(), 4711);
}

TEST(Error, FullDescriptionListsWrappedErrorsDepthFirstOnCrLfLines)
{
    const Error error(QStringLiteral("Speichern fehlgeschlagen"), 0,
        { Error(QStringLiteral("Datei gesperrt"), 0, { Error(QStringLiteral("Zugriff verweigert")) }),
            Error(QStringLiteral("Platte voll")) });
    EXPECT_EQ(error.FullDescription(),
        QStringLiteral("Speichern fehlgeschlagen\r\nDatei gesperrt\r\nZugriff verweigert\r\nPlatte voll"));
    EXPECT_EQ(error.Message(), QStringLiteral("Speichern fehlgeschlagen"));
    EXPECT_EQ(Error(QStringLiteral("allein")).FullDescription(), QStringLiteral("allein"));
}

TEST(Error, WhatIsTheMessageInUtf8)
{
    const Error error(QStringLiteral("Größe ungültig"));
    EXPECT_STREQ(error.what(),
        "Gr\xC3\xB6\xC3\x9F"
        "e ung\xC3\xBCltig");
}

TEST(Error, WrappingAStandardExceptionKeepsItsText)
{
    const std::runtime_error cause("disk full");
    const Error error = Error::Wrapping(QStringLiteral("Scan nicht gespeichert"), cause, 12);
    EXPECT_EQ(error.HelpContext(), 12);
    ASSERT_EQ(error.Wrapped().size(), 1u);
    EXPECT_EQ(error.Wrapped()[0].Message(), QStringLiteral("disk full"));
    EXPECT_EQ(error.FullDescription(), QStringLiteral("Scan nicht gespeichert\r\ndisk full"));
}

TEST(Error, WrappingAnErrorKeepsItWhole)
{
    const Error inner(QStringLiteral("innen"), 7, { Error(QStringLiteral("Ursache")) });
    const std::exception& asException = inner;
    const Error error = Error::Wrapping(QStringLiteral("außen"), asException);
    EXPECT_EQ(error.HelpContext(), 0);
    ASSERT_EQ(error.Wrapped().size(), 1u);
    EXPECT_EQ(error.Wrapped()[0].HelpContext(), 7);
    EXPECT_EQ(error.FullDescription(), QStringLiteral("außen\r\ninnen\r\nUrsache"));
}

} // namespace
} // namespace pd::platform
