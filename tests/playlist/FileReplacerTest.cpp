#include "FileReplacer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <vector>

// Long files: the syncs that run behind the writing must never let a failure pass or leave a
// temporary file, and the file put in place must be whole.

namespace {

constexpr size_t kChunk = 1 << 20;

// A megabyte whose bytes name its index, so a misplaced chunk shows.
std::vector<char> Chunk(size_t index)
{
    std::vector<char> bytes(kChunk);
    for (size_t i = 0; i < kChunk; ++i)
        bytes[i] = static_cast<char>((index * 131 + i / 4096) & 0xFF);
    return bytes;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

} // namespace

TEST(FileReplacer, ALongFileIsWholeAfterCommitAndTheOldOneStaysUntilThen)
{
    CTempDir dir;
    const std::string target = dir.Path("mix.wav");
    ASSERT_TRUE(CFileReplacer::Replace(target, "the earlier mix"));
    CFileReplacer file(target);
    ASSERT_TRUE(file.Open());
    constexpr size_t kChunks = 100; // three syncs behind the writing, and the rest at the end
    for (size_t c = 0; c < kChunks; ++c)
        ASSERT_TRUE(file.Write(Chunk(c).data(), kChunk));
    EXPECT_EQ(ReadAll(target), "the earlier mix");
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(file.LastError(), 0);
    const std::string written = ReadAll(target);
    ASSERT_EQ(written.size(), kChunks * kChunk);
    for (size_t c = 0; c < kChunks; ++c) {
        const std::vector<char> expected = Chunk(c);
        ASSERT_TRUE(
            std::equal(expected.begin(), expected.end(), written.begin() + static_cast<long>(c * kChunk)))
            << "chunk " << c;
    }
    EXPECT_EQ(Names(dir.Root()), std::vector<std::string>{"mix.wav"});
}

TEST(FileReplacer, ALongWriteThatFailsOrIsAbandonedLeavesTheOldFileAndNoTemporary)
{
    CTempDir dir;
    const std::string target = dir.Path("mix.wav");
    ASSERT_TRUE(CFileReplacer::Replace(target, "the earlier mix"));
    {
        CFileReplacer file(target);
        ASSERT_TRUE(file.Open());
        for (size_t c = 0; c < 40; ++c)
            ASSERT_TRUE(file.Write(Chunk(c).data(), kChunk));
        // Gone without a Commit, while the helper may still be syncing.
    }
    EXPECT_EQ(ReadAll(target), "the earlier mix");
    EXPECT_EQ(Names(dir.Root()), std::vector<std::string>{"mix.wav"});

    // The disk fills (a file size limit here) after a sync ran behind: the write fails, and so
    // does the Commit, which puts nothing in place.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 50 * kChunk;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    CFileReplacer file(target);
    ASSERT_TRUE(file.Open());
    bool failed = false;
    for (size_t c = 0; c < 60 && !failed; ++c)
        failed = !file.Write(Chunk(c).data(), kChunk);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(failed);
    EXPECT_EQ(file.LastError(), EFBIG);
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(ReadAll(target), "the earlier mix");
    EXPECT_EQ(Names(dir.Root()), std::vector<std::string>{"mix.wav"});
}
