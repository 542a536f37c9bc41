#pragma once

#include <gtest/gtest.h>

#include <QDir>

#include "logging/log.h"
#include "platform/codepage.h"
#include "platform/folders.h"
#include "tests/support/testsupport.h"
#include "ui/translator.h"

namespace pd::test {

// The program folder, its log and its language file in a folder of the test's own, for tests of
// windows that show message boxes.
class ProgramFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::OverrideModuleFileName(m_folder.File(QStringLiteral("paperdart")));
        logging::LogModuleStart();
    }
    void TearDown() override
    {
        ui::TranslatorEndStep();
        logging::LogModuleEnd();
        platform::OverrideModuleFileName({});
    }

    // Every log file of the program folder, one after the other.
    QString LogText() const
    {
        const QDir logs(m_folder.File(QStringLiteral("log")));
        QString text;
        for (const QString& name : logs.entryList({ QStringLiteral("*.log") }, QDir::Files))
            text += platform::DecodeCodePage(ReadBytes(logs.filePath(name)), 1252);
        return text;
    }

    TempFolder m_folder;
};

} // namespace pd::test
