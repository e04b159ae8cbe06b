#include "FileReplacer.h"
#include "PlaylistTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
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

// Writes count chunks after the file was opened; false at the first failure.
bool WriteChunks(CFileReplacer& file, size_t count)
{
    if (!file.Open())
        return false;
    for (size_t c = 0; c < count; ++c) {
        if (!file.Write(Chunk(c).data(), kChunk))
            return false;
    }
    return true;
}

} // namespace

TEST(FileReplacer, ALongFileIsWholeAfterCommitAndTheOldOneStaysUntilThen)
{
    CTempDir dir;
    const std::string target = dir.Path("mix.wav");
    ASSERT_TRUE(CFileReplacer::Replace(target, "the earlier mix"));
    CFileReplacer file(target);
    constexpr size_t kChunks = 100; // three syncs behind the writing, and the rest at the end
    ASSERT_TRUE(WriteChunks(file, kChunks));
    EXPECT_EQ(ReadFile(target), "the earlier mix");
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(file.LastError(), 0);
    const std::string written = ReadFile(target);
    ASSERT_EQ(written.size(), kChunks * kChunk);
    for (size_t c = 0; c < kChunks; ++c) {
        const std::vector<char> expected = Chunk(c);
        ASSERT_TRUE(
            std::equal(expected.begin(), expected.end(), written.begin() + static_cast<long>(c * kChunk)))
            << "chunk " << c;
    }
    EXPECT_EQ(FolderNames(dir.Root()), std::vector<std::string>{"mix.wav"});
}

TEST(FileReplacer, ALongWriteThatFailsOrIsAbandonedLeavesTheOldFileAndNoTemporary)
{
    CTempDir dir;
    const std::string target = dir.Path("mix.wav");
    ASSERT_TRUE(CFileReplacer::Replace(target, "the earlier mix"));
    {
        CFileReplacer file(target);
        ASSERT_TRUE(WriteChunks(file, 40));
        // Gone without a Commit, while the helper may still be syncing.
    }
    EXPECT_EQ(ReadFile(target), "the earlier mix");
    EXPECT_EQ(FolderNames(dir.Root()), std::vector<std::string>{"mix.wav"});

    // The disk fills (a file size limit here) after a sync ran behind: the write fails, and so
    // does the Commit, which puts nothing in place.
    CFileReplacer file(target);
    bool failed = false;
    {
        CFileSizeCap cap(50 * kChunk);
        failed = !WriteChunks(file, 60);
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(file.LastError(), EFBIG);
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(ReadFile(target), "the earlier mix");
    EXPECT_EQ(FolderNames(dir.Root()), std::vector<std::string>{"mix.wav"});
}
