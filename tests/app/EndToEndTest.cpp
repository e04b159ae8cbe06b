// The player as a person meets it: the built program on an X server of its own with no window
// manager, playing through a PulseAudio server whose output is recorded, driven only from
// outside (xdotool clicks and keys, a second start, a drop from another program, signals).
// What is heard is read from the recording; what is kept is read from the saved files.
#include "ControlClassTable.h"
#include "CoreTestSupport.h"
#include "DesktopSession.h"
#include "EngineTestSupport.h"
#include "PictureManager.h"
#include "Playlist.h"
#include "ResourceTable.h"
#include "SkinControl.h"
#include "SkinForm.h"
#include "WavWriter.h"
#include "XmlPlaylist.h"

#include <gtest/gtest.h>

#include <QPoint>
#include <QSettings>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The deck panel: the first in the window, at its top left.
constexpr int32_t kDeckForm = 6;
constexpr int32_t kPlayButton = 800;
constexpr int32_t kTitleLine = 17;

// Tracks of one tone each, at the sine amplitude WriteToneTrack gives them (12000).
// Tracks shorter than three fade times change over at their very end: these are longer.
constexpr double kTrackSeconds = 10.0;
constexpr double kFadeSeconds = 2.0;
constexpr double kHeard = 600.0; // amplitude that counts as heard at the player's volume
constexpr double kOnset = 100.0; // a track coming in: far above what one tone leaks into another
constexpr int kSilent = 150;     // a window of 10 ms whose peak stays below is a gap

// Where a control of the deck panel is, in the window: read from the skin the program shows.
QPoint DeckControlCentre(int32_t id)
{
    static CPictureManager* pictures = [] {
        RegisterSkinControlClasses();
        return new CPictureManager(CResourceTable::Program());
    }();
    CSkinForm form(*pictures);
    if (form.LoadResource(kDeckForm) == 0 || form.FindControl(id) == nullptr)
        return {};
    const SkinRect rect = form.FindControl(id)->GetRect();
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// The middle of the widest place of the deck panel's title strip where no control lies: the
// window is dragged by it.
QPoint TitleStripGrip(int width)
{
    static CPictureManager* pictures = [] {
        RegisterSkinControlClasses();
        return new CPictureManager(CResourceTable::Program());
    }();
    CSkinForm form(*pictures);
    if (form.LoadResource(kDeckForm) == 0)
        return {};
    constexpr int y = 9;
    int bestStart = -1;
    int bestLength = 0;
    for (int x = 0, start = -1; x <= width; ++x) {
        bool free = x < width;
        for (size_t i = 0; free && i < form.ControlCount(); ++i) {
            const SkinRect r = form.ControlAt(i)->GetRect();
            free = !(x >= r.left && x < r.right && y >= r.top && y < r.bottom);
        }
        if (free && start < 0)
            start = x;
        if (!free && start >= 0) {
            if (x - start > bestLength) {
                bestStart = start;
                bestLength = x - start;
            }
            start = -1;
        }
    }
    return bestLength >= 4 ? QPoint(bestStart + bestLength / 2, y) : QPoint();
}

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Error().empty()) << m_session.Error();
        std::error_code error;
        std::filesystem::create_directories(m_session.Home().Root() + "/music", error);
    }

    void TearDown() override
    {
        if (m_player != nullptr && !m_player->Wait(0ms)) {
            m_player->Signal(SIGKILL);
            m_player->Wait(5s);
        }
        ContactSheet();
    }

    // A settings file of a player that ran before: no setup sheet, the test's fade time.
    void Settings(const std::string& extra = {})
    {
        m_session.Home().WriteSettings(
            "AutoFadeTime=" + std::to_string(static_cast<int>((kFadeSeconds + 1000.0) * 10.0)) + "\n" +
            extra);
    }

    std::string Track(const std::string& name, double hz, double seconds = kTrackSeconds)
    {
        return WriteToneTrack(m_session.Home().Root() + "/music/" + name, hz, seconds);
    }

    static bool WriteList(const std::string& path, const std::vector<std::string>& tracks)
    {
        CPlaylist list;
        for (const std::string& track : tracks)
            if (list.AddTrack(track, true) < 0)
                return false;
        return CXmlPlaylist::Save(list, path);
    }

    // A list of one track of the 440 Hz tone, in the user's music folder; empty when it could not
    // be written.
    std::string ToneList(const std::string& name, double seconds)
    {
        const std::string list = m_session.Home().Root() + "/music/" + name;
        return WriteList(list, {Track("a440.wav", 440.0, seconds)}) ? list : std::string();
    }

    // The player started with such a list, as a file opened from the desktop (it plays at once);
    // its window.
    CDesktopSession::Window PlayToneList(const std::string& name, double seconds)
    {
        const std::string list = ToneList(name, seconds);
        EXPECT_FALSE(list.empty());
        StartPlayer({list});
        return MainWindow();
    }

    std::string DataFile(const std::string& name) { return m_session.Home().DataFolder() + name; }

    void StartPlayer(const std::vector<std::string>& arguments = {})
    {
        m_player = m_session.StartPlayer(arguments, "player");
    }

    // The player's main window, once it is shown (the largest window of its name).
    CDesktopSession::Window MainWindow()
    {
        const auto windows = m_session.WaitWindows("^Quandel Player$", 1, 30s);
        if (windows.empty())
            ADD_FAILURE() << "the player's window never appeared: " << m_session.Stderr("player");
        return windows.empty() ? CDesktopSession::Window{} : windows.front();
    }

    void ClickPlay(const CDesktopSession::Window& window)
    {
        const QPoint play = DeckControlCentre(kPlayButton);
        ASSERT_FALSE(play.isNull());
        m_session.Click(window, play.x(), play.y());
    }

    // SIGTERM, as a logout sends it: the seconds until the process ended (-1: it did not).
    double Terminate()
    {
        const auto sent = Clock::now();
        m_player->Signal(SIGTERM);
        if (!m_player->Wait(20s))
            return -1.0;
        return Seconds(Clock::now() - sent);
    }

    // Every e2e screenshot so far on one sheet; the last test to end leaves the whole set.
    static void ContactSheet()
    {
        std::vector<std::string> shots;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(QUANDEL_SCREENS, error)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("e2e-", 0) == 0 && name != "e2e-contact-sheet.png" &&
                name.find(".tmp") == std::string::npos)
                shots.push_back(entry.path().string());
        }
        if (shots.empty())
            return;
        std::sort(shots.begin(), shots.end());
        const std::string sheet = std::string(QUANDEL_SCREENS) + "/e2e-contact-sheet.png";
        const std::string partial = sheet + ".tmp.png";
        std::vector<std::string> command = {"/usr/bin/montage",
                                            "-font",
                                            "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                            "-pointsize",
                                            "14",
                                            "-label",
                                            "%t"};
        command.insert(command.end(), shots.begin(), shots.end());
        for (const char* option :
             {"-geometry", "400x320+6+6", "-tile", "4x", "-background", "#202020", "-fill", "#e0e0e0"})
            command.emplace_back(option);
        command.push_back(partial);
        CChildProcess::Setup setup;
        setup.arguments = command;
        CChildProcess montage(setup);
        if (montage.Wait(60s) && montage.ExitCode() == 0)
            std::filesystem::rename(partial, sheet, error);
    }

    CDesktopSession m_session;
    std::unique_ptr<CChildProcess> m_player;
};

TEST_F(EndToEndTest, FirstStartShowsTheSetupSheetAndThenTheWindow)
{
    StartPlayer();
    const auto setup = m_session.WaitWindows("^Setup$", 1, 30s);
    ASSERT_EQ(setup.size(), 1u) << m_session.Stderr("player");
    EXPECT_FALSE(m_session.Screenshot("first-start-setup").empty());
    m_session.Keys(setup.front(), {"Return"});
    ASSERT_TRUE(m_session.WaitGone("^Setup$"));
    const CDesktopSession::Window window = MainWindow();
    EXPECT_GT(window.width, 400);
    EXPECT_GT(window.height, 100);
    EXPECT_FALSE(m_session.Screenshot("first-start-window").empty());
    EXPECT_GE(Terminate(), 0.0);
    EXPECT_EQ(m_player->ExitCode(), 0) << m_session.Stderr("player");
    const QSettings saved(QString::fromStdString(m_session.Home().ConfigFile()), QSettings::IniFormat);
    EXPECT_EQ(saved.value(QStringLiteral("Run")).toInt(), 1);
}

TEST_F(EndToEndTest, AClickOnPlayIsHeardAndTracksChangeAtTheFadeTimeWithoutAGap)
{
    Settings();
    const std::vector<std::string> tracks = {Track("a440.wav", 440.0), Track("b660.wav", 660.0),
                                             Track("c880.wav", 880.0)};
    const std::string list = m_session.Home().Root() + "/music/three.qzl";
    ASSERT_TRUE(WriteList(list, tracks));
    std::filesystem::create_directories(m_session.Home().DataFolder());
    std::filesystem::copy_file(list, DataFile("last.qzl"));

    CMonitorCapture capture(m_session);
    ASSERT_TRUE(capture.WaitRecording());
    StartPlayer();
    const CDesktopSession::Window window = MainWindow();
    std::this_thread::sleep_for(1s);
    const auto clicked = Clock::now();
    ClickPlay(window);
    std::this_thread::sleep_for(3s);
    EXPECT_FALSE(m_session.Screenshot("playing").empty());
    std::this_thread::sleep_for(
        std::chrono::duration<double>(2 * (kTrackSeconds - kFadeSeconds) + kFadeSeconds + 1.5 - 3.0));
    const std::vector<int16_t>& heard = capture.Stop();
    ASSERT_GT(heard.size(), 44100u * 10);

    const double clickAt = Seconds(clicked - capture.FirstFrameTime());
    const double first = Heard::FirstSecond(heard, 440.0, kOnset, std::max(0.0, clickAt - 0.5));
    ASSERT_GE(first, 0.0) << "track 1 was never heard";
    std::printf("track 1 heard %.3f s after the click\n", first - clickAt);
    EXPECT_LT(first - clickAt, 2.0);
    // A tone that starts at once spills over every frequency for a moment: each change-over is
    // looked for from a second after the one before.
    const double second = Heard::FirstSecond(heard, 660.0, kOnset, first + 1.0);
    const double third = Heard::FirstSecond(heard, 880.0, kOnset, second + 1.0);
    ASSERT_GE(second, 0.0);
    ASSERT_GE(third, 0.0);
    std::printf("change-overs heard at %.3f s and %.3f s after track 1\n", second - first, third - first);
    // The next track starts when the playing one has the fade time left.
    EXPECT_NEAR(second - first, kTrackSeconds - kFadeSeconds, 0.2);
    EXPECT_NEAR(third - first, 2 * (kTrackSeconds - kFadeSeconds), 0.2);
    EXPECT_LT(Heard::Level(heard, 440.0, second + kFadeSeconds + 0.1, second + kFadeSeconds + 1.0),
              kHeard / 4);
    const double gap = Heard::LongestQuiet(heard, first, third + 2.0, kSilent);
    EXPECT_LE(gap, 0.02) << "a gap of " << gap << " s";

    // The renderer plays the same list the same way: the same change-overs within a block.
    const std::string rendered = m_session.Files().Path("rendered.wav");
    CChildProcess::Setup render;
    render.arguments = {
        QUANDEL_RENDER_PROGRAM, "-q", "--fade", "2", "--master-volume", "128", "-o", rendered, list};
    CChildProcess renderer(render);
    ASSERT_TRUE(renderer.Wait(60s));
    ASSERT_EQ(renderer.ExitCode(), 0);
    const std::vector<int16_t> mix = Heard::ReadLeft(rendered);
    const double renderFirst = Heard::FirstSecond(mix, 440.0, kOnset);
    const double renderSecond = Heard::FirstSecond(mix, 660.0, kOnset, renderFirst + 1.0);
    const double renderThird = Heard::FirstSecond(mix, 880.0, kOnset, renderSecond + 1.0);
    ASSERT_GE(renderFirst, 0.0);
    ASSERT_GE(renderSecond, 0.0);
    ASSERT_GE(renderThird, 0.0);
    std::printf("rendered change-overs at %.3f s and %.3f s\n", renderSecond - renderFirst,
                renderThird - renderFirst);
    const double block = 4096.0 / 44100.0 + 0.02;
    EXPECT_NEAR(second - first, renderSecond - renderFirst, block);
    EXPECT_NEAR(third - first, renderThird - renderFirst, block);

    EXPECT_GE(Terminate(), 0.0);
}

TEST_F(EndToEndTest, ColdStartWithAListIsHeardSoon)
{
    Settings();
    const std::string list = ToneList("one.qzl", 10.0);
    ASSERT_FALSE(list.empty());
    CMonitorCapture capture(m_session);
    ASSERT_TRUE(capture.WaitRecording());
    std::this_thread::sleep_for(500ms);
    const auto started = Clock::now();
    StartPlayer({list});
    for (const auto deadline = Clock::now() + 6s; Clock::now() < deadline;)
        std::this_thread::sleep_for(100ms);
    const std::vector<int16_t>& heard = capture.Stop();
    const double startAt = Seconds(started - capture.FirstFrameTime());
    const double first = Heard::FirstSecond(heard, 440.0, kHeard, std::max(0.0, startAt - 0.2));
    ASSERT_GE(first, 0.0) << m_session.Stderr("player");
    std::printf("cold start: first audible frame %.3f s after the process started\n", first - startAt);
    RecordProperty("ColdStartSeconds", std::to_string(first - startAt));
    EXPECT_LT(first - startAt, 3.0);
    EXPECT_GE(Terminate(), 0.0);
}

TEST_F(EndToEndTest, ASecondStartHandsItsListToThePlayingPlayer)
{
    Settings();
    const std::string first = m_session.Home().Root() + "/music/first.qzl";
    ASSERT_TRUE(WriteList(first, {Track("a440.wav", 440.0, 30.0)}));
    const std::string second = m_session.Home().Root() + "/music/second.m3u";
    ASSERT_TRUE(WriteM3u(second, {Track("d990.wav", 990.0, 30.0)}));
    CMonitorCapture capture(m_session);
    ASSERT_TRUE(capture.WaitRecording());
    StartPlayer({first});
    MainWindow();
    std::this_thread::sleep_for(2s);

    const auto handed = Clock::now();
    const auto start = m_session.StartPlayer({second}, "second");
    ASSERT_TRUE(start->Wait(20s));
    EXPECT_EQ(start->ExitCode(), 0) << m_session.Stderr("second");
    std::this_thread::sleep_for(3s);
    EXPECT_FALSE(m_player->Wait(0ms)) << "the first player ended";
    EXPECT_EQ(m_session.Windows("^Quandel Player$").size(), 1u);
    EXPECT_FALSE(m_session.Screenshot("hand-over").empty());
    const std::vector<int16_t>& heard = capture.Stop();
    const double handedAt = Seconds(handed - capture.FirstFrameTime());
    EXPECT_GT(Heard::Level(heard, 440.0, handedAt - 1.5, handedAt - 0.5), kHeard);
    const double newList = Heard::FirstSecond(heard, 990.0, kHeard, handedAt);
    ASSERT_GE(newList, 0.0) << "the handed-over list was never heard";
    std::printf("handed-over list heard %.3f s after the second start\n", newList - handedAt);
    EXPECT_LT(newList - handedAt, 3.0);
    EXPECT_GT(Heard::InTheLastSecond(heard, 990.0), kHeard);
    EXPECT_GE(Terminate(), 0.0);
    EXPECT_NE(ReadTextFile(DataFile("last.qzl")).find("d990.wav"), std::string::npos);
}

// A stereo track whose tone changes from first to second after `change` seconds, so that a seek
// or a rewind is heard.
std::string TwoToneTrack(const std::string& path, double first, double second, double change, double seconds)
{
    std::vector<int16_t> samples(static_cast<size_t>(seconds * 44100.0));
    const auto switchAt = static_cast<size_t>(change * 44100.0);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = Sine(static_cast<uint32_t>(i), i < switchAt ? first : second, 12000.0);
    return WriteStereoWav16(path, samples, samples) ? path : std::string();
}

TEST_F(EndToEndTest, SeekNextPreviousAndCrossFaderKeysAreHeard)
{
    Settings();
    const std::string music = m_session.Home().Root() + "/music/";
    const std::string list = music + "keys.qzl";
    ASSERT_TRUE(WriteList(list, {TwoToneTrack(music + "one.wav", 440.0, 550.0, 20.0, 40.0),
                                 TwoToneTrack(music + "two.wav", 660.0, 770.0, 5.0, 40.0),
                                 Track("three.wav", 880.0, 40.0)}));
    CMonitorCapture capture(m_session);
    ASSERT_TRUE(capture.WaitRecording());
    StartPlayer({list});
    const CDesktopSession::Window window = MainWindow();
    std::this_thread::sleep_for(2s);
    const auto at = [&capture](Clock::time_point when) { return Seconds(when - capture.FirstFrameTime()); };

    // Nine fast seeks of a sixteenth of the track each take track 1 past its change of tone.
    const auto seek = Clock::now();
    m_session.Keys(window, std::vector<std::string>(9, "shift+Down"));
    std::this_thread::sleep_for(2s);
    // Next: track 2 comes in over the fade time.
    const auto next = Clock::now();
    m_session.Keys(window, {"Next"});
    std::this_thread::sleep_for(7s);
    // Previous, with track 2 past its first 2 s: it starts again.
    const auto previous = Clock::now();
    m_session.Keys(window, {"Prior"});
    std::this_thread::sleep_for(2s);
    // The cross-fader held towards deck A: the user mixes by hand, deck A (track 3) comes in and
    // track 2 goes; let go, deck A plays on.
    const auto fader = Clock::now();
    // Each key-down after the first, as the keyboard repeats a held key, moves it 32 further. The
    // window is clicked first, where nothing lies, as a person makes sure it has the keyboard.
    const QPoint grip = TitleStripGrip(window.width);
    m_session.Click(window, grip.x(), grip.y());
    std::vector<std::string> hold = {"/usr/bin/xdotool", "windowfocus", window.id, "sleep", "0.1",
                                     "keydown",          "--delay",     "80"};
    // Eight steps take it from one end to the other; the X server may merge some of the presses.
    hold.insert(hold.end(), 20, "Left");
    m_session.Run(hold);
    std::this_thread::sleep_for(2s);
    m_session.Run({"/usr/bin/xdotool", "keyup", "Left"});
    const auto released = Clock::now();
    std::this_thread::sleep_for(2s);
    EXPECT_FALSE(m_session.Screenshot("keys").empty());
    const std::vector<int16_t>& heard = capture.Stop();

    EXPECT_GT(Heard::Level(heard, 440.0, at(seek) - 1.0, at(seek)), kHeard);
    const double sought = Heard::FirstSecond(heard, 550.0, kHeard, at(seek));
    ASSERT_GE(sought, 0.0) << "the seek was not heard";
    EXPECT_LT(sought - at(seek), 1.5);
    const double nextHeard = Heard::FirstSecond(heard, 660.0, kOnset, at(next));
    ASSERT_GE(nextHeard, 0.0) << "Next was not heard";
    EXPECT_LT(nextHeard - at(next), 1.0);
    EXPECT_LT(Heard::Level(heard, 550.0, at(next) + kFadeSeconds + 0.5, at(next) + kFadeSeconds + 1.5),
              kHeard / 4);
    EXPECT_GT(Heard::Level(heard, 770.0, at(previous) - 1.0, at(previous)), kHeard);
    const double again = Heard::FirstSecond(heard, 660.0, kHeard, at(previous));
    ASSERT_GE(again, 0.0) << "Previous was not heard";
    EXPECT_LT(again - at(previous), 1.0);
    EXPECT_GT(Heard::Level(heard, 660.0, at(fader) - 1.0, at(fader)), kHeard);
    EXPECT_GT(Heard::Level(heard, 880.0, at(released) - 0.5, at(released)), kHeard);
    EXPECT_LT(Heard::Level(heard, 660.0, at(released) - 0.5, at(released)), kHeard / 4);
    EXPECT_GT(Heard::InTheLastSecond(heard, 880.0), kHeard);
    EXPECT_GE(Terminate(), 0.0);
}

TEST_F(EndToEndTest, ATrackDroppedFromAnotherProgramPlays)
{
#ifndef QUANDEL_XDND_DROP_PROGRAM
    GTEST_SKIP() << "the drop helper needs the X11 development files (libx11-dev)";
#else
    Settings();
    const std::string list = ToneList("one.qzl", 30.0);
    ASSERT_FALSE(list.empty());
    const std::string dropped = Track("dropped 770 ü.wav", 770.0, 30.0);
    CMonitorCapture capture(m_session);
    ASSERT_TRUE(capture.WaitRecording());
    StartPlayer({list});
    const CDesktopSession::Window window = MainWindow();
    std::this_thread::sleep_for(2s);
    const auto droppedAt = Clock::now();
    int status = -1;
    // Onto the decks, where a track dropped from outside replaces the Time Line and plays.
    const QPoint play = DeckControlCentre(kPlayButton);
    m_session.Run({QUANDEL_XDND_DROP_PROGRAM, window.id, std::to_string(play.x() - 150),
                   std::to_string(play.y() + 20), dropped},
                  &status);
    ASSERT_EQ(status, 0);
    std::this_thread::sleep_for(4s);
    EXPECT_FALSE(m_session.Screenshot("dropped").empty());
    const std::vector<int16_t>& heard = capture.Stop();
    const double at = Seconds(droppedAt - capture.FirstFrameTime());
    const double playing = Heard::FirstSecond(heard, 770.0, kHeard, at);
    ASSERT_GE(playing, 0.0) << "the dropped track was never heard";
    EXPECT_LT(playing - at, 3.0);
    EXPECT_GE(Terminate(), 0.0);
    EXPECT_NE(ReadTextFile(DataFile("last.qzl")).find("dropped 770"), std::string::npos);
#endif
}

TEST_F(EndToEndTest, ALogoutEndsThePlayerQuicklyAndKeepsListAndWindowPosition)
{
    Settings("WindowPosX=40\nWindowPosY=30\n");
    const std::string list = m_session.Home().Root() + "/music/logout.qzl";
    ASSERT_TRUE(WriteList(list, {Track("a440.wav", 440.0, 30.0), Track("b660.wav", 660.0)}));
    StartPlayer({list});
    CDesktopSession::Window window = MainWindow();
    EXPECT_EQ(window.x, 40);
    EXPECT_EQ(window.y, 30);
    // The window is moved by its title, as there is no window manager's.
    const QPoint title = DeckControlCentre(kTitleLine);
    ASSERT_FALSE(title.isNull());
    std::vector<std::string> drag = {
        "/usr/bin/xdotool",        "mousemove", "--window", window.id, std::to_string(title.x()),
        std::to_string(title.y()), "mousedown", "1"};
    for (int step = 0; step < 2; ++step)
        drag.insert(drag.end(), {"sleep", "0.2", "mousemove_relative", "--", "60", "50"});
    drag.insert(drag.end(), {"sleep", "0.2", "mouseup", "1"});
    m_session.Run(drag);
    std::this_thread::sleep_for(1s);
    window = MainWindow();
    EXPECT_FALSE(m_session.Screenshot("moved").empty());
    EXPECT_EQ(window.x, 40 + 120);
    EXPECT_EQ(window.y, 30 + 100);
    // A drag is no click: the list's information was not opened.
    EXPECT_EQ(m_session.Windows().size(), 1u);
    const double seconds = Terminate();
    ASSERT_GE(seconds, 0.0) << "the player did not end";
    std::printf("SIGTERM to exit: %.3f s\n", seconds);
    EXPECT_LT(seconds, 2.0);
    EXPECT_EQ(m_player->ExitCode(), 0);
    const std::string saved = ReadTextFile(DataFile("last.qzl"));
    EXPECT_NE(saved.find("a440.wav"), std::string::npos);
    EXPECT_NE(saved.find("b660.wav"), std::string::npos);
    const QSettings settings(QString::fromStdString(m_session.Home().ConfigFile()), QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("WindowPosX")).toInt(), window.x);
    EXPECT_EQ(settings.value(QStringLiteral("WindowPosY")).toInt(), window.y);
}

TEST_F(EndToEndTest, AKilledPlayerStartsAgainWithTheLastListSavedWhole)
{
    Settings();
    PlayToneList("kept.qzl", 30.0);
    ASSERT_GE(Terminate(), 0.0);
    const std::string kept = ReadTextFile(DataFile("last.qzl"));
    ASSERT_NE(kept.find("a440.wav"), std::string::npos);

    const std::string other = m_session.Home().Root() + "/music/other.m3u";
    ASSERT_TRUE(WriteM3u(other, {Track("b660.wav", 660.0, 30.0)}));
    StartPlayer({other});
    MainWindow();
    std::this_thread::sleep_for(1s);
    m_player->Signal(SIGKILL);
    ASSERT_TRUE(m_player->Wait(5s));
    EXPECT_EQ(ReadTextFile(DataFile("last.qzl")), kept);

    CMonitorCapture capture(m_session);
    ASSERT_TRUE(capture.WaitRecording());
    StartPlayer();
    const CDesktopSession::Window window = MainWindow();
    std::this_thread::sleep_for(1s);
    ClickPlay(window);
    std::this_thread::sleep_for(3s);
    EXPECT_FALSE(m_session.Screenshot("after-kill").empty());
    const std::vector<int16_t>& heard = capture.Stop();
    EXPECT_GT(Heard::InTheLastSecond(heard, 440.0), kHeard) << m_session.Stderr("player");
    EXPECT_GE(Terminate(), 0.0);
}

TEST_F(EndToEndTest, ASoundServerThatGoesAwayIsToldAndPlaysAgainAfterRetry)
{
    Settings();
    PlayToneList("server.qzl", 60.0);
    std::this_thread::sleep_for(2s);
    m_session.StopSoundServer();
    const auto told = m_session.WaitWindows("^Quandel Player$", 2, 10s);
    ASSERT_EQ(told.size(), 2u) << "no message: " << m_session.Stderr("player");
    EXPECT_FALSE(m_session.Screenshot("sound-server-gone").empty());
    EXPECT_FALSE(m_player->Wait(0ms));
    ASSERT_TRUE(m_session.StartSoundServer());
    CMonitorCapture capture(m_session);
    ASSERT_TRUE(capture.WaitRecording());
    m_session.Keys(told.back(), {"Return"}); // Retry, the default button
    EXPECT_EQ(m_session.WaitWindows("^Quandel Player$", 1, 10s, false).size(), 1u) << "the message stayed";
    std::this_thread::sleep_for(3s);
    const std::vector<int16_t>& heard = capture.Stop();
    EXPECT_GT(Heard::InTheLastSecond(heard, 440.0), kHeard) << m_session.Stderr("player");
    EXPECT_GE(Terminate(), 0.0);
}

TEST_F(EndToEndTest, WithoutASoundServerTheDeviceErrorIsShownAndCancelLeavesTheListsAlone)
{
    Settings();
    const std::string list = ToneList("untouched.qzl", kTrackSeconds);
    ASSERT_FALSE(list.empty());
    std::filesystem::create_directories(m_session.Home().DataFolder());
    std::filesystem::copy_file(list, DataFile("last.qzl"));
    std::filesystem::copy_file(list, DataFile("case2.qzl"));
    const std::string last = ReadTextFile(DataFile("last.qzl"));
    m_session.StopSoundServer();

    StartPlayer();
    const auto told = m_session.WaitWindows("^Quandel Player$", 2, 30s);
    ASSERT_EQ(told.size(), 2u) << m_session.Stderr("player");
    EXPECT_FALSE(m_session.Screenshot("no-sound-server").empty());
    m_session.Keys(told.back(), {"Escape"}); // Cancel
    ASSERT_TRUE(m_player->Wait(10s));
    EXPECT_EQ(m_player->ExitCode(), 1);
    EXPECT_EQ(ReadTextFile(DataFile("last.qzl")), last);
    EXPECT_EQ(ReadTextFile(DataFile("case2.qzl")), last);
}

TEST_F(EndToEndTest, ADisplayThatGoesAwayEndsThePlayerWhichSavesFirst)
{
    Settings();
    PlayToneList("display.qzl", 30.0);
    std::this_thread::sleep_for(1s);
    m_session.KillDisplay();
    ASSERT_TRUE(m_player->Wait(10s)) << "the player went on without its display";
    EXPECT_NE(ReadTextFile(DataFile("last.qzl")).find("a440.wav"), std::string::npos);
    const QSettings settings(QString::fromStdString(m_session.Home().ConfigFile()), QSettings::IniFormat);
    // Settings written at the end count this run.
    EXPECT_EQ(settings.value(QStringLiteral("Run")).toInt(), 4);
}

// Another user of this machine: their own home (or one given), the sound server shared.
class OtherUser {
public:
    explicit OtherUser(CDesktopSession& session, const std::string& home) : m_home(home)
    {
        const passwd* nobody = getpwnam("nobody");
        m_uid = nobody != nullptr ? nobody->pw_uid : 65534;
        m_gid = nobody != nullptr ? nobody->pw_gid : 65534;
        m_runtime = session.Files().Path("runtime-" + std::to_string(m_uid));
        std::filesystem::create_directories(m_runtime);
        chown(m_runtime.c_str(), m_uid, m_gid);
        chmod(m_runtime.c_str(), 0700);
        session.ShareSoundServer();
    }
    std::vector<std::string> Prefix() const
    {
        return {"/usr/bin/setpriv", "--reuid=" + std::to_string(m_uid), "--regid=" + std::to_string(m_gid),
                "--clear-groups", "--"};
    }
    std::vector<std::pair<std::string, std::string>> Environment() const
    {
        return {
            {"HOME", m_home}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", ""}, {"XDG_RUNTIME_DIR", m_runtime}};
    }
    uid_t Uid() const { return m_uid; }
    gid_t Gid() const { return m_gid; }

private:
    std::string m_home;
    std::string m_runtime;
    uid_t m_uid = 65534;
    gid_t m_gid = 65534;
};

TEST_F(EndToEndTest, AReadOnlyHomeIsToldOnceAndThePlayerRuns)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another user is needed, and only root can start a program as one";
    Settings();
    const std::string home = m_session.Files().Path("read-only-home");
    std::filesystem::create_directories(home);
    chmod(m_session.Files().Root().c_str(), 0711);
    chmod(home.c_str(), 0555); // root's, which the other user can read but not write
    const std::string track = m_session.Files().Path("a440.wav");
    WriteToneTrack(track, 440.0, 30.0);
    chmod(track.c_str(), 0644);
    OtherUser user(m_session, home);
    m_player = m_session.StartPlayer({track}, "player", user.Prefix(), user.Environment());
    // First the setup sheet (no settings can be there), after the message that says why.
    const auto told = m_session.WaitWindows("^Quandel Player$", 2, 30s);
    ASSERT_EQ(told.size(), 2u) << m_session.Stderr("player");
    EXPECT_FALSE(m_session.Screenshot("read-only-home").empty());
    m_session.Keys(told.back(), {"Return"});
    const auto setup = m_session.WaitWindows("^Setup$", 1, 20s);
    ASSERT_EQ(setup.size(), 1u);
    m_session.Keys(setup.front(), {"Return"});
    EXPECT_EQ(m_session.WaitWindows("^Quandel Player$", 1, 10s, false).size(), 1u) << "the message stayed";
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(m_session.Windows("^Quandel Player$").size(), 1u) << "told more than once";
    EXPECT_GE(Terminate(), 0.0);
    EXPECT_EQ(m_player->ExitCode(), 0) << m_session.Stderr("player");
    EXPECT_TRUE(FolderNames(home).empty());
}

TEST_F(EndToEndTest, TwoUsersEachGetTheirOwnPlayer)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another user is needed, and only root can start a program as one";
    Settings();
    PlayToneList("mine.qzl", 30.0);

    chmod(m_session.Files().Root().c_str(), 0711);
    const std::string home = m_session.Files().Path("other-home");
    std::filesystem::create_directories(home);
    OtherUser user(m_session, home);
    chown(home.c_str(), user.Uid(), user.Gid());
    // Written as root into the other user's home: a settings file of an earlier run.
    std::filesystem::create_directories(home + "/.config/Kelmaric");
    std::filesystem::copy_file(m_session.Home().ConfigFile(), home + "/.config/Kelmaric/Quandel Player.conf");
    for (const std::string& path :
         {home + "/.config", home + "/.config/Kelmaric", home + "/.config/Kelmaric/Quandel Player.conf"})
        chown(path.c_str(), user.Uid(), user.Gid());
    const std::string theirs = m_session.Files().Path("b660.wav");
    WriteToneTrack(theirs, 660.0, 30.0);
    chmod(theirs.c_str(), 0644);

    const auto other = m_session.StartPlayer({theirs}, "other", user.Prefix(), user.Environment());
    EXPECT_EQ(m_session.WaitWindows("^Quandel Player$", 2, 30s).size(), 2u) << m_session.Stderr("other");
    EXPECT_FALSE(other->Wait(2s)) << "the other user's start ended: " << m_session.Stderr("other");
    EXPECT_FALSE(m_session.Screenshot("two-users").empty());
    // A second start of each user goes to that user's own player.
    const auto again = m_session.StartPlayer({theirs}, "other-again", user.Prefix(), user.Environment());
    ASSERT_TRUE(again->Wait(20s));
    EXPECT_EQ(again->ExitCode(), 0) << m_session.Stderr("other-again");
    EXPECT_EQ(m_session.Windows("^Quandel Player$").size(), 2u);

    other->Signal(SIGTERM);
    EXPECT_TRUE(other->Wait(20s));
    EXPECT_GE(Terminate(), 0.0);
    EXPECT_NE(ReadTextFile(home + "/.local/share/Kelmaric/Quandel Player/last.qzl").find("b660.wav"),
              std::string::npos);
    EXPECT_NE(ReadTextFile(DataFile("last.qzl")).find("a440.wav"), std::string::npos);
}

} // namespace
