// The tab bar over the playlist window through the real window: captions of the cases and the
// tab of the list shown, clicked with the mouse.
#include "CaseTabs.h"
#include "AllocationCounter.h"
#include "PlayerWindowFixture.h"
#include "SwitchControl.h"
#include "TextControl.h"

#include <QCoreApplication>

namespace {

constexpr int kTabs = CMainDialog::kTabs;

class CaseTabsTest : public PlayerWindowTest {
protected:
    void StartWithCases()
    {
        Start({});
        Dialog().ShowPanel(CMainDialog::kCases, true);
        const std::string track = Track("t.wav", 440.0, 1.0);
        // Case 1 stays empty; 2 has no title; 3 and 4 have titles either side of the cut.
        for (int i = 1; i < CPlayerCore::kCases; ++i)
            Core().Case(i).AddTrack(track, true);
        Core().Case(2).SetTitle("Thirteen Char");
        Core().Case(3).SetTitle("Fourteen Chars");
        Dialog().RefreshDisplay(false);
    }
    std::string CaptionText(int caseIndex)
    {
        return Get<CTextControl>(kTabs, CCaseTabs::kFirstCaption + 1 + caseIndex).GetText();
    }
    std::vector<int> TabStates()
    {
        std::vector<int> states;
        for (int k = 0; k < CCaseTabs::kTabs; ++k)
            states.push_back(Get<CSwitchControl>(kTabs, CCaseTabs::kFirstTab + k).GetState());
        return states;
    }
};

} // namespace

TEST_F(CaseTabsTest, CaptionsNameEachCaseByTitleNumberOrEmptinessAndCutLongTitles)
{
    StartWithCases();
    const char* expected[] = {"- empty -", "Case 2", "Thirteen Char", "Fourteen C..."};
    for (int i = 0; i < CPlayerCore::kCases; ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(Dialog().CaseTabs()->CaptionShown(i), expected[i]);
        EXPECT_EQ(CaptionText(i), expected[i]);
    }
    Screenshot(Window(), "tab-bar-captions.png", PanelRect(kTabs));

    // Characters, not bytes, are counted: 13 accented letters stay whole.
    Core().Case(2).SetTitle("\xC3\xA9t\xC3\xA9 \xC3\xA0 Paris!!");
    Core().Case(3).Clear();
    Core().Case(0).AddTrack(Core().Case(1).Entry(0).location, true);
    Dialog().RefreshDisplay(false);
    EXPECT_EQ(CaptionText(0), "Case 1");
    EXPECT_EQ(CaptionText(2), "\xC3\xA9t\xC3\xA9 \xC3\xA0 Paris!!");
    EXPECT_EQ(CaptionText(3), "- empty -");
    Core().Case(2).SetTitle("\xC3\xA9t\xC3\xA9 \xC3\xA0 Paris!!!");
    Dialog().RefreshDisplay(false);
    EXPECT_EQ(CaptionText(2), "\xC3\xA9t\xC3\xA9 \xC3\xA0 Pari...");

    // Unchanged captions are not handed to their controls again: nothing is allocated.
    long allocations = 0;
    for (int i = 0; i < 200; ++i) {
        CAllocationCounter::Start();
        Dialog().CaseTabs()->Refresh(Dialog().CurrentCase(), false);
        allocations += CAllocationCounter::Stop();
    }
    EXPECT_EQ(allocations, 0);
}

TEST_F(CaseTabsTest, ClickingATabShowsItsListAndLightsOnlyThatTab)
{
    StartWithCases();
    EXPECT_EQ(TabStates(), (std::vector<int>{1, 0, 0, 0, 0})) << "the Time Line's list at start";
    for (int k = CCaseTabs::kTabs - 1; k >= 0; --k) {
        SCOPED_TRACE(k);
        Click(kTabs, CCaseTabs::kFirstTab + k);
        EXPECT_EQ(Dialog().CurrentCase(), k - 1);
        EXPECT_EQ(&Dialog().CurrentList(), k == 0 ? &Core().List() : &Core().Case(k - 1));
        Dialog().RefreshDisplay(false);
        std::vector<int> lit(CCaseTabs::kTabs, 0);
        lit[static_cast<size_t>(k)] = 1;
        EXPECT_EQ(TabStates(), lit);
    }
    // Closing the panel gives the commands back to the Time Line's list, and its tab lights.
    Dialog().SetCurrentCase(3);
    Dialog().ShowPanel(CMainDialog::kCases, false);
    Dialog().ShowPanel(CMainDialog::kCases, true);
    Dialog().RefreshDisplay(false);
    EXPECT_EQ(TabStates(), (std::vector<int>{1, 0, 0, 0, 0}));
}
