// The playlist window as a user drives it: rows clicked, dragged and double-clicked in the real
// list view, its header clicked and dragged, its buttons and menus, files dropped on it.
#include "PlaylistPanel.h"
#include "AudioEngine.h"
#include "BeatTestSet.h"
#include "DialogAnswers.h"
#include "PlayerWindowFixture.h"
#include "PlaylistListCtrl.h"
#include "StringIds.h"
#include "StringTable.h"
#include "WavWriter.h"

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace {

constexpr int kDeck = CMainDialog::kDeck;
constexpr int kCases = CMainDialog::kCases;

class PlaylistPanelTest : public PlayerWindowTest {
protected:
    CPlaylistPanel& Panel() { return *Dialog().PlaylistPanel(); }
    CPlaylistListCtrl& View() { return Panel().ListCtrl(); }
    // Starts with the Cases panel open and case k shown, holding tracks named by the titles.
    void StartWithCase(int k, const std::vector<std::string>& titles)
    {
        Start({{Track("a.wav", 440.0, 30.0), "A", "Orla"}, {Track("b.wav", 660.0, 30.0), "B", "Sable"}});
        if (!Dialog().IsPanelOpen(kCases))
            Dialog().ShowPanel(kCases, true);
        CPlaylist& list = Core().Case(k);
        for (const std::string& title : titles) {
            const int i = list.AddTrack(Track(title + ".wav", 300.0, 1.0), true);
            ASSERT_GE(i, 0);
        }
        Dialog().SetCurrentCase(k);
        Dialog().RefreshDisplay(true);
    }
    QPoint RowPoint(int row) { return View().visualRect(View().Model().index(row, 0)).center(); }
    // A file or folder dragged from the desktop and dropped on a row.
    void DropOnRow(const std::string& path, int row)
    {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        const QPoint at = RowPoint(row);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(View().viewport(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(View().viewport(), &drop);
    }
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(View().viewport(), Qt::LeftButton, modifiers, RowPoint(row));
    }
    std::vector<std::string> Titles(const CPlaylist& list)
    {
        std::vector<std::string> titles;
        for (int i = 0; i < list.Count(); ++i)
            titles.push_back(list.Entry(i).title);
        return titles;
    }
    // A drag of the view's rows from one point to another, as the mouse does it.
    void Drag(QPoint from, QPoint to)
    {
        QWidget* viewport = View().viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, from);
        const QPoint step = (to - from) / 4;
        for (int i = 1; i <= 4; ++i) {
            QMouseEvent move(QEvent::MouseMove, QPointF(from + step * i),
                             viewport->mapToGlobal(from + step * i), Qt::LeftButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(viewport, &move);
        }
        QMouseEvent move(QEvent::MouseMove, QPointF(to), viewport->mapToGlobal(to), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
    }
};

} // namespace

TEST_F(PlaylistPanelTest, TheViewMirrorsTheListWithItsColumnsWordsAndSelection)
{
    StartWithCase(0, {"one", "two", "three"});
    CPlaylist& list = Core().Case(0);
    list.Entry(1).playTime = 5941;
    list.Entry(1).trackNumber = 7;
    list.Entry(1).changed = true;
    Dialog().RefreshDisplay(false);
    const CPlaylistListModel& model = View().Model();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), "two");
    EXPECT_EQ(model.data(model.index(1, 2), Qt::DisplayRole).toString(), "99:01");
    EXPECT_EQ(model.data(model.index(1, 3), Qt::DisplayRole).toString(), "07");
    EXPECT_EQ(model.data(model.index(0, 2), Qt::DisplayRole).toString(), "") << "no time before one is known";
    EXPECT_EQ(model.headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), "002");

    // Clicks select in the list; the list's marks show in the view.
    ClickRow(0);
    ClickRow(2, Qt::ControlModifier);
    EXPECT_TRUE(list.Entry(0).selected && !list.Entry(1).selected && list.Entry(2).selected);
    list.SetSelected(1, true);
    Dialog().RefreshDisplay(false);
    EXPECT_TRUE(View().selectionModel()->isRowSelected(1, {}));

    // A file that went is drawn as missing at the next check; a 1000th entry is refused and the
    // rows never outnumber the entries.
    std::filesystem::remove(list.Entry(2).location);
    list.Refresh(false);
    Dialog().RefreshDisplay(false);
    EXPECT_EQ(model.Word(2), CPlaylistListModel::kMissing);
    while (list.Count() < CPlaylist::kMaxEntries)
        ASSERT_GE(list.AddTrack(list.Entry(0).location, false), 0);
    EXPECT_EQ(list.AddTrack(list.Entry(0).location, false), CPlaylist::kFull);
    Dialog().RefreshDisplay(false);
    EXPECT_EQ(model.rowCount(), CPlaylist::kMaxEntries);
    list.Remove(list.Count() - 1, true);
    Dialog().RefreshDisplay(false);
    EXPECT_EQ(model.rowCount(), list.Count());
}

TEST_F(PlaylistPanelTest, HeaderClicksSortUpThenDownAndMovedColumnsKeepTheirKeys)
{
    StartWithCase(1, {"m", "c", "x", "a"});
    CPlaylist& list = Core().Case(1);
    const std::vector<std::string> artists = {"Orla", "sable", "Ash", "orla"};
    for (int i = 0; i < 4; ++i)
        list.Entry(i).artist = artists[static_cast<size_t>(i)];
    QHeaderView* header = View().header();
    // Title moved to the fourth place: the drawing changes, not what each column holds.
    header->moveSection(header->visualIndex(0), 3);
    Dialog().RefreshDisplay(true);
    EXPECT_EQ(View().Model().data(View().Model().index(0, 0), Qt::DisplayRole).toString(), "m");
    auto clickHeader = [&](int logical) {
        const int x = header->sectionViewportPosition(logical) + header->sectionSize(logical) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    };
    clickHeader(0);
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"a", "c", "m", "x"}));
    clickHeader(0);
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"x", "m", "c", "a"}));
    // Artists without regard to case; the two of Orla keep the order they had.
    clickHeader(1);
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"x", "m", "a", "c"}));

    // The context menu's sorts take only the selection, gathered at its first entry.
    list.ClearSelection();
    list.SetSelected(1, true);
    list.SetSelected(3, true);
    Dialog().RefreshDisplay(false);
    {
        CDialogAnswers answers({[](QWidget* widget) {
            auto* menu = qobject_cast<QMenu*>(widget);
            ASSERT_NE(menu, nullptr);
            EXPECT_NE(menu->findChild<QAction*>(QStringLiteral("17701")), nullptr);
            menu->findChild<QAction*>(QStringLiteral("17701"))->trigger();
            menu->close();
        }});
        QContextMenuEvent event(QContextMenuEvent::Mouse, RowPoint(1),
                                View().viewport()->mapToGlobal(RowPoint(1)));
        QApplication::sendEvent(View().viewport(), &event);
    }
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"x", "c", "m", "a"}));
    EXPECT_TRUE(list.Entry(1).selected && list.Entry(2).selected);
    // With one entry selected the menu has no sorts.
    list.ClearSelection();
    list.SetSelected(0, true);
    Dialog().RefreshDisplay(false);
    {
        CDialogAnswers answers({[](QWidget* widget) {
            auto* menu = qobject_cast<QMenu*>(widget);
            ASSERT_NE(menu, nullptr);
            EXPECT_EQ(menu->findChild<QAction*>(QStringLiteral("17701")), nullptr);
            EXPECT_NE(menu->findChild<QAction*>(QStringLiteral("17706")), nullptr);
            menu->close();
        }});
        QContextMenuEvent event(QContextMenuEvent::Mouse, RowPoint(0),
                                View().viewport()->mapToGlobal(RowPoint(0)));
        QApplication::sendEvent(View().viewport(), &event);
        EXPECT_EQ(answers.Answered(), 1);
    }
}

TEST_F(PlaylistPanelTest, RowsDraggedInsideMoveAndRowsDraggedOntoTheDecksPlayNext)
{
    StartWithCase(2, {"r0", "r1", "r2", "r3", "r4", "r5"});
    CPlaylist& list = Core().Case(2);
    ClickRow(1);
    ClickRow(2, Qt::ControlModifier);
    Drag(RowPoint(1), RowPoint(4));
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"r0", "r3", "r1", "r2", "r4", "r5"}));
    EXPECT_TRUE(list.Entry(2).selected && list.Entry(3).selected && !list.Entry(4).selected);
    EXPECT_EQ(Panel().Current(), 2);

    // Out of the list and onto the deck panel: the move is off, the source row alone is
    // selected again, and that entry goes after the playing item and plays.
    Click(kDeck, 800);
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(0).Playing(); }));
    ClickRow(5);
    const QPoint deckInWindow = Centre(kDeck, 24);
    const QPoint deckInView = View().viewport()->mapFrom(Window(), deckInWindow);
    Drag(RowPoint(5), deckInView);
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"r0", "r3", "r1", "r2", "r4", "r5"}))
        << "nothing moved";
    EXPECT_TRUE(list.Entry(5).selected);
    ASSERT_EQ(Core().List().Count(), 3);
    EXPECT_EQ(Core().List().Entry(1).title, "r5");
    EXPECT_TRUE(WaitFor([&] {
        const TrackEntry* entry =
            Core().List().EntryById(Core().Engine().LoadedEntry(Core().Automix().CurrentDeck()));
        return entry != nullptr && entry->title == "r5" && Core().Automix().CurrentIndex() == 1;
    }));
}

TEST_F(PlaylistPanelTest, TheButtonsCopyTheSelectionIntoTheTimeLine)
{
    StartWithCase(0, {"c0", "c1", "c2", "c3"});
    CPlaylist& list = Core().Case(0);
    list.SetSelected(0, true);
    Click(kCases, CPlaylistPanel::kAppend);
    EXPECT_EQ(Titles(Core().List()), (std::vector<std::string>{"A", "B", "c0"}));
    list.ClearSelection();
    list.SetSelected(1, true);
    list.SetSelected(2, true);
    Click(kCases, CPlaylistPanel::kInsert);
    EXPECT_EQ(Titles(Core().List()), (std::vector<std::string>{"A", "c1", "c2", "B", "c0"}));

    // Random places after the playing item: each entry lands within the part after it, and the
    // same seed gives the same places.
    auto randomRun = [&](uint32_t seed) {
        Core().ClearList();
        for (int i = 0; i < 6; ++i)
            Core().AddToList(list.Entry(0).location, -1);
        Panel().SetRandomSeed(seed);
        list.ClearSelection();
        list.SetSelected(3, true);
        list.SetSelected(2, true);
        Dialog().RefreshDisplay(false);
        Click(kCases, CPlaylistPanel::kRandom);
        std::vector<int> places;
        for (int i = 0; i < Core().List().Count(); ++i)
            if (Core().List().Entry(i).title == "c2" || Core().List().Entry(i).title == "c3")
                places.push_back(i);
        return places;
    };
    const std::vector<int> first = randomRun(7);
    ASSERT_EQ(first.size(), 2u);
    for (const int place : first) {
        EXPECT_GE(place, 1) << "never before the playing item";
        EXPECT_LE(place, 7);
    }
    EXPECT_EQ(randomRun(7), first);
    EXPECT_TRUE(Dialog().Form(kCases)->FindControl(CPlaylistPanel::kInsert)->IsEnabled());
    Dialog().SetCurrentCase(-1);
    Dialog().RefreshDisplay(false);
    EXPECT_FALSE(Dialog().Form(kCases)->FindControl(CPlaylistPanel::kInsert)->IsEnabled())
        << "the Time Line's own list is not copied into itself";
}

TEST_F(PlaylistPanelTest, ADeleteStopsAtTheFirstEntryAMixUses)
{
    StartWithCase(0, {});
    Dialog().SetCurrentCase(-1);
    if (!Dialog().IsPanelOpen(kCases))
        Dialog().ShowPanel(kCases, true);
    for (const char* name : {"d0", "d1", "d2"})
        Core().AddToList(Track(std::string(name) + ".wav", 300.0, 1.0), -1);
    CPlaylist& list = Core().List();
    ASSERT_EQ(list.Count(), 5);
    list.Entry(3).lock = true;
    for (const int i : {1, 3, 4})
        list.SetSelected(i, true);
    std::string message;
    CDialogAnswers answers({[](QWidget* widget) {
                                auto* menu = qobject_cast<QMenu*>(widget);
                                ASSERT_NE(menu, nullptr);
                                menu->findChild<QAction*>(QStringLiteral("20601"))->trigger();
                                menu->close();
                            },
                            [&](QWidget* box) {
                                message = qobject_cast<QMessageBox*>(box)->text().toStdString();
                                ClickBox(box, QMessageBox::Ok);
                            }});
    Click(kCases, CPlaylistPanel::kDelete);
    ASSERT_TRUE(WaitFor([&] { return answers.Answered() == 2; }, 5000));
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"A", "d0", "d1", "d2"}));
    EXPECT_EQ(message, CStringTable::Program().Get(109));
    EXPECT_EQ(list.FirstSelected(), -1) << "the selection is emptied";
}

TEST_F(PlaylistPanelTest, ADroppedFolderFillsTheCaseWhileTheWindowGoesOn)
{
    StartWithCase(3, {"first"});
    const std::string folder = m_home.Root() + "/crate";
    std::filesystem::create_directories(folder);
    const std::string one = Track("one.wav", 440.0, 0.05);
    for (int i = 0; i < 300; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/t%03d.wav", i);
        std::filesystem::copy_file(one, folder + name);
    }
    DropOnRow(folder, 0);
    // Each tick's own work, the taking of the gathered entries included, stays short.
    qint64 longestMs = 0;
    QElapsedTimer tick;
    ASSERT_TRUE(WaitFor(
        [&] {
            tick.start();
            Dialog().RefreshDisplay(false);
            longestMs = std::max(longestMs, tick.elapsed());
            return !Dialog().ImportRunning();
        },
        60000));
    EXPECT_LT(longestMs, 100);
    CPlaylist& list = Core().Case(3);
    ASSERT_EQ(list.Count(), 301);
    EXPECT_EQ(list.Entry(0).title, "first");
    EXPECT_EQ(list.Entry(1).title, "t000");
    EXPECT_FALSE(list.Entry(0).selected);
    EXPECT_TRUE(list.Entry(1).selected && list.Entry(300).selected) << "the added entries are selected";
    EXPECT_EQ(View().Model().rowCount(), 301);
}

TEST_F(PlaylistPanelTest, ADoubleClickJumpsInTheTimeLineAndScreenshotOfALongList)
{
    std::vector<ListTrack> tracks;
    const char* artists[] = {"Orla Venn", "Sable & Rhee", "Lumen Drift", "The Quiet Arcade"};
    for (int i = 0; i < 30; ++i) {
        char title[32];
        std::snprintf(title, sizeof title, "Track %02d", i + 1);
        tracks.push_back(
            {Track(std::string(title) + ".wav", 300.0 + 10.0 * i, 20.0), title, artists[i % 4], 180 + 7 * i});
    }
    Start(tracks);
    if (!Dialog().IsPanelOpen(kCases))
        Dialog().ShowPanel(kCases, true);
    CPlaylist& list = Core().List();
    std::filesystem::remove(list.Entry(6).location);
    list.Refresh(false);
    Click(kDeck, 800);
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(0).Playing(); }));
    QTest::mouseDClick(View().viewport(), Qt::LeftButton, {}, RowPoint(3));
    EXPECT_TRUE(WaitFor([&] {
        const TrackEntry* entry = list.EntryById(Core().Engine().LoadedEntry(Core().Automix().CurrentDeck()));
        return Core().Automix().CurrentIndex() == 3 && entry != nullptr && entry->title == "Track 04" &&
               Core().Engine().Deck(Core().Automix().CurrentDeck()).Playing();
    }));
    ASSERT_TRUE(
        WaitFor([&] { return Core().Engine().LoadedEntry(0) >= 0 && Core().Engine().LoadedEntry(1) >= 0; }));
    list.ClearSelection();
    for (const int i : {9, 10, 11})
        list.SetSelected(i, true);
    Dialog().RefreshDisplay(true);
    QTest::qWait(100);
    int inDecks = 0;
    for (int row = 0; row < list.Count(); ++row)
        inDecks +=
            (View().Model().Word(row) & (CPlaylistListModel::kInDeckA | CPlaylistListModel::kInDeckB)) != 0;
    EXPECT_EQ(inDecks, 2);
    EXPECT_EQ(View().Model().Word(6) & CPlaylistListModel::kMissing, CPlaylistListModel::kMissing);
    Screenshot(Window(), "playlist-30-tracks.png", PanelRect(kCases));
}

TEST_F(PlaylistPanelTest, HostileListsDroppedOnTheViewAddAtMostAFullListQuickly)
{
    StartWithCase(1, {"kept"});
    const std::string bomb = m_home.Root() + "/bomb.qzl";
    {
        // Entities nested ten deep: a billion copies if a reader expanded them.
        std::ofstream out(bomb);
        out << "<?xml version=\"1.0\"?>\n<!DOCTYPE QZL [\n<!ENTITY l0 \"lollollollollol\">\n";
        for (int i = 1; i <= 9; ++i) {
            out << "<!ENTITY l" << i << " \"";
            for (int k = 0; k < 10; ++k)
                out << "&l" << i - 1 << ';';
            out << "\">\n";
        }
        out << "]>\n<QZL VERSION=\"3\"><PLAYLIST><ENTRY TITLE=\"&l9;\" ID=\"1\"><LOCATION FILE=\"x.mp3\" "
               "PATH=\"/m/\"/></ENTRY></PLAYLIST></QZL>\n";
    }
    const std::string huge = m_home.Root() + "/huge.qzl";
    {
        std::ofstream out(huge);
        out << "<QZL VERSION=\"3\"><PLAYLIST>";
        for (int i = 0; i < 10000; ++i)
            out << "<ENTRY TITLE=\"t" << i << "\" ID=\"" << i << "\"><LOCATION FILE=\"f" << i
                << ".mp3\" PATH=\"/m/\"/></ENTRY>";
        out << "</PLAYLIST></QZL>\n";
    }
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(bomb)),
                  QUrl::fromLocalFile(QString::fromStdString(huge))});
    QDragEnterEvent enter(RowPoint(0), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(View().viewport(), &enter);
    QDropEvent drop(QPointF(RowPoint(0)), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QElapsedTimer handling;
    handling.start();
    QApplication::sendEvent(View().viewport(), &drop);
    Dialog().RefreshDisplay(false);
    EXPECT_LT(handling.elapsed(), 1000) << "the window answers again within a second";
    const CPlaylist& list = Core().Case(1);
    ASSERT_EQ(list.Count(), CPlaylist::kMaxEntries);
    EXPECT_EQ(list.Entry(0).title, "kept") << "what the case held stays";
    for (int i = 1; i < list.Count(); ++i)
        ASSERT_LT(list.Entry(i).title.size(), 64u) << "no expanded entity in a title";
    EXPECT_EQ(View().Model().rowCount(), CPlaylist::kMaxEntries);
}

TEST_F(PlaylistPanelTest, AddedTracksAreAnalysedInTheBackgroundAndAnalyseReadsOneAgain)
{
    StartWithCase(2, {"first"});
    const std::string folder = m_home.Root() + "/beats";
    std::filesystem::create_directories(folder);
    BeatTrackRecipe recipe;
    recipe.seconds = 10.0;
    for (int i = 0; i < 12; ++i) {
        recipe.tempo = 100.0 + 5.0 * i;
        recipe.seed = static_cast<uint32_t>(i + 1);
        const StereoSignal signal = RenderBeatTrack(recipe);
        char name[32];
        std::snprintf(name, sizeof name, "/beat%02d.wav", i);
        ASSERT_TRUE(WriteStereoWav16(folder + name, signal.left, signal.right));
    }
    DropOnRow(folder, 0);
    ASSERT_TRUE(WaitFor([&] { return !Dialog().ImportRunning(); }, 60000));
    // The tick after the import names the analysis in the title line (the two tracks of the Time
    // Line the player started with are in the count): twelve tracks take longer than a tick even on
    // a fast machine.
    Dialog().RefreshDisplay(false);
    EXPECT_EQ(Dialog().TitleLineShown().rfind("analysing ", 0), 0u) << Dialog().TitleLineShown();
    Screenshot(Window(), "title-line-analysing.png", PanelRect(kDeck));

    CPlaylist& list = Core().Case(2);
    ASSERT_EQ(list.Count(), 13);
    const auto analysed = [&] {
        for (int i = 1; i < list.Count(); ++i) {
            if (list.Entry(i).tempo <= 0.0f || list.Entry(i).audibleEndMs < 0.0)
                return false;
        }
        return Dialog().TitleLineShown().rfind("analysing", 0) != 0;
    };
    ASSERT_TRUE(WaitFor(analysed, 120000));
    int right = 0;
    for (int i = 0; i < 12; ++i)
        right += std::fabs(list.Entry(1 + i).tempo - static_cast<float>(100.0 + 5.0 * i)) <= 0.05f;
    EXPECT_GE(right, 11) << "the tempos shown in the list";
    EXPECT_EQ(Dialog().TitleLineShown(), "Friday");
    // The tempo found, in its column after Time.
    Dialog().RefreshDisplay(false);
    const QModelIndex tempo = View().Model().index(4, CPlaylistListModel::kTempoColumn);
    EXPECT_EQ(View().Model().data(tempo, Qt::DisplayRole).toString(), QStringLiteral("115.0"));
    EXPECT_EQ(View().header()->visualIndex(CPlaylistListModel::kTempoColumn), 3);
    EXPECT_TRUE(View()
                    .Model()
                    .data(View().Model().index(0, CPlaylistListModel::kTempoColumn), Qt::DisplayRole)
                    .toString()
                    .isEmpty())
        << "no tempo, no figure";
    Screenshot(Window(), "playlist-analysed-bpm.png", PanelRect(kCases));

    // A tempo typed by the user stays until "Analyse" is chosen for the entry.
    list.Entry(4).tempo = 77.0f;
    list.ClearSelection();
    list.SetSelected(4, true);
    Dialog().RefreshDisplay(true);
    {
        CDialogAnswers answers({[&](QWidget* widget) {
            auto* menu = qobject_cast<QMenu*>(widget);
            ASSERT_NE(menu, nullptr);
            QAction* analyse = menu->findChild<QAction*>(QString::number(StringId::MenuAnalyse));
            ASSERT_NE(analyse, nullptr);
            EXPECT_EQ(analyse->text(), QStringLiteral("Analyse"));
            Screenshot(menu, "playlist-menu-analyse.png");
            analyse->trigger();
            menu->close();
        }});
        QContextMenuEvent event(QContextMenuEvent::Mouse, RowPoint(4),
                                View().viewport()->mapToGlobal(RowPoint(4)));
        QApplication::sendEvent(View().viewport(), &event);
        EXPECT_EQ(answers.Answered(), 1);
    }
    EXPECT_TRUE(WaitFor([&] { return std::fabs(list.Entry(4).tempo - 115.0f) <= 0.05f; }, 60000))
        << list.Entry(4).tempo;
}
