// The Playlist & Mix Info dialog: texts in, typed edits out.
#include "MixInfoDialog.h"
#include "DialogTestKit.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include <string>

using namespace dialogtest;

namespace {

TEST(MixInfoDialog, ShowsTheGivenTexts)
{
    CMixInfoDialog dialog("Friday Warm-Up", "Caf\xC3\xA9 Nacht", "Recorded live.\nSecond set.");
    Show(&dialog);
    EXPECT_EQ(dialog.windowTitle(), "Quandel - Playlist & Mix Info");
    EXPECT_EQ(Control<QLineEdit>(&dialog, "1203")->text(), "Friday Warm-Up");
    EXPECT_EQ(Control<QLineEdit>(&dialog, "1088")->text(), QString::fromUtf8("Caf\xC3\xA9 Nacht"));
    EXPECT_EQ(Control<QPlainTextEdit>(&dialog, "1094")->toPlainText(), "Recorded live.\nSecond set.");
    EXPECT_EQ(Control<QAbstractButton>(&dialog, "1")->text(), "OK");
    EXPECT_EQ(Control<QAbstractButton>(&dialog, "2")->text(), "Abbruch");
    ExpectNoClippedText(&dialog);
}

TEST(MixInfoDialog, TypedEditsComeBackOnOk)
{
    std::string listTitle = "Friday";
    std::string mixTitle;
    std::string comment = "Line one";
    WhenModal([](QWidget* dialog) {
        QTest::keyClicks(Control<QLineEdit>(dialog, "1203"), " Warm-Up");
        auto* mix = Control<QLineEdit>(dialog, "1088");
        QTest::keyClicks(mix, "S");
        // Not on the ASCII keys QTest knows: a key event with its text, as a German keyboard sends.
        QTest::sendKeyEvent(QTest::Click, mix, Qt::Key_Udiaeresis, QString::fromUtf8("\xC3\xBC"),
                            Qt::NoModifier);
        QTest::keyClicks(mix, "dwind");
        auto* comment = Control<QPlainTextEdit>(dialog, "1094");
        comment->moveCursor(QTextCursor::End);
        QTest::keyClick(comment, Qt::Key_Return);
        QTest::keyClicks(comment, "Line two");
        // Return in the comment made a new line and did not close the dialog.
        EXPECT_TRUE(dialog->isVisible());
        Click(dialog, "1");
    });
    EXPECT_EQ(EditMixInfo(nullptr, listTitle, mixTitle, comment), 1);
    EXPECT_EQ(listTitle, "Friday Warm-Up");
    EXPECT_EQ(mixTitle, "S\xC3\xBC"
                        "dwind");
    EXPECT_EQ(comment, "Line one\nLine two");
}

TEST(MixInfoDialog, CancelLeavesTheTextsAlone)
{
    std::string listTitle = "Friday";
    std::string mixTitle = "Mix";
    std::string comment = "Kept";
    for (const bool escape : {false, true}) {
        WhenModal([escape](QWidget* dialog) {
            QTest::keyClicks(Control<QLineEdit>(dialog, "1203"), "changed");
            QTest::keyClicks(Control<QPlainTextEdit>(dialog, "1094"), "changed");
            if (escape)
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                Click(dialog, "2");
        });
        EXPECT_EQ(EditMixInfo(nullptr, listTitle, mixTitle, comment), 0);
        EXPECT_EQ(listTitle, "Friday");
        EXPECT_EQ(mixTitle, "Mix");
        EXPECT_EQ(comment, "Kept");
    }
}

} // namespace
