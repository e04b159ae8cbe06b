#include "LoadRequestBox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

TEST(LoadRequestBox, NewestRequestWinsAndAnUnloadIsARequestToo)
{
    CLoadRequestBox box;
    CLoadRequestBox::Request request;
    EXPECT_FALSE(box.Take(request));
    EXPECT_EQ(box.Post("/music/a.wav", 3, 120.0f, 0.5f, false), 1u);
    EXPECT_EQ(box.Post("/music/b.wav", 4, 0.0f, 0.0f, true), 2u);
    ASSERT_TRUE(box.Take(request));
    EXPECT_STREQ(request.path, "/music/b.wav");
    EXPECT_EQ(request.entryIndex, 4);
    EXPECT_TRUE(request.pause);
    EXPECT_EQ(request.serial, 2u);
    EXPECT_FALSE(box.Take(request));

    EXPECT_EQ(box.Post(nullptr, -1, 0, 0, false), 3u);
    ASSERT_TRUE(box.Take(request));
    EXPECT_STREQ(request.path, "");
    EXPECT_EQ(box.LatestSerial(), 3u);
}

TEST(LoadRequestBox, RefusesAPathThatWouldBeCut)
{
    CLoadRequestBox box;
    const std::string longPath(CLoadRequestBox::kMaxPath, 'x');
    EXPECT_EQ(box.Post(longPath.c_str(), 0, 0, 0, false), 0u);
    CLoadRequestBox::Request request;
    EXPECT_FALSE(box.Take(request));
}

TEST(LoadRequestBox, TwoWritersAndATakerNeverLoseTheNewestOrTearAPath)
{
    // Two writers (the user-interface and the audio thread) post while the loader takes. Every
    // taken request must be whole (path matches its entry), serials rise, and the last one
    // posted is the last one taken.
    CLoadRequestBox box;
    std::atomic<int> writersDone{0};
    auto writer = [&](int base) {
        for (int i = 0; i < 20000; ++i) {
            const int entry = base + i;
            const std::string path = "/t/" + std::to_string(entry) + ".wav";
            box.Post(path.c_str(), entry, 0, 0, false);
        }
        writersDone.fetch_add(1);
    };
    std::thread a(writer, 0);
    std::thread b(writer, 1000000);
    CLoadRequestBox::Request request;
    uint32_t lastSerial = 0;
    int taken = 0;
    bool whole = true;
    for (;;) {
        const bool done = writersDone.load() == 2;
        while (box.Take(request)) {
            ++taken;
            whole = whole && std::string(request.path) == "/t/" + std::to_string(request.entryIndex) + ".wav";
            whole = whole && request.serial > lastSerial;
            lastSerial = request.serial;
        }
        if (done)
            break;
    }
    a.join();
    b.join();
    EXPECT_TRUE(whole);
    EXPECT_GT(taken, 0);
    EXPECT_EQ(lastSerial, 40000u);
    EXPECT_EQ(box.LatestSerial(), 40000u);
}
