// The player as a user starts it: its own processes, on Qt's offscreen platform, playing to the
// test sound server, in a home folder of the test's own.
#include "ChildProcess.h"
#include "CoreTestSupport.h"
#include "PlayerTestSupport.h"
#include "SingleInstance.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/file.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class PlayerProcessTest : public ::testing::Test {
protected:
    PlayerProcessTest() : m_home(m_dir.Root()) {}

    void SetUp() override
    {
        ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr)
            << "run through ctest: its fixture starts the sound server";
        m_home.WriteSettings();
    }

    std::unique_ptr<CChildProcess> Start(std::vector<std::string> arguments, const std::string& name,
                                         std::vector<std::pair<std::string, std::string>> environment = {})
    {
        CChildProcess::Setup setup;
        setup.arguments = {QUANDEL_PLAYER_PROGRAM};
        setup.arguments.insert(setup.arguments.end(), arguments.begin(), arguments.end());
        setup.stdoutPath = m_dir.Path(name + ".out");
        setup.stderrPath = m_dir.Path(name + ".err");
        setup.environment = m_home.Environment();
        setup.environment.emplace_back("PULSE_SERVER", std::getenv("PULSE_SERVER"));
        for (auto& variable : environment)
            setup.environment.push_back(std::move(variable));
        return std::make_unique<CChildProcess>(setup);
    }

    // A start that hands over and ends; its exit status.
    int HandOver(std::vector<std::string> arguments, const std::string& name)
    {
        const auto start = Start(std::move(arguments), name);
        if (!start->Wait(20s))
            return -100;
        return start->ExitCode();
    }

    // The running player's hand-over block is idle again: what was deposited has been taken.
    bool WaitHandoverTaken(std::chrono::milliseconds timeout)
    {
        const CSingleInstance probe(CSingleInstance::kProgramName, m_home.RuntimeFolder());
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            const int fd = shm_open(probe.BlockName().c_str(), O_RDONLY, 0);
            if (fd >= 0) {
                uint8_t state = 0xFF;
                const bool read = pread(fd, &state, 1, 0) == 1;
                close(fd);
                if (read && state == CSingleInstance::kIdle)
                    return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    // Waits until the player has finished its start: an empty hand-over is taken only then.
    void WaitStarted()
    {
        // First the lock: a start before it is taken would be a first player itself.
        const CSingleInstance probe(CSingleInstance::kProgramName, m_home.RuntimeFolder());
        bool held = false;
        for (const auto deadline = std::chrono::steady_clock::now() + 30s;
             !held && std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(10ms)) {
            const int fd = open(probe.LockPath().c_str(), O_RDONLY | O_CLOEXEC);
            held = fd >= 0 && flock(fd, LOCK_SH | LOCK_NB) != 0;
            if (fd >= 0)
                close(fd);
        }
        ASSERT_TRUE(held) << "the player never took its lock: " << Stderr("first");
        ASSERT_EQ(HandOver({}, "ready"), 0) << Stderr("ready");
        ASSERT_TRUE(WaitHandoverTaken(60s))
            << "the first player never finished starting: " << Stderr("first");
    }

    std::string Stderr(const std::string& name) { return ReadTextFile(m_dir.Path(name + ".err")); }
    std::string Saved(const std::string& name) { return ReadTextFile(m_home.DataFolder() + name); }

    void Tracks(int count)
    {
        for (int i = 0; i < count; ++i) {
            const std::string path = m_home.Root() + "/music/tone" + std::to_string(i + 1) + ".wav";
            ASSERT_FALSE(WriteToneTrack(path, 330.0 * (i + 1), 20.0).empty());
            m_tracks.push_back(path);
        }
    }

    CTempDir m_dir;
    CPlayerHome m_home;
    std::vector<std::string> m_tracks;
};

TEST_F(PlayerProcessTest, ASecondStartHandsItsFileOverAndTheFirstOpensIt)
{
    Tracks(3);
    const std::string first = m_home.Root() + "/music/first.m3u";
    const std::string second = m_home.Root() + "/music/second.m3u";
    ASSERT_TRUE(WriteM3u(first, {m_tracks[0]}));
    ASSERT_TRUE(WriteM3u(second, {m_tracks[1], m_tracks[2]}));
    const auto player = Start({first}, "first");
    WaitStarted();

    const auto handed = std::chrono::steady_clock::now();
    EXPECT_EQ(HandOver({second}, "second"), 0) << Stderr("second");
    ASSERT_TRUE(WaitHandoverTaken(10s));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - handed).count();
    // 24 display ticks of 41 ms, and the second start's own run before it.
    RecordProperty("HandoverSeconds", std::to_string(seconds));
    std::printf("hand-over taken %.2f s after the second start began\n", seconds);

    player->Signal(SIGTERM);
    ASSERT_TRUE(player->Wait(30s));
    EXPECT_EQ(player->ExitCode(), 0) << Stderr("first");
    const std::string saved = Saved("last.qzl");
    EXPECT_NE(saved.find("tone2.wav"), std::string::npos) << saved;
    EXPECT_NE(saved.find("tone3.wav"), std::string::npos);
    EXPECT_EQ(saved.find("tone1.wav"), std::string::npos) << "the handed-over list replaced the first";
}

TEST_F(PlayerProcessTest, ASecondStartWithoutAFileChangesNothing)
{
    Tracks(2);
    const std::string list = m_home.Root() + "/music/set.m3u";
    ASSERT_TRUE(WriteM3u(list, m_tracks));
    const auto player = Start({list}, "first");
    WaitStarted();
    EXPECT_EQ(HandOver({}, "second"), 0);
    ASSERT_TRUE(WaitHandoverTaken(10s));
    player->Signal(SIGTERM);
    ASSERT_TRUE(player->Wait(30s));
    const std::string saved = Saved("last.qzl");
    EXPECT_NE(saved.find("tone1.wav"), std::string::npos) << saved;
    EXPECT_NE(saved.find("tone2.wav"), std::string::npos) << saved;
}

TEST_F(PlayerProcessTest, APathTooLongToHandOverIsRefusedOnStandardError)
{
    const auto player = Start({}, "first");
    WaitStarted();
    const std::string longPath = "/" + std::string(300, 'x') + ".qzl";
    EXPECT_EQ(HandOver({longPath}, "long"), 2);
    EXPECT_NE(Stderr("long").find("259"), std::string::npos) << Stderr("long");
    player->Signal(SIGTERM);
    ASSERT_TRUE(player->Wait(30s));
    EXPECT_EQ(player->ExitCode(), 0);
}

TEST_F(PlayerProcessTest, AKilledPlayerNeverKeepsTheNextOneFromStarting)
{
    {
        const auto crashed = Start({}, "crashed");
        WaitStarted();
        crashed->Signal(SIGKILL);
        ASSERT_TRUE(crashed->Wait(10s));
    }
    const auto next = Start({}, "next");
    WaitStarted();
    next->Signal(SIGTERM);
    ASSERT_TRUE(next->Wait(30s));
    EXPECT_EQ(next->ExitCode(), 0) << Stderr("next");
}

TEST_F(PlayerProcessTest, LogoutAndCtrlCSaveTheTimeLineAndTheCasesAsClosingDoes)
{
    Tracks(2);
    const std::string list = m_home.Root() + "/music/set.m3u";
    ASSERT_TRUE(WriteM3u(list, m_tracks));
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        std::error_code error;
        std::filesystem::remove_all(m_home.DataFolder(), error);
        m_home.WriteSettings();
        const auto player = Start({list}, "player");
        WaitStarted();
        player->Signal(signal);
        ASSERT_TRUE(player->Wait(30s)) << signal;
        EXPECT_EQ(player->ExitCode(), 0) << signal << ": " << Stderr("player");
        EXPECT_NE(Saved("last.qzl").find("tone2.wav"), std::string::npos) << signal;
        for (int i = 1; i <= 4; ++i)
            EXPECT_TRUE(std::filesystem::exists(m_home.DataFolder() + "case" + std::to_string(i) + ".qzl"))
                << i;
        EXPECT_NE(ReadTextFile(m_home.ConfigFile()).find("Run=4"), std::string::npos) << signal;
    }
}

TEST_F(PlayerProcessTest, WithoutADisplayOneLineSaysSoAndTheStartFails)
{
    const auto player =
        Start({}, "nodisplay", {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
    ASSERT_TRUE(player->Wait(20s));
    EXPECT_EQ(player->ExitCode(), 1);
    const std::string text = Stderr("nodisplay");
    EXPECT_NE(text.find("no display"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_FALSE(std::filesystem::exists(m_home.DataFolder() + "last.qzl"));

    // An X display that is named but cannot be reached: still one line, no abort.
    const auto unreachable = Start({}, "unreachable", {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":97"}});
    ASSERT_TRUE(unreachable->Wait(20s));
    EXPECT_EQ(unreachable->ExitCode(), 1) << Stderr("unreachable");
    EXPECT_EQ(unreachable->TermSignal(), 0);
}

TEST_F(PlayerProcessTest, HelpVersionAndAWrongLineNeedNoDisplay)
{
    const std::vector<std::pair<std::string, std::string>> noDisplay = {{"QT_QPA_PLATFORM", ""},
                                                                        {"DISPLAY", ""}};
    const auto help = Start({"--help"}, "help", noDisplay);
    ASSERT_TRUE(help->Wait(10s));
    EXPECT_EQ(help->ExitCode(), 0);
    EXPECT_NE(ReadTextFile(m_dir.Path("help.out")).find("Usage: quandel-player"), std::string::npos);
    const auto version = Start({"--version"}, "version", noDisplay);
    ASSERT_TRUE(version->Wait(10s));
    EXPECT_NE(ReadTextFile(m_dir.Path("version.out")).find("quandel-player "), std::string::npos);
    const auto wrong = Start({"--shuffle"}, "wrong");
    ASSERT_TRUE(wrong->Wait(20s));
    EXPECT_EQ(wrong->ExitCode(), 2);
    EXPECT_NE(Stderr("wrong").find("--shuffle"), std::string::npos);
}

} // namespace
