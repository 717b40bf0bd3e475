#include "gui/extraction/FilenameEdit.h"

#include "gui/shell/Controls.h"
#include "support/GuiSeams.h"

#include <QApplication>
#include <QClipboard>
#include <QToolButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

using namespace larkspan;
namespace test = larkspan::test;

namespace {

// A field shown in a window of its own, with the test's glyphs on its browse button.
struct ShownField {
    QWidget window;
    TsFilenameEdit* field = new TsFilenameEdit(&window);
    int changes = 0;
    int clicks = 0;
    int browses = 0;

    ShownField() {
        field->setGeometry(6, 18, 362, 21);
        QPixmap normal(16, 16);
        normal.fill(Qt::red);
        QPixmap hot(16, 16);
        hot.fill(Qt::green);
        field->SetGlyphs(normal, hot);
        QObject::connect(field, &TsFilenameEdit::changed, [this] { ++changes; });
        QObject::connect(field, &TsFilenameEdit::clicked, [this] { ++clicks; });
        QObject::connect(field, &TsFilenameEdit::browseButtonPressed, [this] { ++browses; });
        window.resize(380, 60);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
};

} // namespace

TEST(FilenameEdit, TypingPastingAndCuttingChangeNothing) {
    ShownField shown;
    shown.field->setText(QStringLiteral("/docs/Report.pdf"));
    shown.changes = 0;
    shown.field->setFocus();
    QTest::keyClicks(shown.field, QStringLiteral("abc"));
    QApplication::clipboard()->setText(QStringLiteral("/other.pdf"));
    QTest::keyClick(shown.field, Qt::Key_V, Qt::ControlModifier);
    shown.field->selectAll();
    QTest::keyClick(shown.field, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(shown.field, Qt::Key_Backspace);
    EXPECT_EQ(shown.field->text(), QStringLiteral("/docs/Report.pdf"));
    EXPECT_EQ(shown.changes, 0);
}

TEST(FilenameEdit, ProgramTextsAreTakenWholeAndOnlyRealChangesAreReported) {
    ShownField shown;
    const QString longPath = QStringLiteral("/") + QString(300, QLatin1Char('a')) + ".pdf";
    shown.field->setText(longPath);
    EXPECT_EQ(shown.field->text(), longPath) << "the 255 limit applies to typing only";
    EXPECT_EQ(TsFilenameEdit::MaxLength, 255);
    shown.field->setText(longPath);
    EXPECT_EQ(shown.changes, 1);
    shown.field->setText(QString());
    EXPECT_EQ(shown.changes, 2);
}

TEST(FilenameEdit, ClickIntoTheEditAreaAndTheBrowseButtonAreReportedApart) {
    ShownField shown;
    QTest::mouseClick(shown.field, Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    EXPECT_EQ(shown.clicks, 1);
    EXPECT_EQ(shown.browses, 0);

    QToolButton* browse = shown.field->BrowseButton();
    EXPECT_GE(browse->x(), shown.field->width() - 24) << "the button sits inside the right end";
    QTest::mouseClick(browse, Qt::LeftButton);
    EXPECT_EQ(shown.browses, 1);
    EXPECT_EQ(shown.clicks, 1);

    shown.field->setFocus();
    QTest::keyClick(shown.field, Qt::Key_Down, Qt::AltModifier);
    shown.field->ClickBrowseButton();
    EXPECT_EQ(shown.browses, 3);
}

TEST(FilenameEdit, FieldAndBrowseButtonAreTabStopsAndTheFieldShowsAHandAndItsHint) {
    ShownField shown;
    shown.field->setFocus();
    test::PressKey(&shown.window, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), shown.field->BrowseButton());
    test::PressKey(&shown.window, Qt::Key_Space);
    EXPECT_EQ(shown.browses, 1) << "Space on the browse button presses it";
    EXPECT_EQ(shown.field->cursor().shape(), Qt::PointingHandCursor);
    shown.field->SetHint(QStringLiteral("Click here to select input PDF file"));
    EXPECT_EQ(shown.field->Hint(), QStringLiteral("Click here to select input PDF file"));
    EXPECT_EQ(shown.field->toolTip(), shown.field->Hint());
}

TEST(FilenameEdit, BrowseGlyphTurnsHotWhileHoveredOrPressed) {
    ShownField shown;
    const QIcon glyph = shown.field->BrowseButton()->icon();
    EXPECT_EQ(glyph.pixmap(16, 16, QIcon::Normal).toImage().pixelColor(8, 8), QColor(Qt::red));
    EXPECT_EQ(glyph.pixmap(16, 16, QIcon::Active).toImage().pixelColor(8, 8), QColor(Qt::green));
    EXPECT_TRUE(shown.field->BrowseButton()->autoRaise());
}
