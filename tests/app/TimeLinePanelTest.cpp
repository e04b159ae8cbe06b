// The Time Line panel through the real window: its boxes against the Time Line, the position
// line and the views following it, marking and playing boxes with the mouse, and the list
// buttons with their menus and messages answered through their buttons.
#include "TimeLinePanel.h"
#include "AllocationCounter.h"
#include "AudioEngine.h"
#include "DialogAnswers.h"
#include "MixTrackView.h"
#include "PlayerWindowFixture.h"
#include "StringTable.h"
#include "SwitchControl.h"
#include "TextControl.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QWheelEvent>

#include <cstdlib>
#include <set>

namespace {

constexpr int kTimeLine = CMainDialog::kTimeLine;
constexpr int kCases = CMainDialog::kCases;

class TimeLinePanelTest : public PlayerWindowTest {
protected:
    // Starts with the Time Line panel open over tracks of these lengths (a.wav, b.wav, ...).
    void StartWith(const std::vector<double>& seconds, const std::string& extraSettings = {})
    {
        std::vector<ListTrack> tracks;
        for (size_t i = 0; i < seconds.size(); ++i) {
            const std::string name(1, static_cast<char>('a' + i));
            tracks.push_back({Track(name + ".wav", 330.0 + 110.0 * static_cast<double>(i), seconds[i]), "",
                              "", static_cast<int32_t>(seconds[i])});
        }
        Start(tracks, extraSettings);
        Dialog().ShowPanel(kTimeLine, true);
        Dialog().RefreshDisplay(true);
    }
    CTimeLinePanel& Panel() { return *Dialog().TimeLinePanel(); }
    CMixTrackView& View(int deck) { return Get<CMixTrackView>(kTimeLine, CTimeLinePanel::kViewA + deck); }
    // The middle of box item's visible part, in window coordinates.
    QPoint BoxPoint(int item)
    {
        const MixTrackBox& box = Panel().Boxes()[static_cast<size_t>(item)];
        const SkinRect r = View(box.deckCode).GetRect();
        return ToWindow(kTimeLine, (r.left + r.right) / 2, box.y - Panel().Scroll() + box.height / 2);
    }
    void ClickOnBox(int item, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(Window(), Qt::LeftButton, modifiers, BoxPoint(item));
    }
    std::vector<int> Marked()
    {
        std::vector<int> marked;
        for (size_t i = 0; i < Panel().Boxes().size(); ++i)
            if (Panel().Boxes()[i].marked != 0)
                marked.push_back(static_cast<int>(i));
        return marked;
    }
    std::vector<std::string> ListTitles()
    {
        std::vector<std::string> titles;
        for (int i = 0; i < Core().List().Count(); ++i)
            titles.push_back(Core().List().Entry(i).title);
        return titles;
    }
    // Picks command in the menu that opens next.
    static CDialogAnswers::Answer Choose(int32_t command)
    {
        return [command](QWidget* widget) {
            auto* menu = qobject_cast<QMenu*>(widget);
            ASSERT_NE(menu, nullptr);
            QAction* action = menu->findChild<QAction*>(QString::number(command));
            ASSERT_NE(action, nullptr) << command;
            action->trigger();
            menu->close();
        };
    }
};

} // namespace

TEST_F(TimeLinePanelTest, BoxesStandWhereTheirItemsPlayAtOnePixelPerFiveAndAHalfSeconds)
{
    StartWith({30.0, 20.0, 10.0});
    Core().List().Entry(1).artist = "A Longer Artist Name Than Any Box Has Room For";
    Dialog().RefreshDisplay(false);
    const std::vector<MixTrackBox>& boxes = Panel().Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    // Automix draws every track at least 170 s long: 30 pixels, starting where the last ended.
    struct Expected {
        uint8_t deck;
        int32_t y;
        uint32_t lengthMs;
        const char* title;
    };
    const Expected expected[] = {{0, 0, 30000, "1. a"}, {1, 30, 20000, "2. b"}, {0, 61, 10000, "3. c"}};
    for (size_t i = 0; i < boxes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(boxes[i].deckCode, expected[i].deck);
        EXPECT_EQ(boxes[i].y, expected[i].y);
        EXPECT_EQ(boxes[i].height, 30);
        EXPECT_EQ(boxes[i].lengthMs, expected[i].lengthMs);
        EXPECT_STREQ(boxes[i].title, expected[i].title);
        EXPECT_EQ(boxes[i].selected, 0) << "nothing plays";
    }
    EXPECT_EQ(std::string(boxes[1].artist), "A Longer Artist Name Than Any Box Ha") << "36 characters";
    // Each view finds its own deck's boxes only.
    const int32_t scroll = Panel().Scroll();
    EXPECT_EQ(View(0).TrackAt(10, 5 - scroll, true), 0);
    EXPECT_EQ(View(0).TrackAt(10, 31 - scroll, true), -1);
    EXPECT_EQ(View(1).TrackAt(10, 31 - scroll, true), 1);
    EXPECT_EQ(View(1).TrackAt(10, 5 - scroll, true), -1);
    EXPECT_EQ(Get<CTextControl>(kTimeLine, CTimeLinePanel::kMixTime).GetText(), "00:00");
    QTest::mouseClick(Window(), Qt::LeftButton, {}, Centre(kTimeLine, CTimeLinePanel::kMixTime));
    EXPECT_EQ(std::string(Panel().MixTimeShown()), "-01:00") << "remaining: 30 + 20 + 10 s";
}

TEST_F(TimeLinePanelTest, TheViewsFollowThePositionLineUntilScrolledAndFollowAgainWhenAsked)
{
    const char* names[][2] = {{"Midnight Harbour", "Lumen Drift"},
                              {"Coastline (Extended Mix)", "Orla Venn"},
                              {"Glass Pavilion", "The Quiet Arcade"},
                              {"Northbound", "Sable & Rhee"},
                              {"Low Tide Signals", "Marisol Okafor"}};
    std::vector<ListTrack> tracks;
    for (size_t i = 0; i < std::size(names); ++i)
        tracks.push_back(
            {Track("t" + std::to_string(i) + ".wav", 300.0 + 60.0 * static_cast<double>(i), 30.0),
             names[i][0], names[i][1], 30});
    Start(tracks);
    Dialog().ShowPanel(kTimeLine, true);
    Core().List().SetSelected(3, true); // a marked box in the picture
    EXPECT_TRUE(Panel().Following());
    EXPECT_EQ(Get<CSwitchControl>(kTimeLine, CTimeLinePanel::kFollow).GetState(), 1);
    EXPECT_EQ(Panel().Scroll(), -CTimeLinePanel::kFollowOffset);
    Core().SetRunStop(true);
    // A 30 s track drawn 170 s long moves its line a pixel for every 0.97 s played.
    ASSERT_TRUE(WaitFor([&] { return Panel().PositionLine() >= 2; }));
    EXPECT_TRUE(WaitFor([&] { return Panel().Boxes()[0].selected == 1; })) << "the playing box";
    for (int deck = 0; deck < 2; ++deck) {
        EXPECT_EQ(View(deck).PositionLine(), Panel().PositionLine());
        EXPECT_EQ(View(deck).Scroll(), Panel().PositionLine() - CTimeLinePanel::kFollowOffset);
    }
    Screenshot(Window(), "timeline-panel-playing.png", PanelRect(kTimeLine));

    // The wheel over deck B's view scrolls both and stops the following.
    const QPoint overB = Centre(kTimeLine, CTimeLinePanel::kViewA + 1);
    QWheelEvent wheel(QPointF(overB), QPointF(Window()->mapToGlobal(overB)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Window(), &wheel);
    EXPECT_FALSE(Panel().Following());
    const int32_t scrolled = Panel().Scroll();
    EXPECT_EQ(View(0).Scroll(), scrolled);
    EXPECT_EQ(View(1).Scroll(), scrolled);
    Dialog().RefreshDisplay(false);
    EXPECT_EQ(Get<CSwitchControl>(kTimeLine, CTimeLinePanel::kFollow).GetState(), 0);
    const int32_t line = Panel().PositionLine();
    ASSERT_TRUE(WaitFor([&] { return Panel().PositionLine() >= line + 2; }));
    EXPECT_EQ(Panel().Scroll(), scrolled) << "the views stay where the user left them";

    // The scroll buttons move both views by 5 pixels.
    Click(kTimeLine, CTimeLinePanel::kScrollDown);
    EXPECT_EQ(Panel().Scroll(), scrolled + 5);
    Click(kTimeLine, CTimeLinePanel::kScrollUp);
    Click(kTimeLine, CTimeLinePanel::kScrollUp);
    EXPECT_EQ(View(1).Scroll(), scrolled - 5);

    Click(kTimeLine, CTimeLinePanel::kFollow);
    EXPECT_TRUE(Panel().Following());
    EXPECT_EQ(Panel().Scroll(), Panel().PositionLine() - CTimeLinePanel::kFollowOffset);
    const int32_t again = Panel().PositionLine();
    ASSERT_TRUE(WaitFor([&] { return Panel().PositionLine() > again; }));
    EXPECT_EQ(View(0).Scroll(), Panel().PositionLine() - CTimeLinePanel::kFollowOffset);
}

TEST_F(TimeLinePanelTest, ClicksMarkBoxesAndADoubleClickPlaysOne)
{
    StartWith({30.0, 30.0, 30.0, 30.0});
    ClickOnBox(2);
    EXPECT_EQ(Marked(), std::vector<int>{2});
    EXPECT_TRUE(Core().List().Entry(2).selected) << "a mark is the entry's selection";
    ClickOnBox(0, Qt::ControlModifier);
    EXPECT_EQ(Marked(), (std::vector<int>{0, 2}));
    ClickOnBox(2, Qt::ControlModifier);
    EXPECT_EQ(Marked(), std::vector<int>{0});
    ClickOnBox(3, Qt::ShiftModifier);
    EXPECT_EQ(Marked(), (std::vector<int>{0, 1, 2, 3})) << "from the first marked box";
    ClickOnBox(1);
    EXPECT_EQ(Marked(), std::vector<int>{1}) << "a plain click marks its box alone";
    ClickOnBox(3);
    // Below the last box of deck A's view: no box there.
    const SkinRect r = View(0).GetRect();
    QTest::mouseClick(Window(), Qt::LeftButton, Qt::ShiftModifier,
                      ToWindow(kTimeLine, r.left + 5, r.bottom - 2));
    EXPECT_EQ(Marked(), std::vector<int>{3}) << "Shift on no box keeps the marks";
    QTest::mouseClick(Window(), Qt::LeftButton, {}, ToWindow(kTimeLine, r.left + 5, r.bottom - 2));
    EXPECT_TRUE(Marked().empty());

    Core().SetRunStop(true);
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(0).Playing(); }));
    // As the desktop reports a double click: two clicks, the second also reported as a double
    // click.
    ClickOnBox(2);
    QTest::mousePress(Window(), Qt::LeftButton, {}, BoxPoint(2));
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(BoxPoint(2)),
                      QPointF(Window()->mapToGlobal(BoxPoint(2))), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(Window(), &twice);
    QTest::mouseRelease(Window(), Qt::LeftButton, {}, BoxPoint(2));
    const int32_t third = Core().List().Entry(2).id;
    EXPECT_TRUE(WaitFor([&] {
        return Core().Automix().CurrentIndex() == 2 && Core().Engine().LoadedEntry(0) == third &&
               Core().Engine().Deck(0).Playing();
    }));
    EXPECT_TRUE(
        WaitFor([&] { return Panel().Boxes()[2].selected == 1 && Panel().Boxes()[0].selected == 0; }));
}

TEST_F(TimeLinePanelTest, DeleteStopsAtAnEntryTheMixUsesAndClearAllEmptiesTheTimeLine)
{
    StartWith({10.0, 10.0, 10.0, 10.0});
    const std::vector<std::string> before = ListTitles();
    ClickOnBox(0);
    ClickOnBox(2, Qt::ShiftModifier);
    ASSERT_EQ(Marked(), (std::vector<int>{0, 1, 2}));
    Core().List().Entry(1).lock = true; // as a loaded mix locks the entries it plays
    std::string message;
    {
        CDialogAnswers answers({Choose(CTimeLinePanel::kDeleteSelected), [&](QWidget* box) {
                                    message = qobject_cast<QMessageBox*>(box)->text().toStdString();
                                    ClickBox(box, QMessageBox::Ok);
                                }});
        Click(kTimeLine, CTimeLinePanel::kDelete);
        EXPECT_TRUE(WaitFor([&] { return answers.Answered() == 2; }, 5000));
    }
    EXPECT_EQ(message, CStringTable::Program().Get(109));
    EXPECT_EQ(ListTitles(), (std::vector<std::string>{before[1], before[2], before[3]}))
        << "the first went; the delete stopped at the locked one";
    EXPECT_EQ(Core().TimeLine().Count(), 3);
    EXPECT_EQ(Panel().Boxes().size(), 3u);
    EXPECT_TRUE(Marked().empty());

    {
        CDialogAnswers answers({Choose(CTimeLinePanel::kClearAll)});
        Click(kTimeLine, CTimeLinePanel::kDelete);
        EXPECT_EQ(answers.Answered(), 1);
    }
    EXPECT_EQ(Core().List().Count(), 0);
    EXPECT_EQ(Core().TimeLine().Count(), 0);
    EXPECT_TRUE(Panel().Boxes().empty());
}

TEST_F(TimeLinePanelTest, TheOrderButtonsTransferTheShownCaseInItsOrderOrShuffled)
{
    StartWith({5.0});
    CPlaylist& source = Core().Case(2);
    std::vector<std::string> caseTitles;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "case" + std::to_string(i);
        source.AddTrack(Track(name + ".wav", 300.0 + 50.0 * i, 2.0), true);
        caseTitles.push_back(name);
    }
    Dialog().ShowPanel(kCases, true);
    Click(CMainDialog::kTabs, 15 + 3);
    ASSERT_EQ(Dialog().CurrentCase(), 2);

    Click(kTimeLine, CTimeLinePanel::kOrderPlaylist);
    EXPECT_EQ(ListTitles(), caseTitles);
    EXPECT_EQ(Core().PlaybackModeValue(), CPlayerCore::kAutomix);
    EXPECT_EQ(source.Count(), 8) << "the case keeps its tracks";
    ASSERT_EQ(Panel().Boxes().size(), 8u);
    EXPECT_STREQ(Panel().Boxes()[7].title, "8. case7");

    std::srand(11);
    Click(kTimeLine, CTimeLinePanel::kOrderShuffle);
    const std::vector<std::string> shuffled = ListTitles();
    EXPECT_NE(shuffled, caseTitles);
    EXPECT_EQ(std::set<std::string>(shuffled.begin(), shuffled.end()),
              std::set<std::string>(caseTitles.begin(), caseTitles.end()));
    const CTimeLine& timeLine = Core().TimeLine();
    ASSERT_EQ(timeLine.Count(), 8);
    for (int i = 0; i < timeLine.Count(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(timeLine.Item(i)->track, Core().List().Entry(i).id) << "the list plays in its order";
        EXPECT_EQ(timeLine.Item(i)->deck, i % 2);
        EXPECT_EQ(timeLine.Item(i)->start, i * CTimeLine::kMinDisplayMs);
        EXPECT_EQ(std::string(Panel().Boxes()[static_cast<size_t>(i)].title),
                  std::to_string(i + 1) + ". " + shuffled[static_cast<size_t>(i)]);
    }
}

TEST_F(TimeLinePanelTest, AddAndDeleteAreOffInDjMixAndOnInAutomix)
{
    StartWith({5.0, 5.0});
    const auto& add = Get<CSwitchControl>(kTimeLine, CTimeLinePanel::kAdd);
    const auto& remove = Get<CSwitchControl>(kTimeLine, CTimeLinePanel::kDelete);
    EXPECT_TRUE(add.IsEnabled() && remove.IsEnabled());

    Core().Mix().SetStream({0x00, 0x04, 0x10, 9, 0x64, 0x00, 0x10, 1, 0x00, 0xC0, 0x00, 0x80}, 2);
    Core().SetPlaybackMode(CPlayerCore::kDjMix);
    ASSERT_EQ(Core().PlaybackModeValue(), CPlayerCore::kDjMix);
    Dialog().RefreshDisplay(false);
    EXPECT_FALSE(add.IsEnabled());
    EXPECT_FALSE(remove.IsEnabled());
    {
        CDialogAnswers answers({});
        Click(kTimeLine, CTimeLinePanel::kAdd);
        Click(kTimeLine, CTimeLinePanel::kDelete);
        QTest::qWait(200);
        EXPECT_TRUE(answers.Seen().empty()) << "no menu opens";
    }
    EXPECT_EQ(Core().List().Count(), 2);

    Core().SetPlaybackMode(CPlayerCore::kAutomix);
    Dialog().RefreshDisplay(false);
    EXPECT_TRUE(add.IsEnabled() && remove.IsEnabled());
    const std::string extra = Track("extra.wav", 550.0, 3.0);
    {
        CDialogAnswers answers({Choose(CTimeLinePanel::kAddFiles), ChooseFile(extra)});
        Click(kTimeLine, CTimeLinePanel::kAdd);
    }
    ASSERT_EQ(Core().List().Count(), 3);
    EXPECT_EQ(Core().List().Entry(2).location, extra);
    EXPECT_TRUE(WaitFor([&] { return Panel().Boxes().size() == 3u; }));
}

TEST_F(TimeLinePanelTest, ASteadyRefreshAllocatesNothingWhileTheListPlays)
{
    StartWith({60.0, 60.0, 60.0});
    Dialog().ShowPanel(kCases, true);
    Core().Case(0).SetTitle("Warm-up set for Friday");
    Core().Case(0).AddTrack(Core().List().Entry(0).location, true);
    Core().SetRunStop(true);
    ASSERT_TRUE(
        WaitFor([&] { return Core().Engine().Deck(0).Playing() && Panel().Boxes()[0].selected == 1; }));
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(1).Loaded() && !Core().Engine().Loading(1); }));
    ASSERT_TRUE(WaitAnalysed());
    QTest::qWait(1300); // the play times learned, the first second's texts settled
    const uint32_t rebuilds = Panel().Rebuilds();
    const int32_t line = Panel().PositionLine();
    long allocations = 0;
    for (int i = 0; i < 1000; ++i) {
        CAllocationCounter::Start();
        Dialog().RefreshDisplay(false);
        allocations += CAllocationCounter::Stop();
        if (i % 50 == 0)
            QCoreApplication::processEvents();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(Panel().Rebuilds(), rebuilds) << "nothing changed that the boxes show";
    EXPECT_TRUE(WaitFor([&] { return Panel().PositionLine() > line; })) << "the line moves on";
}
