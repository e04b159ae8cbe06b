#include "FileStatus.h"

#include "PlaylistTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <unistd.h>

TEST(FileStatus, KindsAreToldApartAndAnUnreadableStatusIsNotFound)
{
    CTempDir dir;
    ASSERT_TRUE(WriteFile(dir.Path("a.mp3"), "a"));
    ASSERT_TRUE(MakeFifo(dir.Path("fifo.wav")));
    ASSERT_EQ(symlink("loop.mp3", dir.Path("loop.mp3").c_str()), 0);
    ASSERT_EQ(symlink("gone.mp3", dir.Path("dangling.mp3").c_str()), 0);
    using FileStatus::Kind;
    struct Case {
        std::string path;
        Kind kind;
        int error;
    } const cases[] = {
        {dir.Path("a.mp3"), Kind::Regular, 0},
        {dir.Root(), Kind::Folder, 0},
        {"/dev/null", Kind::Device, 0},
        {dir.Path("fifo.wav"), Kind::Other, 0},
        {dir.Path("missing.mp3"), Kind::NotFound, ENOENT},
        {dir.Path("dangling.mp3"), Kind::NotFound, ENOENT},
        {dir.Path("loop.mp3"), Kind::NotFound, ELOOP},
        {dir.Path(OverlongName(".mp3")), Kind::NotFound, ENAMETOOLONG},
        {"", Kind::NotFound, ENOENT},
    };
    for (const Case& c : cases) {
        const FileStatus::Status status = FileStatus::Of(c.path);
        EXPECT_EQ(status.kind, c.kind) << c.path;
        EXPECT_EQ(status.error, c.error) << c.path;
        EXPECT_EQ(FileStatus::IsRegularFile(c.path), c.kind == Kind::Regular) << c.path;
        EXPECT_EQ(FileStatus::IsFolder(c.path), c.kind == Kind::Folder) << c.path;
    }
    EXPECT_TRUE(FileStatus::IsLink(dir.Path("loop.mp3")));
    EXPECT_FALSE(FileStatus::IsLink(dir.Path("a.mp3")));

    ASSERT_EQ(symlink("a.mp3", dir.Path("link.mp3").c_str()), 0);
    EXPECT_TRUE(FileStatus::Of(dir.Path("link.mp3")).SameFile(FileStatus::Of(dir.Path("a.mp3"))));
    EXPECT_FALSE(FileStatus::Of(dir.Path("fifo.wav")).SameFile(FileStatus::Of(dir.Path("a.mp3"))));
    EXPECT_FALSE(FileStatus::Of(dir.Path("missing.mp3")).SameFile(FileStatus::Of(dir.Path("gone.mp3"))))
        << "two missing names are not one file";
}

TEST(FileStatus, AbsoluteJoinsTheWorkingFolderAndNormalises)
{
    CTempDir dir;
    char* cwd = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir.Root().c_str()), 0);
    struct Case {
        const char* path;
        std::string absolute;
    } const cases[] = {
        {"list.qzl", dir.Path("list.qzl")},
        {"./list.qzl", dir.Path("list.qzl")},
        {"sub/../list.qzl", dir.Path("list.qzl")},
        {"/music//crate/./x.mp3", "/music/crate/x.mp3"},
        {"sub/", dir.Path("sub/")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileStatus::Absolute(c.path), c.absolute) << c.path;
    EXPECT_EQ(chdir(cwd), 0);
    free(cwd);
}
