// The main window driven as a user drives it: real Qt mouse and key events on the skin window,
// drops, menus and dialogs answered through their buttons, the player's real engine playing to
// the test sound server, on the offscreen platform.
#include "AllocationCounter.h"
#include "AudioEngine.h"
#include "CoreTestSupport.h"
#include "DialogAnswers.h"
#include "DisplayText.h"
#include "MainDialog.h"
#include "MainToolTips.h"
#include "MidiControllers.h"
#include "MidiDevice.h"
#include "MixerPanel.h"
#include "PanelStack.h"
#include "PlayerApp.h"
#include "PlayerTestSupport.h"
#include "PlayerWindowFixture.h"
#include "SelectorControl.h"
#include "SettingsStore.h"
#include "SkinControl.h"
#include "SkinForm.h"
#include "SkinWindow.h"
#include "StringTable.h"
#include "SwitchControl.h"
#include "TempDir.h"
#include "WavRecorderOutput.h"
#include "XmlPlaylist.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

namespace {

constexpr int kDeck = CMainDialog::kDeck;
constexpr int kMixer = CMainDialog::kMixer;
constexpr int kTimeLine = CMainDialog::kTimeLine;
constexpr int kCases = CMainDialog::kCases;

class MainWindowTest : public PlayerWindowTest {
protected:
    // Starts the player with these tracks as the last Time Line, stopped.
    void Start(const std::vector<std::string>& tracks, const std::string& extraSettings = {})
    {
        std::vector<ListTrack> listed;
        for (const std::string& track : tracks)
            listed.push_back({track, {}, {}});
        PlayerWindowTest::Start(listed, extraSettings);
    }
    void Press(int panel, int32_t id, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(Window(), button, {}, Centre(panel, id));
    }
    void Release(int panel, int32_t id, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseRelease(Window(), button, {}, Centre(panel, id));
    }
    void Click(int panel, int32_t id, Qt::MouseButton button = Qt::LeftButton)
    {
        Press(panel, id, button);
        Release(panel, id, button);
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(Window(), static_cast<Qt::Key>(key), modifiers);
    }
    static void WaitTicks(int ticks)
    {
        for (int i = 0; i < ticks; ++i)
            QTest::qWait(42);
    }
    void SendDrop(QMimeData* data, QPoint at)
    {
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Window(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Window(), &drop);
    }
};

} // namespace

TEST(DisplayText, MixTimesChangeTheirUnitsAtTheEdgesAndCommentsKeepTheirLineBreaks)
{
    char text[DisplayText::kTimeBytes];
    DisplayText::MixTime(5940, text);
    EXPECT_STREQ(text, "99:00");
    DisplayText::MixTime(5941, text);
    EXPECT_STREQ(text, "01h39");
    DisplayText::MixTime(356399, text);
    EXPECT_STREQ(text, "98h59");
    DisplayText::MixTime(356400, text);
    EXPECT_STREQ(text, "99h");
    DisplayText::MixTime(-75, text);
    EXPECT_STREQ(text, "-01:15");
    DisplayText::MixTime(-7200, text);
    EXPECT_STREQ(text, "-02h00");
    DisplayText::DeckTime(83.9, false, text);
    EXPECT_STREQ(text, " 01:23");
    DisplayText::DeckTime(19.5, true, text);
    EXPECT_STREQ(text, "-00:19");
    DisplayText::DeckTime(-3.0, true, text);
    EXPECT_STREQ(text, "-00:00");

    EXPECT_EQ(DisplayText::CommentForEditing("one\n\ntwo\n\n\n\nfour"), "one\ntwo\n\nfour");
    EXPECT_EQ(DisplayText::CommentForStoring("one\r\ntwo\n\nfour"), "one\n\ntwo\n\n\n\nfour");
    EXPECT_EQ(DisplayText::CommentForEditing(DisplayText::CommentForStoring("a\nb")), "a\nb");
}

TEST_F(MainWindowTest, ToolTipsCoverTheirControlsWhileShownAndStaySilentWhenSwitchedOff)
{
    Start({});
    const auto& table = CMainToolTips::Table();
    ASSERT_EQ(table.size(), 69u);
    for (const CMainToolTips::Row& row : table) {
        EXPECT_STRNE(CStringTable::Program().Get(row.stringId), "") << row.stringId;
        ASSERT_NE(Dialog().Form(row.panel)->FindControl(row.controlId), nullptr)
            << row.panel << ":" << row.controlId;
    }
    const QPoint play = Centre(kDeck, 800);
    QHelpEvent help(QEvent::ToolTip, play, Window()->mapToGlobal(play));
    QApplication::sendEvent(Window(), &help);
    EXPECT_EQ(QToolTip::text(), QString::fromUtf8(CStringTable::Program().Get(32871)));

    // The mixer's tools go with the mixer, and the panels below move their tools up.
    ASSERT_TRUE(Dialog().IsPanelOpen(kMixer));
    const QPoint fadeText = Centre(kMixer, 28);
    const int timeLineRow = 45; // the first Time Line row
    ASSERT_EQ(table[timeLineRow].panel, kTimeLine);
    const int32_t timeLineTop = Dialog().ToolTips().ToolRect(timeLineRow).top;
    Key(Qt::Key_F2);
    EXPECT_FALSE(Dialog().IsPanelOpen(kMixer));
    EXPECT_EQ(Dialog().ToolTips().ToolAt(fadeText.x(), fadeText.y()) < 0 ||
                  table[static_cast<size_t>(Dialog().ToolTips().ToolAt(fadeText.x(), fadeText.y()))].panel !=
                      kMixer,
              true);
    EXPECT_LT(Dialog().ToolTips().ToolRect(timeLineRow).top, timeLineTop);
    Key(Qt::Key_F2);

    QToolTip::hideText();
    m_app->Settings().toolTips = 0;
    Dialog().ShowPanel(kMixer, true);
    EXPECT_EQ(Dialog().ToolTips().ToolAt(play.x(), play.y()), -1);
}

TEST_F(MainWindowTest, APlayClickStartsTheListAndNextByKeyAndButtonMovesThroughIt)
{
    // A short fade, so that each change-over completes within the waits.
    Start({Track("a.wav", 440.0, 30.0), Track("b.wav", 660.0, 30.0), Track("c.wav", 880.0, 30.0)},
          "AutoFadeTime=" + std::to_string(CSettingsStore::EncodeFadeTime(0.5f)) + "\n");
    ASSERT_FALSE(Core().RunStop());
    EXPECT_TRUE(WaitFor([&] { return Dialog().TitleLineShown() == "Friday"; })) << "the list's title";
    // What the sound card gets, through the recorder that rides along with it.
    auto* recorder = dynamic_cast<CWavRecorderOutput*>(m_app->Output().Secondary(0));
    ASSERT_NE(recorder, nullptr);
    const std::string recording = m_home.Root() + "/heard.wav";
    ASSERT_EQ(recorder->StartRecording(recording.c_str(), 0, 0), 0);
    recorder->SetWriting(true);
    Click(kDeck, 800);
    ASSERT_TRUE(Core().RunStop());
    ASSERT_TRUE(WaitFor([&] { return std::string(Dialog().DeckDisplay(0).TimeShown()) >= " 00:01"; }));
    EXPECT_TRUE(WaitFor([&] { return Dialog().DeckDisplay(0).LevelShown() > 0; }))
        << "the meter shows the tone";
    recorder->StopRecording();
    {
        const std::string bytes = Bytes(recording);
        ASSERT_GT(bytes.size(), CWavRecorderOutput::kHeaderBytes + 4 * 22050u);
        std::vector<int16_t> left;
        for (size_t at = CWavRecorderOutput::kHeaderBytes; at + 4 <= bytes.size(); at += 4) {
            int16_t sample = 0;
            std::memcpy(&sample, bytes.data() + at, sizeof sample);
            left.push_back(sample);
        }
        // The last half second heard: the first track's tone, not the second's.
        const size_t from = left.size() - 22050;
        const double first = WindowAmplitude(left, 440.0, from, 22050);
        EXPECT_GT(first, 1000.0);
        EXPECT_LT(WindowAmplitude(left, 660.0, from, 22050), first / 20.0);
    }
    EXPECT_EQ(Dialog().DeckDisplay(0).TitleShown(), "a");
    EXPECT_EQ(Core().Engine().LoadedEntry(0), Core().List().Entry(0).id);
    EXPECT_TRUE(WaitFor([&] { return Dialog().DeckDisplay(1).TitleShown() == "[next] b"; }));

    Key(Qt::Key_PageDown);
    EXPECT_TRUE(
        WaitFor([&] { return Core().Automix().CurrentIndex() == 1 && Core().Engine().Deck(1).Playing(); }));
    Click(kDeck, 1006);
    EXPECT_TRUE(WaitFor([&] { return Core().Automix().CurrentIndex() == 2; }));
    Click(kDeck, 1005);
    EXPECT_TRUE(WaitFor([&] { return Core().Automix().CurrentIndex() == 1; }));
    if (!(Dialog().IsPanelOpen(kMixer) && Dialog().IsPanelOpen(kTimeLine) && Dialog().IsPanelOpen(kCases)))
        Click(kDeck, 29);
    ASSERT_TRUE(Dialog().IsPanelOpen(kMixer) && Dialog().IsPanelOpen(kTimeLine) &&
                Dialog().IsPanelOpen(kCases));
    WaitTicks(3);
    Screenshot(Window(), "main-window-playing.png");

    // A release while running stops.
    Click(kDeck, 800);
    EXPECT_FALSE(Core().RunStop());
}

TEST_F(MainWindowTest, TheRemainingTimeBlinksTowardsTheChangeOverOnlyWhilePlaying)
{
    Start({Track("short.wav", 440.0, 20.0), Track("next.wav", 660.0, 20.0)},
          "AutoFadeTime=" + std::to_string(CSettingsStore::EncodeFadeTime(30.0f)) + "\n");
    QTest::mouseClick(Window(), Qt::LeftButton, {}, Centre(kDeck, 10)); // the deck time: remaining
    Click(kDeck, 800);
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(0).Playing(); }));
    std::set<std::string> shown;
    for (int i = 0; i < 40; ++i) {
        WaitTicks(1);
        shown.insert(Dialog().DeckDisplay(0).TimeShown());
    }
    EXPECT_TRUE(shown.count(DisplayText::kNoTime)) << "blinks while playing";
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(),
                            [](const std::string& t) { return t.rfind("-00:1", 0) == 0; }));
    Key(Qt::Key_Escape);
    ASSERT_TRUE(WaitFor([&] { return !Core().Engine().Deck(0).Playing(); }));
    WaitTicks(2);
    shown.clear();
    for (int i = 0; i < 40; ++i) {
        WaitTicks(1);
        shown.insert(Dialog().DeckDisplay(0).TimeShown());
    }
    EXPECT_EQ(shown.count(DisplayText::kNoTime), 0u) << "a stopped deck does not blink";
}

TEST_F(MainWindowTest, RepeatPanelsAndTitlesFollowTheirRules)
{
    Start({Track("a.wav", 440.0, 5.0)});
    CAutomix& automix = Core().Automix();
    Click(kDeck, 5);
    EXPECT_TRUE(automix.RepeatAll());
    Click(kDeck, 5);
    EXPECT_FALSE(automix.RepeatAll());
    Click(kDeck, 60);
    ASSERT_TRUE(automix.RepeatSingle());
    Click(kDeck, 5);
    EXPECT_FALSE(automix.RepeatSingle()) << "the first press only ends repeat single";
    EXPECT_FALSE(automix.RepeatAll());

    // Closing the Cases panel while a case is shown gives the commands back to the Time Line.
    Dialog().SetCurrentCase(2);
    ASSERT_EQ(&Dialog().CurrentList(), &Core().Case(2));
    Click(kDeck, 2);
    EXPECT_FALSE(Dialog().IsPanelOpen(kCases));
    EXPECT_EQ(Dialog().CurrentCase(), -1);
    Click(kDeck, 29);
    EXPECT_TRUE(Dialog().IsPanelOpen(kMixer) && Dialog().IsPanelOpen(kTimeLine) &&
                Dialog().IsPanelOpen(kCases));
    Click(kDeck, 29);
    EXPECT_FALSE(Dialog().IsPanelOpen(kMixer) || Dialog().IsPanelOpen(kTimeLine) ||
                 Dialog().IsPanelOpen(kCases));
    Screenshot(Window(), "main-window-decks-only.png");
    Key(Qt::Key_F2);
    Screenshot(Window(), "main-window-mixer-only.png");

    // An unchanged title is handed to its control once, unless the refresh is forced.
    ASSERT_TRUE(WaitFor([&] { return Dialog().DeckDisplay(0).TitleShown() == "a"; }));
    const uint32_t sends = Dialog().DeckDisplay(0).TitleSends();
    for (int i = 0; i < 30; ++i)
        Dialog().RefreshDisplay(false);
    EXPECT_EQ(Dialog().DeckDisplay(0).TitleSends(), sends);
    Dialog().RefreshDisplay(true);
    EXPECT_EQ(Dialog().DeckDisplay(0).TitleSends(), sends + 1);
}

TEST_F(MainWindowTest, EveryKeyOfTheKeyboardTableReachesItsFunctionOrCommand)
{
    // Long tracks, so that a coarse seek (256 of 4096 steps) moves by 7.5 s; a short fade, so
    // that a change-over ends within the waits.
    Start({Track("a.wav", 440.0, 120.0), Track("b.wav", 660.0, 120.0), Track("c.wav", 880.0, 20.0)},
          "AutoFadeTime=" + std::to_string(CSettingsStore::EncodeFadeTime(0.5f)) + "\n");
    CControlTable& controls = Core().Controls();
    std::vector<KeyCommand> listCommands;
    Dialog().SetListCommandHandler([&](KeyCommand command) { listCommands.push_back(command); });

    Key(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(controls.GetValue(ControlId::MasterVolume, 0), 136);
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(controls.GetValue(ControlId::MasterVolume, 0), 120);
    Key(Qt::Key_Minus);
    EXPECT_EQ(controls.GetValue(ControlId::MasterVolume, 0), 120)
        << "the main keyboard's minus is not the keypad's";
    Key(Qt::Key_Right);
    EXPECT_EQ(controls.GetValue(ControlId::XFader, 0), 160);
    Key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(controls.GetValue(ControlId::XFader, 0), 156);
    EXPECT_TRUE(WaitFor([&] { return Core().Automix().ManualHold() == 0; }, 1000))
        << "each key-up gives the cross-fader back";
    QTest::keyPress(Window(), Qt::Key_Tab);
    EXPECT_EQ(controls.GetValue(ControlId::DeckFocusSelect, 0), 1);
    QTest::keyRelease(Window(), Qt::Key_Tab);
    EXPECT_TRUE(WaitFor([&] { return controls.GetValue(ControlId::DeckFocusSelect, 0) == 0; }, 1000));

    // A held cross-fader key whose repeats arrive as let-go and press again, as the toolkit may
    // report them, keeps the fader in the user's hand until the key really goes up; a second
    // press without a let-go is a repeat too.
    const int32_t start = controls.GetValue(ControlId::XFader, 0);
    ASSERT_GE(start, 128);
    QTest::keyPress(Window(), Qt::Key_Left);
    for (int repeat = 0; repeat < 2; ++repeat) {
        QTest::keyRelease(Window(), Qt::Key_Left);
        QTest::keyPress(Window(), Qt::Key_Left);
    }
    QTest::keyPress(Window(), Qt::Key_Left);
    EXPECT_EQ(Core().Automix().ManualHold(), 1);
    EXPECT_EQ(controls.GetValue(ControlId::XFader, 0), start - 4 * 32);
    QTest::qWait(200);
    EXPECT_EQ(Core().Automix().ManualHold(), 1) << "a key still down holds the fader";
    QTest::keyRelease(Window(), Qt::Key_Left);
    EXPECT_TRUE(WaitFor([&] { return Core().Automix().ManualHold() == 0; }, 1000));
    // A let-go whose press this window never saw changes nothing.
    QTest::keyRelease(Window(), Qt::Key_Right);
    QTest::qWait(200);
    EXPECT_EQ(Core().Automix().ManualHold(), 0);

    for (const auto& [key, panel] :
         {std::pair{Qt::Key_F2, kMixer}, {Qt::Key_F3, kTimeLine}, {Qt::Key_F4, kCases}}) {
        const bool open = Dialog().IsPanelOpen(panel);
        Key(key);
        EXPECT_NE(Dialog().IsPanelOpen(panel), open) << key;
        Key(key);
    }

    Key(Qt::Key_Return);
    EXPECT_TRUE(Core().RunStop());
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(0).Playing(); }));
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(0).PositionMs(false) > 300.0; }));
    const double before = Core().Engine().Deck(0).PositionMs(false);
    Key(Qt::Key_Down, Qt::ShiftModifier);
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(0).PositionMs(false) > before + 6000.0; }))
        << "a coarse seek forward";
    const double ahead = Core().Engine().Deck(0).PositionMs(false);
    Key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_TRUE(WaitFor([&] { return Core().Engine().Deck(0).PositionMs(false) < ahead - 5000.0; }))
        << "a coarse seek back";

    Key(Qt::Key_PageDown);
    ASSERT_TRUE(WaitFor([&] {
        return Core().Automix().CurrentIndex() == 1 && Core().Engine().Deck(1).Playing() &&
               !Core().Engine().Deck(0).Playing();
    }));
    // Past its first two seconds, Previous starts the item again.
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(1).PositionMs(false) > 2500.0; }));
    Key(Qt::Key_PageUp);
    EXPECT_TRUE(WaitFor([&] { return Core().Engine().Deck(1).PositionMs(false) < 2000.0; }));
    EXPECT_EQ(Core().Automix().CurrentIndex(), 1);
    Key(Qt::Key_End);
    EXPECT_TRUE(WaitFor([&] { return Core().Automix().CurrentIndex() == 2; }));
    Key(Qt::Key_Home);
    EXPECT_TRUE(WaitFor([&] { return Core().Automix().CurrentIndex() == 0; }));
    Key(Qt::Key_Escape);
    EXPECT_FALSE(Core().RunStop());

    Key(Qt::Key_F11);
    EXPECT_TRUE(Window()->isFullScreen());
    Key(Qt::Key_F11);
    EXPECT_FALSE(Window()->isFullScreen());

    for (const int key : {Qt::Key_F, Qt::Key_N, Qt::Key_E})
        Key(key, Qt::ControlModifier);
    Key(Qt::Key_Space);
    EXPECT_EQ(listCommands, (std::vector<KeyCommand>{KeyCommand::Find, KeyCommand::FindNext,
                                                     KeyCommand::EditSelected, KeyCommand::EditSelected}));

    // Ctrl+S saves the list where the dialog says, in the format its extension names.
    const std::string saved = m_home.Root() + "/saved.m3u";
    {
        CDialogAnswers answers({ChooseFile(saved)});
        Key(Qt::Key_S, Qt::ControlModifier);
    }
    EXPECT_NE(Bytes(saved).find("a.wav\n"), std::string::npos);

    // Ctrl+L loads into the list without playing; Ctrl+Return adds to it.
    {
        CDialogAnswers answers({ChooseFile(saved)});
        Key(Qt::Key_L, Qt::ControlModifier);
    }
    EXPECT_EQ(Core().List().Title(), "saved");
    EXPECT_FALSE(Core().RunStop());
    const std::string extra = Track("extra.wav", 330.0, 3.0);
    {
        CDialogAnswers answers({ChooseFile(extra)});
        Key(Qt::Key_Return, Qt::ControlModifier);
    }
    ASSERT_EQ(Core().List().Count(), 4);
    EXPECT_EQ(m_app->Settings().defaultLoadDir, m_home.Root() + "/music");

    Key(Qt::Key_A, Qt::ControlModifier);
    for (int i = 0; i < Core().List().Count(); ++i)
        EXPECT_TRUE(Core().List().Entry(i).selected);
    Core().List().Entry(0).selected = false;
    Key(Qt::Key_Delete);
    EXPECT_EQ(Core().List().Count(), 1);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Core().List().Count(), 0);
    {
        CDialogAnswers answers({[](QWidget* menu) {
            EXPECT_NE(qobject_cast<QMenu*>(menu), nullptr);
            menu->close();
        }});
        Key(Qt::Key_F5);
        EXPECT_EQ(answers.Answered(), 1);
    }
}

TEST_F(MainWindowTest, AClickOnTheTitleEditsTheListInfoAndADragOnItMovesTheWindow)
{
    Start({});
    const QPoint title = Centre(kDeck, 17);
    int opened = 0;
    {
        CDialogAnswers answers({[&](QWidget* dialog) {
            ++opened;
            dialog->close();
        }});
        QTest::mouseClick(Window(), Qt::LeftButton, {}, title);
        EXPECT_TRUE(WaitFor([&] { return answers.Answered() == 1; }, 5000));
    }
    EXPECT_EQ(opened, 1);

    // Pressed and dragged further than a click wanders: the window moves (here the platform takes
    // the move over; the end-to-end tests see the window follow on a real X server), and nothing
    // opens.
    CDialogAnswers none({});
    QTest::mousePress(Window(), Qt::LeftButton, {}, title);
    for (int step = 1; step <= 4; ++step) {
        QMouseEvent move(QEvent::MouseMove, title + QPoint(10 * step, 5 * step),
                         Window()->mapToGlobal(title + QPoint(10 * step, 5 * step)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Window(), &move);
    }
    QTest::mouseRelease(Window(), Qt::LeftButton, {}, title + QPoint(40, 20));
    QTest::qWait(300);
    EXPECT_EQ(none.Seen().size(), 0u);
}

TEST_F(MainWindowTest, TheLoadMenuPlaysACaseOrAListAndTheTitleStripOffersTheAboutWindow)
{
    Start({});
    Core().Case(1).AddTrack(Track("case-a.wav", 440.0, 10.0), true);
    Core().Case(1).AddTrack(Track("case-b.wav", 660.0, 10.0), true);
    Dialog().SetCurrentCase(1);
    {
        // The play button of an empty Time Line opens the load menu.
        CDialogAnswers answers({[](QWidget* widget) {
            auto* menu = qobject_cast<QMenu*>(widget);
            ASSERT_NE(menu, nullptr);
            ASSERT_EQ(menu->actions().size(), 5);
            menu->findChild<QAction*>(QStringLiteral("17005"))->trigger();
            menu->close();
        }});
        Press(kDeck, 800);
        Release(kDeck, 800);
    }
    ASSERT_EQ(Core().List().Count(), 2);
    EXPECT_EQ(Dialog().CurrentCase(), -1);
    EXPECT_EQ(Core().PlaybackModeValue(), CPlayerCore::kAutomix);
    EXPECT_TRUE(Core().RunStop());
    EXPECT_EQ(Core().Case(1).Count(), 2) << "the case keeps its tracks";

    Key(Qt::Key_Escape);
    const std::string list = m_home.Root() + "/other.qzl";
    CPlaylist other;
    other.AddTrack(Track("other.wav", 550.0, 10.0), true);
    ASSERT_TRUE(CXmlPlaylist::Save(other, list));
    {
        CDialogAnswers answers({ChooseFile(list)});
        Dialog().RunLoadCommand(CMainDialog::kLoadListOrMix);
    }
    ASSERT_EQ(Core().List().Count(), 1);
    EXPECT_TRUE(Core().RunStop());
    EXPECT_EQ(m_app->Settings().defaultLoadDir, m_home.Root());

    int abouts = 0;
    {
        CDialogAnswers answers({[](QWidget* widget) {
                                    auto* menu = qobject_cast<QMenu*>(widget);
                                    ASSERT_NE(menu, nullptr);
                                    menu->findChild<QAction*>(QStringLiteral("16"))->trigger();
                                    menu->close();
                                },
                                [&](QWidget* about) {
                                    ++abouts;
                                    about->close();
                                }});
        // A point of the title strip where no control lies.
        const CSkinForm* deck = Dialog().Form(kDeck);
        QPoint strip(-1, 10);
        for (int x = 0; x < deck->Width() && strip.x() < 0; ++x) {
            bool free = true;
            for (size_t i = 0; i < deck->ControlCount() && free; ++i) {
                const SkinRect r = deck->ControlAt(i)->GetRect();
                free = !(x >= r.left && x < r.right && strip.y() >= r.top && strip.y() < r.bottom);
            }
            if (free)
                strip.setX(x);
        }
        ASSERT_GE(strip.x(), 0);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, strip, Window()->mapToGlobal(strip));
        QApplication::sendEvent(Window(), &menuEvent);
        EXPECT_TRUE(WaitFor([&] { return answers.Answered() == 2; }, 5000));
    }
    EXPECT_EQ(abouts, 1);
}

TEST_F(MainWindowTest, DroppedFilesBecomeTheTimeLineAndDraggedEntriesPlayNext)
{
    Start({Track("a.wav", 440.0, 30.0), Track("b.wav", 660.0, 30.0)});
    Core().Case(0).AddTrack(Track("from-case.wav", 770.0, 30.0), true);
    Click(kDeck, 800);
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(0).Playing(); }));

    // An entry from a case dragged onto the deck panel goes after the current item and plays.
    {
        QMimeData data;
        data.setData(QString::fromLatin1(CMainDialog::kEntriesMimeType),
                     QByteArray("0\n") + QByteArray::number(Core().Case(0).Entry(0).id));
        const QPoint over = Centre(kDeck, 24);
        QDragEnterEvent enter(over, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Window(), &enter);
        QDragMoveEvent move(over, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Window(), &move);
        EXPECT_TRUE(move.isAccepted());
        Dialog().RefreshDisplay(false);
        EXPECT_EQ(Dialog().TitleLineShown(), "drop to play next");
        Screenshot(Window(), "main-window-drag-over-decks.png");
        QDropEvent drop(QPointF(over), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Window(), &drop);
    }
    ASSERT_EQ(Core().List().Count(), 3);
    EXPECT_NE(Core().List().Entry(1).location.find("from-case.wav"), std::string::npos);
    EXPECT_TRUE(WaitFor([&] {
        const TrackEntry* entry =
            Core().List().EntryById(Core().Engine().LoadedEntry(Core().Automix().CurrentDeck()));
        return Core().Automix().CurrentIndex() == 1 && entry != nullptr &&
               entry->location.find("from-case.wav") != std::string::npos;
    }));
    EXPECT_EQ(Core().Case(0).Count(), 1);

    // A file from the desktop replaces the Time Line and plays.
    const std::string dropped = Track("dropped.wav", 990.0, 30.0);
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped))});
    SendDrop(&files, Centre(kDeck, 13));
    ASSERT_TRUE(WaitFor([&] { return !Dialog().ImportRunning(); }));
    ASSERT_EQ(Core().List().Count(), 1);
    EXPECT_EQ(Core().List().Entry(0).location, dropped);
    EXPECT_TRUE(Core().RunStop());
    EXPECT_TRUE(WaitFor([&] {
        const TrackEntry* entry =
            Core().List().EntryById(Core().Engine().LoadedEntry(Core().Automix().CurrentDeck()));
        return entry != nullptr && entry->location == dropped &&
               Core().Engine().Deck(Core().Automix().CurrentDeck()).Playing();
    }));
}

TEST_F(MainWindowTest, AHugeOrHostileDropIsReadAsideAndLosesNothing)
{
    Start({Track("a.wav", 440.0, 30.0), Track("b.wav", 660.0, 30.0)}, "PlaylistRecDirAdd=1\n");
    const std::string folder = m_home.Root() + "/crate";
    std::filesystem::create_directories(folder + "/deeper");
    const std::string one = Track("one.wav", 440.0, 0.05);
    for (int i = 0; i < 1200; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/t%04d.wav", i);
        std::filesystem::copy_file(one, folder + name);
    }
    std::filesystem::create_directory_symlink(folder, folder + "/deeper/loop");
    const std::string vanishing = Track("vanishing.wav", 440.0, 0.05);

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder)),
                  QUrl(QStringLiteral("https://example.org/x.mp3")),
                  QUrl::fromLocalFile(QString::fromStdString(vanishing))});
    std::filesystem::remove(vanishing);
    std::string message;
    CDialogAnswers answers({[&](QWidget* box) {
        message = qobject_cast<QMessageBox*>(box)->text().toStdString();
        ClickBox(box, QMessageBox::Ok);
    }});
    SendDrop(&data, Centre(kDeck, 13));
    // The drop returned at once; the folder is read while the window goes on.
    EXPECT_TRUE(Dialog().ImportRunning());
    Dialog().RefreshDisplay(false);
    EXPECT_EQ(Dialog().TitleLineShown(), "please wait...");
    ASSERT_TRUE(WaitFor([&] { return !Dialog().ImportRunning() && answers.Answered() == 1; }, 60000));
    EXPECT_EQ(Core().List().Count(), 999);
    EXPECT_NE(Core().List().Entry(0).location.find("a.wav"), std::string::npos) << "what the list held stays";
    EXPECT_NE(Core().List().Entry(1).location.find("b.wav"), std::string::npos);
    EXPECT_NE(message.find("https://example.org/x.mp3"), std::string::npos) << message;
    EXPECT_NE(message.find("vanishing.wav"), std::string::npos) << message;
    EXPECT_NE(message.find("999"), std::string::npos) << message;
}

TEST_F(MainWindowTest, MessagesOfThePlayAreShownOnTheNextTick)
{
    const std::string broken = m_home.Root() + "/music/broken.wav";
    std::filesystem::create_directories(m_home.Root() + "/music");
    std::ofstream(broken) << "RIFF....WAVEnot really";
    Start({broken});
    std::string text;
    CDialogAnswers answers({[&](QWidget* box) {
        text = qobject_cast<QMessageBox*>(box)->text().toStdString();
        ClickBox(box, QMessageBox::Ok);
    }});
    Click(kDeck, 800);
    EXPECT_TRUE(WaitFor([&] { return answers.Answered() == 1; }));
    EXPECT_EQ(text.rfind(CPlayerCore::kTrackUnreadable, 0), 0u) << text;
    EXPECT_NE(text.find(broken), std::string::npos) << "the message names the track: " << text;
}

TEST_F(MainWindowTest, SteadyDisplaysAllocateNothingWhileBothDecksPlay)
{
    Start({Track("a.wav", 440.0, 60.0), Track("b.wav", 660.0, 60.0)});
    Click(kDeck, 800);
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(0).Playing(); }));
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(1).Loaded() && !Core().Engine().Loading(1); }));
    Core().Controls().SetValue(ControlId::DeckStartStop, 1, 1, Marks::ChangedAndApply);
    ASSERT_TRUE(WaitFor([&] { return Core().Engine().Deck(1).Playing(); }));
    ASSERT_TRUE(WaitAnalysed());
    WaitTicks(30); // titles, play times and the first second's texts settle
    long allocations = 0;
    for (int i = 0; i < 1000; ++i) {
        CAllocationCounter::Start();
        Dialog().RefreshDisplay(false);
        allocations += CAllocationCounter::Stop();
        if (i % 50 == 0)
            QCoreApplication::processEvents();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_TRUE(Core().Engine().Deck(0).Playing() && Core().Engine().Deck(1).Playing());
}

TEST_F(MainWindowTest, AMixPlaysInDjMixWithoutNextPrefixesAndWithTheFadeControlsDisabled)
{
    const std::string a = Track("a.wav", 440.0, 20.0);
    const std::string b = Track("b.wav", 660.0, 20.0);
    const std::string mix = m_home.Root() + "/music/set.qzx";
    {
        // A recorded performance: deck A plays, deck B is loaded and started under the fader.
        CPlayerCore recording;
        recording.List().AddTrack(a, true);
        recording.List().AddTrack(b, true);
        CCoreRun live(recording);
        recording.StartRecording();
        for (uint32_t t = 0; t < 3000; ++t)
            live.Tick([&] {
                if (t == 0) {
                    for (int deck = 0; deck < 2; ++deck)
                        recording.LoadTrackToDeck(deck, recording.List().Entry(deck).location.c_str(),
                                                  recording.List().Entry(deck).id);
                }
                if (t == 3) {
                    recording.Controls().SetValue(ControlId::DeckStartStop, 0, 1, Marks::ChangedAndApply);
                    recording.Controls().SetValue(ControlId::DeckStartStop, 1, 1, Marks::ChangedAndApply);
                }
                if (t > 100 && t % 10 == 0)
                    recording.Controls().SetValue(ControlId::XFader, 0, std::min<int32_t>(255, (t - 100) / 4),
                                                  Marks::ChangedAndApply);
            });
        recording.FinishRecording();
        ASSERT_TRUE(recording.SaveDocument(mix));
    }
    Start({});
    ASSERT_TRUE(m_app->OpenDocument(mix));
    EXPECT_EQ(Core().PlaybackModeValue(), CPlayerCore::kDjMix);
    if (!Core().RunStop())
        Click(kDeck, 800);
    ASSERT_TRUE(Core().RunStop());
    ASSERT_TRUE(
        WaitFor([&] { return Core().Engine().Deck(0).Playing() && Core().Engine().Deck(1).Playing(); }));
    ASSERT_TRUE(WaitFor([&] {
        return Dialog().DeckDisplay(0).TitleShown() == "a" && Dialog().DeckDisplay(1).TitleShown() == "b";
    })) << "no [next] before a title in DJ-Mix";
    auto* mode = dynamic_cast<CSwitchControl*>(Dialog().Form(kDeck)->FindControl(6));
    ASSERT_NE(mode, nullptr);
    EXPECT_TRUE(WaitFor([&] { return mode->GetState() == 1; })) << "the mode lamp shows DJ-Mix";
    if (!Dialog().IsPanelOpen(kMixer))
        Key(Qt::Key_F2);
    WaitTicks(3);
    for (const int32_t id : {8, 11, 30, 31, 32})
        EXPECT_FALSE(Dialog().Form(kMixer)->FindControl(id)->IsEnabled()) << id;
    Screenshot(Window(), "main-window-dj-mix.png");

    // The mode lamp leaves DJ-Mix.
    Click(kDeck, 6);
    EXPECT_EQ(Core().PlaybackModeValue(), CPlayerCore::kAutomix);
}

TEST_F(MainWindowTest, WithLearnOnAPressedControlIsBoundToTheNextControllerElementInsteadOfActing)
{
    Start({Track("a.wav", 440.0, 30.0)});
    CMidiControllers& controllers = *m_app->Controllers();
    CMidiDevice* device = controllers.AttachDevice("fed", "generic-two-deck");
    const auto send = [&](std::initializer_list<uint8_t> bytes) {
        const std::vector<uint8_t> message(bytes);
        device->Receive(message.data(), message.size(), 0);
    };
    const std::string userFile = m_home.DataFolder() + "mappings/generic-two-deck.midimap";
    const auto fileHas = [&](const std::string& row) {
        return Bytes(userFile).find(row + "\n") != std::string::npos;
    };
    if (!Dialog().IsPanelOpen(kMixer))
        Dialog().ShowPanel(kMixer, true);
    controllers.SetLearning(true);

    // The deck panel's Play button: pointed at, it does not play.
    Click(kDeck, 800);
    WaitTicks(2);
    EXPECT_FALSE(Core().RunStop());
    send({0x94, 100, 127});
    send({0x84, 100, 0});
    const std::string playRow = "in note 5 100 control " + std::to_string(ControlId::RunStop) + " toggle";
    EXPECT_TRUE(WaitFor([&] { return fileHas(playRow); })) << Bytes(userFile);

    // The mixer's cross-fader: pointed at, it stays where it was.
    const int32_t xFader = Core().Controls().GetValue(ControlId::XFader, 0);
    QTest::mousePress(Window(), Qt::LeftButton, {}, Centre(kMixer, CMixerPanel::kCrossFader) + QPoint(20, 0));
    QTest::mouseRelease(Window(), Qt::LeftButton, {},
                        Centre(kMixer, CMixerPanel::kCrossFader) + QPoint(20, 0));
    WaitTicks(2);
    EXPECT_EQ(Core().Controls().GetValue(ControlId::XFader, 0), xFader);
    EXPECT_EQ(Get<CSelectorControl>(kMixer, CMixerPanel::kCrossFader).GetValue(), xFader) << "shown moved";
    EXPECT_EQ(Core().Automix().ManualHold(), 0);
    send({0xB4, 20, 64});
    const std::string faderRow = "in cc 5 20 control " + std::to_string(ControlId::XFader) + " takeover";
    EXPECT_TRUE(WaitFor([&] { return fileHas(faderRow); })) << Bytes(userFile);
    controllers.SetLearning(false);

    // Both elements now move their functions.
    send({0x94, 100, 127});
    EXPECT_TRUE(WaitFor([&] { return Core().RunStop(); }));
    // Automix plays the track on Deck A with the fader on its side; the controller's fader takes
    // it from there, and Automix leaves it where the controller put it.
    ASSERT_TRUE(WaitFor([&] {
        return Core().Engine().Deck(0).Playing() && Core().Controls().GetValue(ControlId::XFader, 0) == 0;
    }));
    send({0xB4, 20, 0});   // meets the fader
    send({0xB4, 20, 100}); // and moves it
    EXPECT_TRUE(WaitFor([&] { return Core().Controls().GetValue(ControlId::XFader, 0) == 201; }))
        << Core().Controls().GetValue(ControlId::XFader, 0);
    WaitTicks(10);
    EXPECT_EQ(Core().Controls().GetValue(ControlId::XFader, 0), 201);
}
