// The user-interface thread edits the lists while the audio thread plays them: what the audio
// thread reads comes from snapshots, what it reports comes back as events.
#include "AudioEngine.h"
#include "CoreEventQueue.h"
#include "CoreTestSupport.h"
#include "OfflineOutput.h"
#include "OutputDeviceInfo.h"
#include "OutputManager.h"
#include "PlayerCore.h"
#include "SnapshotBox.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <random>
#include <set>
#include <thread>

TEST(CoreEventQueue, AFullQueueDropsAndCountsWhatComesAfterAndKeepsTheOrder)
{
    CCoreEventQueue queue;
    for (int i = 0; i < 1500; ++i)
        queue.Push({CoreEvent::Type::TrackStarted, 0, i, 0, 0, nullptr});
    EXPECT_EQ(queue.TakeDropped(), 1500u - CCoreEventQueue::kCapacity);
    EXPECT_EQ(queue.TakeDropped(), 0u);
    CoreEvent event;
    for (int i = 0; i < static_cast<int>(CCoreEventQueue::kCapacity); ++i) {
        ASSERT_TRUE(queue.Pop(event));
        ASSERT_EQ(event.entryId, i);
    }
    EXPECT_FALSE(queue.Pop(event));
    // Room again once read.
    EXPECT_TRUE(queue.Push({CoreEvent::Type::EndOfList, -1, 7, 0, 0, nullptr}));
    ASSERT_TRUE(queue.Pop(event));
    EXPECT_EQ(event.type, CoreEvent::Type::EndOfList);
}

TEST(SnapshotBox, AReaderNeverSeesASnapshotFreedAndOldOnesGoOnceItMovesOn)
{
    CTempDir dir;
    CPlaylist list;
    CTimeLine timeLine;
    CSnapshotBox box;
    std::atomic<bool> done{false};
    std::atomic<uint64_t> entered{0};
    std::thread reader([&] {
        uint64_t last = 0;
        while (!done.load()) {
            const CPlaySnapshot* snapshot = box.Enter();
            if (snapshot == nullptr)
                continue;
            // Serials only rise, and the snapshot is whole: every track it names is there.
            ASSERT_GE(snapshot->Serial(), last);
            last = snapshot->Serial();
            for (int i = 0; i < snapshot->TrackCount(); ++i)
                ASSERT_EQ(snapshot->TrackById(snapshot->TrackAt(i)->id), snapshot->TrackAt(i));
            entered.fetch_add(1);
        }
    });
    for (uint64_t serial = 1; serial <= 3000; ++serial) {
        if (serial % 7 == 0)
            list.Clear();
        list.AddTrack(dir.Path("t" + std::to_string(serial) + ".wav"), false);
        box.Publish(CPlaySnapshot::Build(list, timeLine, 1, 0, 0, serial));
    }
    const uint64_t before = entered.load();
    while (entered.load() < before + 2)
        std::this_thread::yield();
    box.Reclaim();
    EXPECT_LE(box.Retired(), 1u);
    done.store(true);
    reader.join();
    box.SetReaderIdle();
    EXPECT_EQ(box.Retired(), 0u);
}

TEST(CoreThreading, ListEditsWhileAutomixChangesOverNeverHandTheAudioThreadAnEntryThatWasNotThere)
{
    CTempDir dir;
    std::vector<std::string> tracks;
    std::ofstream m3u(dir.Path("list.m3u"));
    for (int i = 0; i < 6; ++i) {
        tracks.push_back(WriteToneTrack(dir.Path("t" + std::to_string(i) + ".wav"), 300.0 + 100 * i, 3.0));
        m3u << tracks.back() << "\n";
    }
    m3u.close();
    CPlayerCore core;
    for (const std::string& track : tracks)
        core.List().AddTrack(track, true);
    core.Automix().SetFadeTime(1.0f); // 3 s tracks with 1 s fades: a change-over every 2 s
    core.Automix().SetRepeatAll(true);
    core.SetPlaybackMode(CPlayerCore::kAutomix);
    core.Engine().SetSynchronousLoading(true);

    // The audio thread: an offline master as fast as the machine goes.
    COutputManager manager;
    COutputDeviceInfo record;
    record.blockFrames = 1024;
    record.mainGroupMask = 1;
    CAudioEngine& engine = core.Engine();
    manager.OpenMaster(record, std::make_unique<COfflineOutput>([&engine] { engine.ServeRequestsNow(30); }));
    core.SetRunStop(true);
    std::thread audio([&] {
        ClientRecord client;
        manager.Start(core, client);
    });

    std::set<int32_t> everListed;
    auto noteListed = [&] {
        for (int i = 0; i < core.List().Count(); ++i)
            everListed.insert(core.List().Entry(i).id);
    };
    noteListed();
    std::vector<CoreEvent> events;
    std::mt19937 random(7);
    auto pick = [&](int count) {
        return count > 0 ? static_cast<int>(random() % static_cast<uint32_t>(count)) : 0;
    };
    for (int edit = 0; edit < 10000; ++edit) {
        const int count = core.List().Count();
        if (edit % 1000 == 999) {
            ASSERT_TRUE(core.OpenDocument(dir.Path("list.m3u")));
        } else if (edit % 500 == 250) {
            core.Case(edit % 4).AddTrack(tracks[static_cast<size_t>(edit % 6)], false);
        } else if (edit % 4 == 0 && count < 40) {
            core.AddToList(tracks[static_cast<size_t>(pick(6))], pick(count));
        } else if (edit % 4 == 1) {
            core.MoveInList(pick(count), pick(count));
        } else if (edit % 4 == 2 && count > 3) {
            core.RemoveFromList(pick(count), true);
        } else if (count > 0) {
            TrackEntry fields = core.List().Entry(pick(count));
            fields.cuePoints[0] = edit;
            fields.tempo = 120.0f + static_cast<float>(edit % 10);
            core.EditListEntry(pick(count), fields);
        }
        noteListed();
        core.PollEvents(&events);
    }
    // Let the audio thread go on a little past the last edit, so its last reports arrive.
    const size_t heardBefore = events.size();
    for (int i = 0; i < 100000 && events.size() < heardBefore + 4; ++i) {
        core.PollEvents(&events);
        std::this_thread::yield();
    }
    manager.Stop();
    audio.join();
    manager.Close();
    core.PollEvents(&events);

    int started = 0;
    for (const CoreEvent& event : events) {
        if (event.type == CoreEvent::Type::TrackStarted || event.type == CoreEvent::Type::TrackLoaded ||
            event.type == CoreEvent::Type::PlayTimeLearned) {
            EXPECT_TRUE(everListed.count(event.entryId) == 1) << "entry " << event.entryId;
        }
        started += event.type == CoreEvent::Type::TrackStarted ? 1 : 0;
        EXPECT_NE(event.type, CoreEvent::Type::TrackFailed) << "entry " << event.entryId;
    }
    EXPECT_GT(started, 10) << "the audio thread changed over while the lists were edited";
    EXPECT_EQ(core.TakeLostEvents(), 0u);
    // The lists end consistent: the Time Line holds every entry of its list, in its order.
    ASSERT_EQ(core.TimeLine().Count(), core.List().Count());
    for (int i = 0; i < core.List().Count(); ++i)
        EXPECT_EQ(core.TimeLine().Item(i)->track, core.List().Entry(i).id) << i;
}

TEST(CoreThreading, AWindowThatStallsLosesReportsButNeitherTheListsNorTheAudio)
{
    CTempDir dir;
    CPlayerCore core;
    for (int i = 0; i < 3; ++i)
        core.List().AddTrack(WriteToneTrack(dir.Path("t" + std::to_string(i) + ".wav"), 400.0 + 100 * i, 0.3),
                             true);
    core.Automix().SetFadeTime(0.0f);
    core.Automix().SetRepeatAll(true);
    core.SetPlaybackMode(CPlayerCore::kAutomix);
    core.Engine().SetSynchronousLoading(true);
    core.SetRunStop(true);
    // Two minutes of change-overs every 0.3 s with no one reading the reports, as when the
    // window hangs: the audio thread goes on, and what did not fit is counted.
    CAudioBus bus(44100, 1);
    ClientRecord record;
    uint8_t flags = 0;
    core.Start(flags);
    const uint32_t ticks = 120 * 44100 / 128;
    for (uint32_t t = 0; t < ticks; ++t) {
        core.Engine().ServeRequestsNow(30);
        core.Render(record, bus, 0, 1);
    }
    std::vector<CoreEvent> events;
    core.PollEvents(&events);
    EXPECT_EQ(events.size(), CCoreEventQueue::kCapacity);
    EXPECT_GT(core.TakeLostEvents(), 0u);
    EXPECT_TRUE(core.Engine().Deck(0).Playing() || core.Engine().Deck(1).Playing());
    // The lists are whole; reports flow again.
    ASSERT_EQ(core.List().Count(), 3);
    EXPECT_EQ(core.TimeLine().Count(), 3);
    for (uint32_t t = 0; t < 2 * 44100 / 128; ++t) {
        core.PollEvents(&events);
        core.Engine().ServeRequestsNow(30);
        core.Render(record, bus, 0, 1);
    }
    EXPECT_GT(events.size(), CCoreEventQueue::kCapacity);
    EXPECT_EQ(core.TakeLostEvents(), 0u);
    core.Stop(flags);
}

TEST(CoreThreading, APublicationEveryTickForAMinuteKeepsOneSnapshotWaiting)
{
    CTempDir dir;
    CPlayerCore core;
    for (int i = 0; i < 2; ++i)
        core.List().AddTrack(WriteToneTrack(dir.Path("t" + std::to_string(i) + ".wav"), 500.0, 40.0), true);
    core.SetPlaybackMode(CPlayerCore::kAutomix);
    CCoreRun run(core);
    core.SetRunStop(true);
    for (uint32_t t = 0; t < 60 * 44100 / 128; ++t) {
        TrackEntry fields = core.List().Entry(1);
        fields.cuePoints[1] = t;
        core.EditListEntry(1, fields);
        run.Tick();
        // The audio thread took the newest at its tick: the older ones are gone.
        ASSERT_LE(core.SnapshotsWaiting(), 1u) << t;
    }
    EXPECT_TRUE(core.Engine().Deck(0).Playing() || core.Engine().Deck(1).Playing());
    EXPECT_DOUBLE_EQ(core.List().Entry(1).cuePoints[1], 60 * 44100 / 128 - 1);
}
