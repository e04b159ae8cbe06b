// The list window's searches without the dialog: select the first hit, select every hit, and
// "find next" from after the current entry.
#include "ListFind.h"

#include "ListDialogTestKit.h"

#include <gtest/gtest.h>

using namespace listtest;

namespace {

// Hits for "house" at 1, 3 and 5: in the title, the artist and the album.
void FillHouseList(CPlaylist& list)
{
    AddEntry(list, "Intro", "Mobius Reed", "Playa Nights");
    AddEntry(list, "Deep House Cat", "Groover", "Cuts");
    AddEntry(list, "Porcelain Sky", "Mobius Reed", "Playa Nights");
    AddEntry(list, "Warm", "House of Reeds", "Jump Line");
    AddEntry(list, "Outro", "Mobius Reed", "Playa Nights");
    AddEntry(list, "Tenth", "Various", "Greenhouse Hits");
}

TEST(ListFind, FindNextStartsAfterCurrentAndWrapsAround)
{
    CPlaylist list;
    FillHouseList(list);
    ListFindState state;
    state.any = "HOUSE";
    struct Step {
        int current;
        int hit;
    } const steps[] = {{0, 1}, {1, 3}, {3, 5}, {5, 1}, {4, 5}, {-1, 1}, {998, 1}};
    for (const Step& step : steps) {
        Select(list, {0, 2, 4});
        int current = step.current;
        EXPECT_EQ(ListFind::FindNextEntry(list, current, state), step.hit) << "from " << step.current;
        EXPECT_EQ(current, step.hit);
        EXPECT_EQ(Selected(list), std::vector<int>{step.hit}) << "the hit is the only selection";
    }
}

TEST(ListFind, NoHitLeavesSelectionAndCurrent)
{
    CPlaylist list;
    FillHouseList(list);
    Select(list, {2, 4});
    ListFindState state;
    state.any = "house";
    state.artist = "mobius reed"; // no Mobius Reed entry says house
    int current = 2;
    EXPECT_EQ(ListFind::FindNextEntry(list, current, state), -1);
    EXPECT_EQ(ListFind::SelectAllMatches(list, 2, current, state), 0);
    EXPECT_EQ(current, 2);
    EXPECT_EQ(Selected(list), (std::vector<int>{2, 4}));

    CPlaylist empty;
    current = 0;
    EXPECT_EQ(ListFind::FindNextEntry(empty, current, state), -1);
    EXPECT_EQ(ListFind::SelectAllMatches(empty, 0, current, state), 0);
}

TEST(ListFind, SelectAllMatchesTakesEveryHitOnceFromAnyStart)
{
    CPlaylist list;
    FillHouseList(list);
    ListFindState state;
    state.any = "house";
    for (const int start : {0, 1, 2, 5, 6}) {
        Select(list, {0, 4});
        int current = -1;
        EXPECT_EQ(ListFind::SelectAllMatches(list, start, current, state), 3) << start;
        EXPECT_EQ(Selected(list), (std::vector<int>{1, 3, 5})) << start;
        // Current is the first hit from the start on.
        EXPECT_EQ(current, start == 2 ? 3 : start == 5 ? 5 : 1) << start;
    }
    // Empty texts match every entry.
    int current = 0;
    EXPECT_EQ(ListFind::SelectAllMatches(list, 0, current, ListFindState{}), list.Count());
}

} // namespace
