#include "GuardedMutex.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <thread>

namespace {

// Runs body on a fresh thread marked as the audio thread and returns what it returned.
bool OnMarkedThread(const std::function<bool()>& body)
{
    bool result = false;
    std::thread thread([&] {
        MarkAudioThread(true);
        result = body();
        MarkAudioThread(false);
    });
    thread.join();
    return result;
}

struct LockStyle {
    const char* name;
    std::function<void(CGuardedMutex&)> take;
};

} // namespace

// Every standard way of waiting for the mutex goes through lock(), so each of them is caught,
// and caught while the mutex is free: the path is wrong before it ever loses a race.
TEST(GuardedMutex, MarkedThreadDiesOnEveryBlockingLockEvenWhenFree)
{
#ifndef QUANDEL_AUDIO_GUARD
    GTEST_SKIP() << "the guard is compiled out here (NDEBUG without QUANDEL_AUDIO_GUARD)";
#else
    // The default death-test style forks a process that may have threads; re-running the
    // test binary for the child is the safe one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const LockStyle styles[] = {
        {"lock", [](CGuardedMutex& m) { m.lock(); }},
        {"lock_guard", [](CGuardedMutex& m) { std::lock_guard lock(m); }},
        {"unique_lock", [](CGuardedMutex& m) { std::unique_lock lock(m); }},
        {"scoped_lock of two",
         [](CGuardedMutex& m) {
             CGuardedMutex other("other lock");
             std::scoped_lock both(m, other);
         }},
    };
    for (const auto& style : styles) {
        SCOPED_TRACE(style.name);
        EXPECT_DEATH(
            {
                CGuardedMutex mutex("test mix lock");
                MarkAudioThread(true);
                style.take(mutex);
            },
            "blocking call on the audio thread: test mix lock");
    }
#endif
}

TEST(GuardedMutex, TryLockOnTheMarkedThreadTakesAFreeMutexAndRefusesAHeldOne)
{
    CGuardedMutex mutex("test render lock");
    EXPECT_TRUE(OnMarkedThread([&] {
        std::unique_lock lock(mutex, std::try_to_lock);
        return lock.owns_lock();
    }));
    {
        std::lock_guard held(mutex); // this thread is not marked: a plain lock is fine
        EXPECT_FALSE(OnMarkedThread([&] {
            std::unique_lock lock(mutex, std::try_to_lock);
            return lock.owns_lock();
        }));
    }
    // The refused attempt left nothing behind: the mutex is free again for everyone.
    EXPECT_TRUE(mutex.try_lock());
    mutex.unlock();
}

TEST(GuardedMutex, UnmarkedThreadsLockAsWithAPlainMutex)
{
    CGuardedMutex mutex("test list lock");
    int counter = 0;
    std::thread other([&] {
        for (int i = 0; i < 10000; ++i) {
            std::lock_guard lock(mutex);
            ++counter;
        }
    });
    for (int i = 0; i < 10000; ++i) {
        std::lock_guard lock(mutex);
        ++counter;
    }
    other.join();
    EXPECT_EQ(counter, 20000);
}

// A thread that was marked and then unmarked (a pacer that stopped) may block again.
TEST(GuardedMutex, UnmarkingTheThreadLiftsTheGuard)
{
    CGuardedMutex mutex("test thread lock");
    EXPECT_TRUE(OnMarkedThread([&] {
        MarkAudioThread(false);
        std::lock_guard lock(mutex);
        return true;
    }));
}
