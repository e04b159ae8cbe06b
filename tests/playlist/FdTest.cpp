#include "Fd.h"

#include "PlaylistTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

TEST(Fd, OnlyARegularFileOpensAndAFifoNeverBlocks)
{
    CTempDir dir;
    ASSERT_TRUE(WriteFile(dir.Path("plain.qzl"), "bytes"));
    ASSERT_TRUE(MakeFifo(dir.Path("fifo.m3u")));
    ASSERT_EQ(symlink("loop.mp3", dir.Path("loop.mp3").c_str()), 0);
    ASSERT_EQ(symlink("plain.qzl", dir.Path("link.qzl").c_str()), 0);
    struct Case {
        std::string path;
        int error; // 0: opens
    } const cases[] = {
        {dir.Path("plain.qzl"), 0},     {dir.Path("link.qzl"), 0},
        {dir.Path("fifo.m3u"), ENODEV}, {"/dev/null", ENODEV},
        {dir.Root(), EISDIR},           {dir.Path("missing.qzl"), ENOENT},
        {dir.Path("loop.mp3"), ELOOP},  {dir.Path(OverlongName(".qzl")), ENAMETOOLONG},
    };
    for (const Case& c : cases) {
        for (const FileAccess access : {FileAccess::Read, FileAccess::ReadWrite}) {
            int error = -1;
            bool valid = false;
            ASSERT_TRUE(ReturnsWithin(
                [&] {
                    const CFd fd = OpenRegularFile(c.path, error, access);
                    valid = fd.Valid();
                },
                dir.Path("fifo.m3u")))
                << c.path;
            EXPECT_EQ(valid, c.error == 0) << c.path;
            EXPECT_EQ(error, c.error) << c.path;
        }
    }
}

TEST(Fd, AnOpenedFileBlocksAgainAndClosesOnExec)
{
    CTempDir dir;
    ASSERT_TRUE(WriteFile(dir.Path("track.mp3"), "0123456789"));
    int error = 0;
    CFd fd = OpenRegularFile(dir.Path("track.mp3"), error, FileAccess::ReadWrite);
    ASSERT_TRUE(fd.Valid());
    EXPECT_EQ(fcntl(fd.Get(), F_GETFL) & (O_NONBLOCK | O_ACCMODE), O_RDWR);
    EXPECT_NE(fcntl(fd.Get(), F_GETFD) & FD_CLOEXEC, 0);
    char bytes[4] = {};
    EXPECT_EQ(read(fd.Get(), bytes, sizeof bytes), 4);

    // Moving hands the descriptor over; the moved-from one closes nothing.
    const int raw = fd.Get();
    CFd moved = std::move(fd);
    EXPECT_FALSE(fd.Valid());
    EXPECT_EQ(moved.Get(), raw);
    const int released = moved.Release();
    EXPECT_EQ(released, raw);
    EXPECT_EQ(close(released), 0) << "Release leaves the descriptor open";
}
