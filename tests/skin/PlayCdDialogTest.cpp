// The Play CD choice through real clicks and keys.
#include "PlayCdDialog.h"
#include "DialogTestKit.h"

#include <QListWidget>

#include <functional>
#include <string>

using namespace dialogtest;

namespace {

void ClickRow(QListWidget* list, int row, bool doubleClick = false)
{
    const QPoint centre = list->visualItemRect(list->item(row)).center();
    if (doubleClick) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    } else {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    }
}

TEST(PlayCdDialog, ShowsTheOriginalOrderAndTheSecondOption)
{
    CPlayCdDialog dialog("Play the recorded mix \"Friday Warm-Up\"", false);
    Show(&dialog);
    EXPECT_EQ(dialog.windowTitle(), "Quandel - Play CD");
    QListWidget* list = Control<QListWidget>(&dialog, "1201");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "Play tracks in original order");
    EXPECT_EQ(list->item(1)->text(), "Play the recorded mix \"Friday Warm-Up\"");
    EXPECT_EQ(Control<QAbstractButton>(&dialog, "1")->text(), "Play");
    EXPECT_EQ(Control<QAbstractButton>(&dialog, "2")->text(), "Cancel");
    EXPECT_EQ(dialog.Choice(), -1); // still open
    ExpectNoClippedText(&dialog);
}

TEST(PlayCdDialog, ReturnsTheChosenEntry)
{
    using Action = std::function<void(CPlayCdDialog&)>;
    const Action play = [](CPlayCdDialog& d) { Click(&d, "1"); };
    const struct {
        const char* name;
        std::string second;
        bool selectSecond;
        Action action;
        int choice;
    } cases[] = {
        {"one entry, play", "", false, play, 0},
        {"one entry, second asked for", "", true, play, 0},
        {"first preselected", "Play the mix", false, play, 0},
        {"second preselected", "Play the mix", true, play, 1},
        {"second clicked", "Play the mix", false,
         [](CPlayCdDialog& d) {
             ClickRow(d.List(), 1);
             Click(&d, "1");
         },
         1},
        {"first clicked", "Play the mix", true,
         [](CPlayCdDialog& d) {
             ClickRow(d.List(), 0);
             Click(&d, "1");
         },
         0},
        {"arrow down, return", "Play the mix", false,
         [](CPlayCdDialog& d) {
             QTest::keyClick(d.List(), Qt::Key_Down);
             QTest::keyClick(d.List(), Qt::Key_Return);
         },
         1},
        {"double click plays", "Play the mix", false, [](CPlayCdDialog& d) { ClickRow(d.List(), 1, true); },
         1},
        {"cancel", "Play the mix", true, [](CPlayCdDialog& d) { Click(&d, "2"); }, -1},
        {"escape", "Play the mix", true, [](CPlayCdDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CPlayCdDialog dialog(c.second, c.selectSecond);
        Show(&dialog);
        c.action(dialog);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.Choice(), c.choice);
    }
}

TEST(PlayCdDialog, ChoosePlayOrderReturnsTheChoiceOfTheModalDialog)
{
    WhenModal([](QWidget* dialog) { Click(dialog, "1"); });
    EXPECT_EQ(ChoosePlayOrder(nullptr, "Play the mix", true), 1);
    WhenModal([](QWidget* dialog) { Click(dialog, "1"); });
    EXPECT_EQ(ChoosePlayOrder(nullptr, "Play the mix", false), 0);
    WhenModal([](QWidget* dialog) { Click(dialog, "2"); });
    EXPECT_EQ(ChoosePlayOrder(nullptr, "Play the mix", true), -1);
}

} // namespace
