// The renderer as a process: what a signal, a full disk, a FIFO or a pipe does to a real run.
#include "ChildProcess.h"
#include "CoreTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

bool HasTemporary(const std::string& folder)
{
    for (const std::string& name : FolderNames(folder))
        if (name[0] == '.')
            return true;
    return false;
}

struct RenderRun {
    std::unique_ptr<CChildProcess> process;
    std::string out;
    std::string err;
};

RenderRun Start(const CTempDir& dir, std::vector<std::string> arguments, long fileSizeLimit = -1)
{
    CChildProcess::Setup setup;
    setup.arguments = {QUANDEL_RENDER_PROGRAM, "-q"};
    setup.arguments.insert(setup.arguments.end(), arguments.begin(), arguments.end());
    setup.stdoutPath = dir.Path("stdout");
    setup.stderrPath = dir.Path("stderr");
    setup.fileSizeLimit = fileSizeLimit;
    RenderRun run;
    run.process = std::make_unique<CChildProcess>(setup);
    return run;
}

size_t Frames(const std::string& path)
{
    const std::string wav = ReadTextFile(path);
    return wav.size() > 80 ? (wav.size() - 80) / 4 : 0;
}

void Finish(const CTempDir& dir, RenderRun& run, std::chrono::milliseconds timeout = 60s)
{
    ASSERT_TRUE(run.process->Wait(timeout)) << "still running after " << timeout.count() << " ms";
    run.out = ReadTextFile(dir.Path("stdout"));
    run.err = ReadTextFile(dir.Path("stderr"));
}

} // namespace

TEST(RenderProcess, ASignalEndsTheRenderRemovesItsTemporaryAndKeepsTheEarlierMix)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        CTempDir dir;
        WriteToneTrack(dir.Path("a.wav"), 440.0, 4.0);
        std::ofstream(dir.Path("mix.wav")) << "an earlier mix";
        // Ten hours of a repeated track: long enough to be stopped half-way.
        RenderRun run = Start(dir, {"--repeat", "--to", "10:00:00", "--fade", "1", "-o", dir.Path("mix.wav"),
                                    dir.Path("a.wav")});
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!HasTemporary(dir.Root()) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        ASSERT_TRUE(HasTemporary(dir.Root())) << "the render did not start";
        run.process->Signal(signal);
        Finish(dir, run, 10s);
        EXPECT_EQ(run.process->TermSignal(), signal);
        EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
        EXPECT_EQ(ReadTextFile(dir.Path("mix.wav")), "an earlier mix");
        EXPECT_FALSE(HasTemporary(dir.Root()));
    }
}

TEST(RenderProcess, AFullDiskIsAWriteErrorWithItsReasonAndTheEarlierMixStays)
{
    CTempDir dir;
    WriteToneTrack(dir.Path("a.wav"), 440.0, 3.0);
    WriteToneTrack(dir.Path("b.wav"), 660.0, 3.0);
    std::ofstream(dir.Path("mix.wav")) << "an earlier mix";
    // 700 kB hold the tracks (530 kB each) but not the 6 s of mix (1 MB).
    RenderRun run = Start(dir, {"-o", dir.Path("mix.wav"), dir.Path("a.wav"), dir.Path("b.wav")}, 700000);
    Finish(dir, run);
    EXPECT_EQ(run.process->ExitCode(), 3);
    EXPECT_NE(run.err.find("File too large"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("mix written"), std::string::npos) << run.err;
    EXPECT_EQ(ReadTextFile(dir.Path("mix.wav")), "an earlier mix");
    EXPECT_FALSE(HasTemporary(dir.Root()));
}

TEST(RenderProcess, FifosNamedLikeTracksAndListsAreRefusedNotWaitedOn)
{
    CTempDir dir;
    WriteToneTrack(dir.Path("real.wav"), 440.0, 1.0);
    std::vector<std::string> fifos;
    for (const char* name : {"x.wav", "x.mp3", "x.qzl", "x.m3u", "x.qzx"}) {
        fifos.push_back(dir.Path(name));
        ASSERT_EQ(mkfifo(fifos.back().c_str(), 0600), 0);
    }
    std::ofstream list(dir.Path("list.m3u"));
    for (const std::string& fifo : fifos)
        list << fifo << "\n";
    list << "real.wav\n";
    list.close();

    for (const std::string& fifo : fifos) {
        RenderRun run = Start(dir, {"-o", dir.Path("out.wav"), fifo});
        Finish(dir, run, 20s);
        EXPECT_EQ(run.process->ExitCode(), 2) << fifo << "\n" << run.err;
        EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << run.err;
    }
    RenderRun listed = Start(dir, {"-o", dir.Path("out.wav"), dir.Path("list.m3u")});
    Finish(dir, listed, 20s);
    EXPECT_EQ(listed.process->ExitCode(), 4) << listed.err;
    for (const char* name : {"x.wav", "x.mp3"})
        EXPECT_NE(listed.err.find(name), std::string::npos) << listed.err;
    EXPECT_NE(listed.err.find("mix written"), std::string::npos) << listed.err;
}

TEST(RenderProcess, MinusWritesTheWavToStandardOutputForAPipe)
{
    CTempDir dir;
    WriteToneTrack(dir.Path("a.wav"), 440.0, 2.0);
    RenderRun file = Start(dir, {"-o", dir.Path("file.wav"), dir.Path("a.wav")});
    Finish(dir, file);
    ASSERT_EQ(file.process->ExitCode(), 0) << file.err;
    // Through a real pipe: standard output is not seekable there, so the sizes say "streaming".
    const std::string command = std::string(QUANDEL_RENDER_PROGRAM) + " -q -o - '" + dir.Path("a.wav") +
                                "' | cat > '" + dir.Path("piped.wav") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string piped = ReadTextFile(dir.Path("piped.wav"));
    const std::string written = ReadTextFile(dir.Path("file.wav"));
    ASSERT_GT(piped.size(), 44u);
    EXPECT_EQ(piped.substr(0, 4), "RIFF");
    EXPECT_EQ(piped.substr(36, 4), "data");
    EXPECT_EQ(piped.substr(40, 4), std::string(4, '\xff'));
    EXPECT_EQ(piped.substr(44), written.substr(80));
    // A redirect to a file is seekable: the header gets its real sizes.
    ASSERT_EQ(std::system((std::string(QUANDEL_RENDER_PROGRAM) + " -q -o - '" + dir.Path("a.wav") + "' > '" +
                           dir.Path("redirected.wav") + "'")
                              .c_str()),
              0);
    EXPECT_EQ(ReadTextFile(dir.Path("redirected.wav")), written);
}

TEST(RenderProcess, ADamagedMixFileEndsWithinItsTicks)
{
    CTempDir dir;
    std::string mix = ReadTextFile(std::string(QUANDEL_CORPUS) + "/mix/widths.qzx");
    ASSERT_GT(mix.size(), 30u);
    mix[30] = 0x04;
    std::ofstream(dir.Path("damaged.qzx"), std::ios::binary) << mix;
    RenderRun run = Start(dir, {"-o", dir.Path("out.wav"), dir.Path("damaged.qzx")});
    Finish(dir, run, 30s);
    // Its only track value was the damaged byte: nothing is left to play, and it says so.
    EXPECT_EQ(run.process->ExitCode(), 2) << run.err;
    EXPECT_NE(run.err.find("the mix plays no track"), std::string::npos) << run.err;
    struct stat info {};
    // Whatever plays instead, it is not an endless stream of silence.
    if (::stat(dir.Path("out.wav").c_str(), &info) == 0) {
        EXPECT_LT(info.st_size, 100 * 1000 * 1000);
    }
}

TEST(RenderProcess, EntriesLeftOutAreNamedAndARelativeListFindsItsTracks)
{
    CTempDir dir;
    WriteToneTrack(dir.Path("a.wav"), 440.0, 1.0);
    mkdir(dir.Path("sub").c_str(), 0755);
    // An MPEG Layer III header in a WAV: a format the reader names rather than plays.
    std::string wav = ReadTextFile(dir.Path("a.wav"));
    wav[20] = 0x55;
    std::ofstream(dir.Path("mp3-in.wav"), std::ios::binary) << wav;
    std::ofstream(dir.Path("set.m3u")) << "set.m3u\nsub\nnotes.txt\nother.qzl\nmp3-in.wav\na.wav\n";
    // The bare name, run from the list's own folder, as a user types it.
    CChildProcess::Setup setup;
    setup.arguments = {QUANDEL_RENDER_PROGRAM, "-q", "set.m3u"};
    setup.stderrPath = dir.Path("stderr");
    setup.workingFolder = dir.Root();
    CChildProcess process(setup);
    ASSERT_TRUE(process.Wait(30s));
    const std::string err = ReadTextFile(dir.Path("stderr"));
    EXPECT_EQ(process.ExitCode(), 4) << err;
    for (const char* expected :
         {"set.m3u: the list itself", "sub: a folder", "notes.txt: not a track file type",
          "other.qzl: a list inside a list", "format tag 0x0055", "1 track, 5 left out"})
        EXPECT_NE(err.find(expected), std::string::npos) << expected << "\n" << err;
    EXPECT_NEAR(static_cast<double>(Frames(dir.Path("set.wav"))), 44100.0, 16.0);
}
