// The find dialog through real clicks and key presses: the remembered texts, the list's artists
// and albums, "Find Next" stepping with wrap-around and "Select All Matches".
#include "FindEntryDialog.h"

#include "DialogTestKit.h"
#include "ListDialogTestKit.h"
#include "ListFind.h"

#include <QComboBox>
#include <QLineEdit>

using namespace dialogtest;
using namespace listtest;

namespace {

// Hits for "house" at 1, 3 and 5.
void FillHouseList(CPlaylist& list)
{
    AddEntry(list, "Intro", "Mobius Reed", "Playa Nights");
    AddEntry(list, "Deep House Cat", "Groover", "Cuts");
    AddEntry(list, "Porcelain Sky", "mobius reed", "Playa Nights");
    AddEntry(list, "Warm", "House of Reeds", "Jump Line");
    AddEntry(list, "Outro", "", "");
    AddEntry(list, "Caf\xC3\xA9 Tenth", "Various", "Greenhouse Hits");
}

QStringList Items(QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

TEST(FindEntryDialog, OpensWithTheLastTextsAndTheListsNames)
{
    CPlaylist list;
    FillHouseList(list);
    ListFindState state{"any", "title", "Mo", "Pl"};
    int current = 0;
    CFindEntryDialog dialog(list, current, state);
    Show(&dialog);
    EXPECT_EQ(dialog.windowTitle(), "Find Entry");
    EXPECT_EQ(Control<QLineEdit>(&dialog, "anywhere")->text(), "any");
    EXPECT_EQ(Control<QLineEdit>(&dialog, "title")->text(), "title");
    auto* artist = Control<QComboBox>(&dialog, "artist");
    auto* album = Control<QComboBox>(&dialog, "album");
    EXPECT_EQ(artist->currentText(), "Mo");
    EXPECT_EQ(album->currentText(), "Pl");
    // Each name once, alphabetical without regard to case (then capitals first); no empty row.
    EXPECT_EQ(Items(artist),
              (QStringList{"Groover", "House of Reeds", "Mobius Reed", "mobius reed", "Various"}));
    EXPECT_EQ(Items(album), (QStringList{"Cuts", "Greenhouse Hits", "Jump Line", "Playa Nights"}));
    for (QLineEdit* field : {Control<QLineEdit>(&dialog, "anywhere"), Control<QLineEdit>(&dialog, "title"),
                             artist->lineEdit(), album->lineEdit()})
        EXPECT_EQ(field->maxLength(), 63);
    EXPECT_EQ(Control<QAbstractButton>(&dialog, "1")->text(), "Find Next");
    EXPECT_EQ(Control<QAbstractButton>(&dialog, "selectAllMatches")->text(), "Select All Matches");
    EXPECT_EQ(Control<QAbstractButton>(&dialog, "2")->text(), "Close");
    ExpectNoClippedText(&dialog);
}

TEST(FindEntryDialog, FindNextStartsAtCurrentThenStepsAndWrapsAround)
{
    CPlaylist list;
    FillHouseList(list);
    for (const int start : {4, 3}) {
        Select(list, {0, 2});
        int current = start;
        ListFindState state;
        std::vector<std::vector<int>> seen;
        std::vector<int> currents;
        WhenModal([&](QWidget* dialog) {
            QTest::keyClicks(Control<QLineEdit>(dialog, "anywhere"), "HOUSE");
            for (int press = 0; press < 4; ++press) {
                // Return presses the default button.
                if (press == 0)
                    QTest::keyClick(Control<QLineEdit>(dialog, "anywhere"), Qt::Key_Return);
                else
                    Click(dialog, "1");
                seen.push_back(Selected(list));
                currents.push_back(current);
            }
            EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open between searches";
            Click(dialog, "2");
        });
        EXPECT_EQ(FindEntry(nullptr, list, current, state), 1);
        // From 4 the first hit is 5; from 3 it is 3 itself.
        const std::vector<int> expected =
            start == 4 ? std::vector<int>{5, 1, 3, 5} : std::vector<int>{3, 5, 1, 3};
        ASSERT_EQ(seen.size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(seen[i], std::vector<int>{expected[i]}) << "press " << i << " from " << start;
            EXPECT_EQ(currents[i], expected[i]);
        }
        EXPECT_EQ(state.any, "HOUSE");
    }
}

TEST(FindEntryDialog, SelectAllMatchesSelectsEveryHitAndKeepsCurrentOnTheFirst)
{
    CPlaylist list;
    FillHouseList(list);
    Select(list, {0, 4});
    int current = 4;
    ListFindState state;
    WhenModal([&](QWidget* dialog) {
        auto* artist = Control<QComboBox>(dialog, "artist");
        QTest::keyClicks(artist->lineEdit(), "MOB");
        Click(dialog, "selectAllMatches");
        EXPECT_EQ(Selected(list), (std::vector<int>{0, 2}));
        // Wraps from 4 round to 0.
        EXPECT_EQ(current, 0);
        // A further "Find Next" goes on after current.
        Click(dialog, "1");
        EXPECT_EQ(Selected(list), std::vector<int>{2});
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(FindEntry(nullptr, list, current, state), 1);
    EXPECT_EQ(state.artist, "MOB");
}

TEST(FindEntryDialog, FieldsCombineAndTextsOutsideAsciiMatch)
{
    CPlaylist list;
    FillHouseList(list);
    struct Case {
        const char* any;
        const char* field;
        QString text;
        std::vector<int> hits;
    } const cases[] = {
        {"", "title", QString::fromUtf8("caf\xC3\xA9"), {5}},
        {"o", "album", QStringLiteral("play"), {0, 2}},
        {"o", "title", QStringLiteral("zzz"), {}},
    };
    for (const Case& c : cases) {
        Select(list, {1});
        int current = 1;
        ListFindState state;
        state.any = c.any;
        WhenModal([&](QWidget* dialog) {
            QWidget* field = Control<QWidget>(dialog, c.field);
            if (auto* box = qobject_cast<QComboBox*>(field))
                field = box->lineEdit();
            TypeText(field, c.text);
            Click(dialog, "selectAllMatches");
            Click(dialog, "2");
        });
        EXPECT_EQ(FindEntry(nullptr, list, current, state), c.hits.empty() ? 0 : 1) << c.field;
        // No hit leaves the selection as it was.
        EXPECT_EQ(Selected(list), c.hits.empty() ? std::vector<int>{1} : c.hits) << c.field;
    }
}

TEST(FindEntryDialog, RemembersTheTypedTextsWithoutASearch)
{
    CPlaylist list;
    FillHouseList(list);
    int current = 0;
    ListFindState state;
    const QString long64(64, QLatin1Char('x'));
    WhenModal([&](QWidget* dialog) {
        QTest::keyClicks(Control<QLineEdit>(dialog, "title"), long64);
        QTest::keyClicks(Control<QComboBox>(dialog, "album")->lineEdit(), "Greenhouse");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(FindEntry(nullptr, list, current, state), 0);
    EXPECT_EQ(state.title, std::string(63, 'x')) << "at most 63 characters";
    EXPECT_EQ(state.album, "Greenhouse");
    EXPECT_EQ(Selected(list), std::vector<int>{}) << "closing does not search";

    CFindEntryDialog again(list, current, state);
    EXPECT_EQ(Control<QLineEdit>(&again, "title")->text(), QString(63, QLatin1Char('x')));
    EXPECT_EQ(Control<QComboBox>(&again, "album")->currentText(), "Greenhouse");
}

} // namespace
