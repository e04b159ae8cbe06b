#include "SingleInstance.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <signal.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Each test has its own runtime folder and therefore its own lock and block, so tests running
// side by side never meet.
class SingleInstanceTest : public ::testing::Test {
protected:
    CSingleInstance Make() { return CSingleInstance(CSingleInstance::kProgramName, m_dir.Root()); }

    // The block as another process of this user sees it.
    uint8_t* MapBlock(const CSingleInstance& instance)
    {
        const int fd = shm_open(instance.BlockName().c_str(), O_RDWR, 0);
        if (fd < 0)
            return nullptr;
        void* view = mmap(nullptr, CSingleInstance::kBlockBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        close(fd);
        return view == MAP_FAILED ? nullptr : static_cast<uint8_t*>(view);
    }

    CTempDir m_dir;
};

TEST_F(SingleInstanceTest, ASecondStartHandsItsPathToTheFirstAndAnEmptyOneHandsNothing)
{
    CSingleInstance first = Make();
    ASSERT_EQ(first.Claim("/music/a.qzl"), CSingleInstance::Role::First) << first.Error();
    std::string taken;
    EXPECT_FALSE(first.TakeHandover(taken)) << "nothing was deposited yet";

    CSingleInstance second = Make();
    ASSERT_EQ(second.Claim("/music/set list.m3u"), CSingleInstance::Role::HandedOver) << second.Error();
    ASSERT_TRUE(first.TakeHandover(taken));
    EXPECT_EQ(taken, "/music/set list.m3u");
    EXPECT_FALSE(first.TakeHandover(taken)) << "a deposit is taken once";

    CSingleInstance third = Make();
    ASSERT_EQ(third.Claim(""), CSingleInstance::Role::HandedOver);
    taken = "unchanged";
    ASSERT_TRUE(first.TakeHandover(taken));
    EXPECT_EQ(taken, "") << "a start without a file deposits an empty path";
}

TEST_F(SingleInstanceTest, TheBlockIsPrivateToTheUser)
{
    CSingleInstance first = Make();
    ASSERT_EQ(first.Claim(""), CSingleInstance::Role::First);
    struct stat st {};
    const int fd = shm_open(first.BlockName().c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fstat(fd, &st), 0);
    close(fd);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(static_cast<size_t>(st.st_size), CSingleInstance::kBlockBytes);
    EXPECT_EQ(st.st_uid, getuid());
}

TEST_F(SingleInstanceTest, PathsThatDoNotFitTheBlockAreRefusedNotCut)
{
    CSingleInstance first = Make();
    ASSERT_EQ(first.Claim(""), CSingleInstance::Role::First);
    const std::string fits = "/" + std::string(CSingleInstance::kMaxPath - 1, 'x');
    const std::string tooLong = fits + "y";
    CSingleInstance second = Make();
    EXPECT_EQ(second.Claim(tooLong), CSingleInstance::Role::PathTooLong);
    std::string taken;
    EXPECT_FALSE(first.TakeHandover(taken));
    EXPECT_EQ(second.Claim(fits), CSingleInstance::Role::HandedOver);
    ASSERT_TRUE(first.TakeHandover(taken));
    EXPECT_EQ(taken, fits);
    // The first start itself opens any path: nothing has to fit a block.
    first.Release();
    CSingleInstance alone = Make();
    EXPECT_EQ(alone.Claim(tooLong), CSingleInstance::Role::First);
}

TEST_F(SingleInstanceTest, APlayerThatEndedOrWasKilledNeverBlocksTheNextStart)
{
    {
        CSingleInstance ended = Make();
        ASSERT_EQ(ended.Claim(""), CSingleInstance::Role::First);
    }
    CSingleInstance afterEnd = Make();
    EXPECT_EQ(afterEnd.Claim(""), CSingleInstance::Role::First);
    afterEnd.Release();

    // A child claims and is killed with SIGKILL: its lock goes with it, its block stays behind.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CSingleInstance crashed(CSingleInstance::kProgramName, m_dir.Root());
        const char role = crashed.Claim("") == CSingleInstance::Role::First ? 'F' : '?';
        [[maybe_unused]] const ssize_t n = write(ready[1], &role, 1);
        pause();
        _exit(0);
    }
    char role = 0;
    ASSERT_EQ(read(ready[0], &role, 1), 1);
    EXPECT_EQ(role, 'F');
    CSingleInstance whileRunning = Make();
    EXPECT_EQ(whileRunning.Claim(""), CSingleInstance::Role::HandedOver);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    close(ready[1]);

    CSingleInstance next = Make();
    EXPECT_EQ(next.Claim("/x.qzl"), CSingleInstance::Role::First) << next.Error();
    std::string taken;
    EXPECT_FALSE(next.TakeHandover(taken)) << "the dead player's block is not carried over";
}

TEST_F(SingleInstanceTest, ABlockWithoutTerminatorOrChangedByAnotherUserIsIgnored)
{
    CSingleInstance first = Make();
    ASSERT_EQ(first.Claim(""), CSingleInstance::Role::First);
    uint8_t* block = MapBlock(first);
    ASSERT_NE(block, nullptr);
    std::memset(block + 1, 'z', CSingleInstance::kBlockBytes - 1);
    block[0] = CSingleInstance::kDeposited;
    std::string taken = "unchanged";
    EXPECT_FALSE(first.TakeHandover(taken));
    EXPECT_EQ(taken, "unchanged");
    EXPECT_EQ(block[0], CSingleInstance::kIdle) << "the bad deposit is cleared";

    // Opened to others: whatever it holds is not trusted.
    const int fd = shm_open(first.BlockName().c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fchmod(fd, 0666), 0);
    close(fd);
    std::memcpy(block + 1, "/planted.qzl", 13);
    block[0] = CSingleInstance::kDeposited;
    EXPECT_FALSE(first.TakeHandover(taken));
    EXPECT_EQ(taken, "unchanged");
    // A second start refuses to write into such a block.
    CSingleInstance second = Make();
    EXPECT_EQ(second.Claim("/a.qzl"), CSingleInstance::Role::NotTaken);
    munmap(block, CSingleInstance::kBlockBytes);
}

TEST_F(SingleInstanceTest, StartsAtTheSameTimeEachDepositAWholePath)
{
    CSingleInstance first = Make();
    ASSERT_EQ(first.Claim(""), CSingleInstance::Role::First);
    std::atomic<bool> stop{false};
    std::set<std::string> seen;
    std::thread reader([&] {
        std::string path;
        while (!stop.load())
            if (first.TakeHandover(path))
                seen.insert(path);
    });
    std::vector<std::thread> starts;
    std::vector<std::string> paths;
    for (int i = 0; i < 8; ++i)
        paths.push_back("/music/" +
                        std::string(static_cast<size_t>(20 + i * 25), static_cast<char>('a' + i)) + ".qzl");
    std::atomic<int> handed{0};
    for (int i = 0; i < 8; ++i)
        starts.emplace_back([&, i] {
            for (int k = 0; k < 50; ++k) {
                CSingleInstance start(CSingleInstance::kProgramName, m_dir.Root());
                if (start.Claim(paths[static_cast<size_t>(i)]) == CSingleInstance::Role::HandedOver)
                    ++handed;
            }
        });
    for (auto& start : starts)
        start.join();
    stop = true;
    reader.join();
    std::string last;
    if (first.TakeHandover(last))
        seen.insert(last);
    EXPECT_EQ(handed.load(), 400);
    ASSERT_FALSE(seen.empty());
    for (const std::string& path : seen)
        EXPECT_NE(std::find(paths.begin(), paths.end(), path), paths.end()) << "a torn path: " << path;
}

} // namespace
