#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/folders.h"
#include "tests/support/testsupport.h"
#include "tests/ui/modalscript.h"
#include "ui/quorform.h"

namespace pd::ui {
namespace {

using namespace Qt::StringLiterals;
using test::ModalScript;

// A dialog with the controls a derived dialog typically has, among them a button of its own.
class FieldsDialog : public TQUORFORMMODAL {
public:
    FieldsDialog()
        : memo(new QPlainTextEdit(ClientArea))
        , edit(new QLineEdit(ClientArea))
        , importButton(new QPushButton(u"Import"_s, ClientArea))
    {
        auto* layout = new QVBoxLayout(ClientArea);
        layout->addWidget(memo);
        layout->addWidget(edit);
        layout->addWidget(importButton);
        connect(importButton, &QPushButton::clicked, this, [this] { ++importClicks; });
        FinishCreation();
    }
    QPlainTextEdit* memo;
    QLineEdit* edit;
    QPushButton* importButton;
    int importClicks = 0;
};

TEST(ModalDialog, EscapeInAnyControlCancelsWith2)
{
    const std::function<QWidget*(FieldsDialog&)> targets[] = {
        [](FieldsDialog& d) { return d.memo; },
        [](FieldsDialog& d) { return d.edit; },
        [](FieldsDialog& d) { return d.importButton; },
        [](FieldsDialog& d) { return d.ASButtonOK; },
        [](FieldsDialog& d) { return &d; },
    };
    int index = 0;
    for (const auto& target : targets) {
        SCOPED_TRACE(index++);
        FieldsDialog dialog;
        ModalScript script({ [&] {
            target(dialog)->setFocus();
            QTest::keyClick(target(dialog), Qt::Key_Escape);
        } });
        EXPECT_EQ(dialog.exec(), 2);
        EXPECT_FALSE(script.TimedOut());
    }
}

// A field inside a group box that can take the focus itself.
class GroupDialog : public TQUORFORMMODAL {
public:
    GroupDialog()
        : group(new QGroupBox(u"Server"_s, ClientArea))
        , edit(new QLineEdit(group))
    {
        group->setCheckable(true);
        group->setFocusPolicy(Qt::StrongFocus);
        (new QVBoxLayout(group))->addWidget(edit);
        (new QVBoxLayout(ClientArea))->addWidget(group);
        FinishCreation();
    }
    QGroupBox* group;
    QLineEdit* edit;
};

TEST(ModalDialog, EscapeCancelsWhenTheFocusMovedFromAFieldToItsContainer)
{
    GroupDialog dialog;
    ModalScript script({
        [&] {
            dialog.edit->setFocus();
            QTest::keyClick(dialog.edit, Qt::Key_A);
        },
        [&] {
            dialog.group->setFocus();
            QTest::keyClick(dialog.group, Qt::Key_Escape);
        },
    });
    EXPECT_EQ(dialog.exec(), 2);
    EXPECT_FALSE(script.TimedOut());
    EXPECT_EQ(dialog.edit->text(), u"a"_s);
}

TEST(ModalDialog, EveryWayOutGivesOneOrTwo)
{
    struct Case {
        const char* name;
        std::function<void(FieldsDialog&)> action;
        int expected;
    };
    const Case cases[] = {
        { "OK button", [](FieldsDialog& d) { QTest::mouseClick(d.ASButtonOK, Qt::LeftButton); }, 1 },
        { "cancel button", [](FieldsDialog& d) { QTest::mouseClick(d.ASBCancel, Qt::LeftButton); }, 2 },
        { "window closed", [](FieldsDialog& d) { d.close(); }, 2 },
        { "rejected the toolkit's way", [](FieldsDialog& d) { d.reject(); }, 2 },
        { "done with another value", [](FieldsDialog& d) { d.done(0); }, 2 },
        { "hidden without a result", [](FieldsDialog& d) { d.hide(); }, 2 },
        { "accepted the toolkit's way", [](FieldsDialog& d) { d.accept(); }, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FieldsDialog dialog;
        ModalScript script({ [&] { c.action(dialog); } });
        EXPECT_EQ(dialog.exec(), c.expected);
        EXPECT_FALSE(script.TimedOut());
    }
}

TEST(ModalDialog, ResultOutsideOneAndTwoNeverReachesTheCaller)
{
    struct Case {
        const char* name;
        bool shownBefore;
        std::function<void(FieldsDialog&)> action;
    };
    const Case cases[] = {
        { "shown before it runs modally, then hidden", true, [](FieldsDialog& d) { d.hide(); } },
        { "result set directly, then hidden", false,
            [](FieldsDialog& d) {
                d.setResult(0);
                d.hide();
            } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FieldsDialog dialog;
        if (c.shownBefore)
            dialog.show();
        ModalScript script({ [&] { c.action(dialog); } });
        EXPECT_EQ(dialog.exec(), 2);
        EXPECT_FALSE(script.TimedOut());
    }
}

TEST(ModalDialog, EnterInAFieldPressesNoButton)
{
    FieldsDialog dialog;
    bool openAfterEdit = false;
    bool openAfterButton = false;
    ModalScript script({
        [&] {
            dialog.edit->setFocus();
            QTest::keyClick(dialog.edit, Qt::Key_Return);
            QTest::keyClick(dialog.edit, Qt::Key_Enter, Qt::KeypadModifier);
        },
        [&] { openAfterEdit = dialog.isVisible(); },
        [&] {
            dialog.importButton->setFocus();
            QTest::keyClick(dialog.importButton, Qt::Key_Return);
            QTest::keyClick(dialog.memo, Qt::Key_Return);
        },
        [&] { openAfterButton = dialog.isVisible(); },
        [&] { QTest::keyClick(dialog.memo, Qt::Key_Escape); },
    });
    EXPECT_EQ(dialog.exec(), 2);
    EXPECT_FALSE(script.TimedOut());
    EXPECT_TRUE(openAfterEdit);
    EXPECT_TRUE(openAfterButton);
    EXPECT_EQ(dialog.importClicks, 0);
    EXPECT_FALSE(dialog.importButton->autoDefault());
    EXPECT_FALSE(dialog.ASButtonOK->autoDefault() || dialog.ASButtonOK->isDefault());
    // Enter still types a line break in a memo.
    EXPECT_EQ(dialog.memo->toPlainText(), u"\n"_s);
}

TEST(ModalDialog, DisabledOkButtonLeavesTheDialogOpen)
{
    FieldsDialog dialog;
    dialog.ASButtonOK->setEnabled(false);
    bool open = false;
    ModalScript script({
        [&] {
            dialog.LMDButtonOKClick(dialog.ASButtonOK);
            QTest::mouseClick(dialog.ASButtonOK, Qt::LeftButton);
        },
        [&] { open = dialog.isVisible(); },
        [&] { dialog.LMDButtonCancelClick(dialog.ASBCancel); },
    });
    EXPECT_EQ(dialog.exec(), 2);
    EXPECT_TRUE(open);
    EXPECT_FALSE(script.TimedOut());
}

TEST(ModalDialog, DesignValues)
{
    FieldsDialog dialog;
    EXPECT_EQ(dialog.minimumSize(), QSize(400, 300));
    EXPECT_EQ(dialog.size(), QSize(489, 356));
    EXPECT_EQ(dialog.ASButtonOK->text(), u"&OK"_s);
    EXPECT_EQ(dialog.ASBCancel->text(), u"&Abbruch"_s);
    EXPECT_EQ(dialog.ASButtonOK->size(), QSize(100, 56));
    EXPECT_EQ(dialog.ASBCancel->size(), QSize(100, 56));
    EXPECT_EQ(dialog.PanelBottom->height(), 66);
    EXPECT_EQ(dialog.ASButtonOK->palette().color(QPalette::Button), QColor(141, 178, 227));
    EXPECT_FALSE(dialog.ASButtonOK->icon().isNull());
    EXPECT_EQ(dialog.ASButtonOK->nextInFocusChain(), dialog.ASBCancel);
    EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    dialog.show();
    // Cancel at the right edge, OK to its left.
    EXPECT_EQ(dialog.PanelBottom->width() - dialog.ASBCancel->geometry().right() - 1, 10);
    EXPECT_LT(dialog.ASButtonOK->geometry().right(), dialog.ASBCancel->geometry().left());
    dialog.hide();
}

TEST(ModalDialog, FixedSizeWhileShownAndResizableAgainWhenHidden)
{
    FieldsDialog dialog;
    dialog.resize(500, 400);
    dialog.show();
    // The window system sees equal minimum and maximum, so it offers no resizing by dragging.
    EXPECT_EQ(dialog.windowHandle()->minimumSize(), QSize(500, 400));
    EXPECT_EQ(dialog.windowHandle()->maximumSize(), QSize(500, 400));
    dialog.resize(700, 600);
    EXPECT_EQ(dialog.size(), QSize(500, 400));
    dialog.hide();
    EXPECT_EQ(dialog.minimumSize(), QSize(400, 300));
    EXPECT_EQ(dialog.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    dialog.resize(600, 450);
    dialog.show();
    EXPECT_EQ(dialog.size(), QSize(600, 450));
    EXPECT_EQ(dialog.windowHandle()->maximumSize(), QSize(600, 450));
    dialog.hide();
}

TEST(PlainWindow, EscapeAndEnterDoNotCloseIt)
{
    TQUORFORM window;
    auto* button = new QPushButton(u"Scan"_s, &window);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    window.show();
    QTest::keyClick(&window, Qt::Key_Escape);
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(clicks, 0);
    window.close();
}

// A window with one control of every kind the colours treat differently.
class StyledWindow : public TQUORFORM {
public:
    StyledWindow()
    {
        auto* layout = new QVBoxLayout(this);
        for (QWidget* w : std::initializer_list<QWidget*> {
                 label, panel, group, taggedMemo, readOnlyMemo, editableTaggedMemo, taggedRichMemo, edit, button })
            layout->addWidget(w);
        (new QVBoxLayout(panel))->addWidget(innerLabel);
        taggedMemo->setReadOnly(true);
        SetTag(taggedMemo, 1);
        readOnlyMemo->setReadOnly(true);
        SetTag(editableTaggedMemo, 1);
        taggedRichMemo->setReadOnly(true);
        SetTag(taggedRichMemo, 1);
        QPalette editPalette = edit->palette();
        editPalette.setColor(QPalette::Base, Qt::yellow);
        edit->setPalette(editPalette);
        edit->setFont(QFont(u"Courier"_s));
        QPalette buttonPalette = button->palette();
        buttonPalette.setColor(QPalette::Button, Qt::green);
        button->setPalette(buttonPalette);
        FinishCreation();
    }
    QLabel* label = new QLabel(u"Betreff"_s, this);
    QFrame* panel = new QFrame(this);
    QLabel* innerLabel = new QLabel(u"innen"_s, panel);
    QGroupBox* group = new QGroupBox(u"Gruppe"_s, this);
    QPlainTextEdit* taggedMemo = new QPlainTextEdit(this);
    QPlainTextEdit* readOnlyMemo = new QPlainTextEdit(this);
    QPlainTextEdit* editableTaggedMemo = new QPlainTextEdit(this);
    QTextEdit* taggedRichMemo = new QTextEdit(this);
    QLineEdit* edit = new QLineEdit(this);
    QPushButton* button = new QPushButton(u"Los"_s, this);
};

bool HasFontName(const QWidget* widget, const QString& name)
{
    return widget->font().families().value(0, widget->font().family()) == name;
}

TEST(StyleColors, AppliedByKindOfComponent)
{
    StyledWindow window;
    const QColor color(200, 10, 20);
    const QColor fontColor(5, 6, 7);
    window.ApplyStyleColors(&window, color, fontColor);

    EXPECT_EQ(window.palette().color(QPalette::Window), color);
    EXPECT_TRUE(HasFontName(&window, u"Tahoma"_s));
    for (const QWidget* w :
        std::initializer_list<const QWidget*> { window.label, window.panel, window.innerLabel, window.group }) {
        SCOPED_TRACE(w->metaObject()->className());
        EXPECT_EQ(w->palette().color(QPalette::Window), color);
        EXPECT_EQ(w->palette().color(QPalette::WindowText), fontColor);
        EXPECT_TRUE(w->autoFillBackground());
        EXPECT_TRUE(HasFontName(w, u"Tahoma"_s));
    }
    const std::pair<const QWidget*, QColor> memos[] = {
        { window.taggedMemo, color },
        { window.readOnlyMemo, Qt::white },
        { window.editableTaggedMemo, Qt::white },
        { window.taggedRichMemo, color },
    };
    for (const auto& [memo, background] : memos) {
        SCOPED_TRACE(memo->metaObject()->className());
        EXPECT_EQ(memo->palette().color(QPalette::Base), background);
        EXPECT_EQ(memo->palette().color(QPalette::Text), fontColor);
        EXPECT_TRUE(HasFontName(memo, u"Tahoma"_s));
    }
    // Edits and buttons keep what they had.
    EXPECT_EQ(window.edit->palette().color(QPalette::Base), QColor(Qt::yellow));
    EXPECT_TRUE(HasFontName(window.edit, u"Courier"_s));
    EXPECT_EQ(window.button->palette().color(QPalette::Button), QColor(Qt::green));
}

void Paint(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
}

TEST(StyleColors, SkyBlueAtCreationAndAgainAtTheFirstShowOnly)
{
    StyledWindow window;
    EXPECT_TRUE(window.FirstShow);
    EXPECT_EQ(window.label->palette().color(QPalette::Window), QColor(166, 202, 240));
    Paint(window.label, Qt::red);
    window.show();
    EXPECT_FALSE(window.FirstShow);
    EXPECT_EQ(window.label->palette().color(QPalette::Window), QColor(166, 202, 240));
    window.hide();
    Paint(window.label, Qt::red);
    window.show();
    EXPECT_EQ(window.label->palette().color(QPalette::Window), QColor(Qt::red));
    window.hide();
}

class SizedWindow : public TQUORFORM {
public:
    SizedWindow(QSize minimum, QSize size)
    {
        setMinimumSize(minimum);
        resize(size);
        FinishCreation();
    }
};

TEST(ScreenFitting, WindowAndMinimumAreLoweredToTheScreen)
{
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const QSize more(100, 80);
    struct Case {
        const char* name;
        QSize minimum;
        QSize size;
        QSize expectedMinimum;
        QSize expectedSize;
    };
    const Case cases[] = {
        { "minimum and size beyond the screen", screen + more, screen + 2 * more, screen, screen },
        { "size beyond the screen", QSize(100, 100), screen + more, QSize(100, 100), screen },
        { "only too high", QSize(100, screen.height() + 10), QSize(300, screen.height() + 20),
            QSize(100, screen.height()), QSize(300, screen.height()) },
        { "fits", QSize(100, 100), QSize(300, 200), QSize(100, 100), QSize(300, 200) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SizedWindow window(c.minimum, c.size);
        EXPECT_EQ(window.minimumSize(), c.expectedMinimum);
        EXPECT_EQ(window.size(), c.expectedSize);
    }
}

// The program folder in a folder of the test's own, and a fake xdg-open first on PATH that
// records the file it was given.
class HelpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::OverrideModuleFileName(m_folder.File(u"paperdart"_s));
        const QString fake = m_folder.File(u"bin/xdg-open"_s);
        test::WriteBytes(fake, "#!/bin/sh\nprintf '%s' \"$1\" > \"$PD_RECORD\"\n");
        QFile::setPermissions(fake, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_path.emplace("PATH", m_folder.File(u"bin"_s) + u":"_s + qEnvironmentVariable("PATH"));
        m_record.emplace("PD_RECORD", m_folder.File(u"opened"_s));
    }
    void TearDown() override { platform::OverrideModuleFileName({}); }

    QString Opened() const { return QString::fromUtf8(test::ReadBytes(m_folder.File(u"opened"_s))); }

    test::TempFolder m_folder;
    std::optional<test::ScopedEnv> m_path;
    std::optional<test::ScopedEnv> m_record;
};

TEST_F(HelpTest, OpensTheHtmlManualElseHandsOverThePdfPath)
{
    struct Case {
        const char* name;
        QStringList present;
        QString opened;
    };
    const Case cases[] = {
        { "both", { u"help/Handbuch.html"_s, u"help/Handbuch.pdf"_s }, u"help/Handbuch.html"_s },
        { "only the PDF", { u"help/Handbuch.pdf"_s }, u"help/Handbuch.pdf"_s },
        { "neither", {}, u"help/Handbuch.pdf"_s },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(m_folder.File(u"help"_s)).removeRecursively();
        QFile::remove(m_folder.File(u"opened"_s));
        for (const QString& file : c.present)
            test::WriteBytes(m_folder.File(file), "manual");
        TQUORFORM window;
        window.Help(&window);
        EXPECT_EQ(Opened(), m_folder.File(c.opened));
    }
}

TEST_F(HelpTest, AFolderNamedLikeTheHtmlManualIsNoManual)
{
    ASSERT_TRUE(QDir().mkpath(m_folder.File(u"help/Handbuch.html"_s)));
    TQUORFORM window;
    window.Help(&window);
    EXPECT_EQ(Opened(), m_folder.File(u"help/Handbuch.pdf"_s));
}

} // namespace
} // namespace pd::ui
