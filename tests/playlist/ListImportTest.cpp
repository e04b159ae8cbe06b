#include "ListImport.h"

#include "CdReader.h"
#include "ListLoadReport.h"
#include "MediaDrives.h"
#include "Playlist.h"
#include "PlaylistTestSupport.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Generous: a sanitizer build on a busy machine is slow, and a working import ends far sooner.
constexpr auto kDeadline = 120s;

// Polls a condition that another thread makes true; false when the deadline passes first.
template <typename Condition> bool WaitFor(Condition condition)
{
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Tells the waiting test thread when an import calls its finished hook.
class CFinishedSignal {
public:
    std::function<void()> Hook()
    {
        return [this] {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_finished = true;
            m_changed.notify_all();
        };
    }
    bool Wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kDeadline, [this] { return m_finished; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_finished = false;
};

class ListImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_drives.SetMountFolders({m_dir.Path("media")});
        m_drives.Scan();
    }

    // Folder name/ with count files t0 .. t<count-1>: MP3 stand-ins and small WAV files in turn.
    std::string TrackFolder(const std::string& name, int count)
    {
        const std::string folder = m_dir.Path(name);
        EXPECT_TRUE(MakeFolder(folder));
        const std::vector<int16_t> samples(8, 1000);
        for (int i = 0; i < count; ++i) {
            const std::string stem = folder + "/t" + std::to_string(i);
            if (i % 2 == 0)
                WriteTrackFile(stem + ".mp3", 16);
            else
                EXPECT_TRUE(WriteStereoWav16(stem + ".wav", samples, samples));
        }
        return folder;
    }

    CListImport::Result Import(std::vector<std::string> items, bool includeSubFolders = true)
    {
        CListImport import;
        CFinishedSignal finished;
        import.Start(std::move(items), includeSubFolders, finished.Hook());
        EXPECT_TRUE(finished.Wait()) << "the import never finished";
        EXPECT_TRUE(import.Done());
        EXPECT_EQ(import.ItemsDone(), import.ItemsTotal());
        return import.TakeResult();
    }

    static std::vector<std::string> Locations(const std::vector<TrackEntry>& entries)
    {
        std::vector<std::string> locations;
        for (const TrackEntry& entry : entries)
            locations.push_back(entry.location);
        return locations;
    }

    CTempDir m_dir;
    CCdReader m_reader;
    CMediaDrives m_drives{m_reader};
};

} // namespace

TEST_F(ListImportTest, AFolderOf1200TracksGives999InNameOrderAndCountsTheRest)
{
    const std::string folder = TrackFolder("many", 1200);
    ASSERT_TRUE(WriteFile(folder + "/cover.jpg", "jpeg"));

    // Before the import: the worker's hook must not outlive it.
    CFinishedSignal finished;
    CListImport import;
    import.Start({folder + "/"}, true, finished.Hook());
    ASSERT_TRUE(finished.Wait());
    EXPECT_EQ(import.FilesSeen(), 1201);
    EXPECT_EQ(import.TracksFound(), 1200);
    const CListImport::Result result = import.TakeResult();

    ASSERT_EQ(result.entries.size(), 999u);
    for (int i = 0; i < 999; ++i) {
        const TrackEntry& entry = result.entries[static_cast<size_t>(i)];
        ASSERT_EQ(entry.title, "t" + std::to_string(i)) << "taken in name order, t2 before t10";
        EXPECT_TRUE(entry.exists);
        EXPECT_EQ(entry.id, 0) << "ids are handed out on the user thread only";
    }
    EXPECT_EQ(result.report.beyondLimit, 201);
    EXPECT_TRUE(result.report.dropped.empty()) << "the cover is no loss";
    EXPECT_FALSE(result.cancelled);
    EXPECT_TRUE(import.TakeResult().entries.empty()) << "a result is taken once";
}

TEST_F(ListImportTest, AppendedEntriesMatchWhatAddTrackMakesUnderFreshIds)
{
    Id3Fields tag;
    tag.title = "Tagged";
    tag.artist = "Someone";
    tag.album = "Album";
    tag.comment = "Note";
    tag.track = 7;
    tag.genre = 17;
    ASSERT_TRUE(MakeFolder(m_dir.Path("media")) && MakeFolder(m_dir.Path("media/stick")));
    const std::vector<std::string> paths = {
        m_dir.Path("tagged.mp3"),
        m_dir.Path("plain.WAV"),
        m_dir.Path("media/stick/away.mp2"),
        m_dir.Path("Track01.cda"),
    };
    WriteTrackFile(paths[0], 400, &tag);
    WriteTrackFile(paths[1], 400);
    WriteTrackFile(paths[2], 400);
    WriteTrackFile(paths[3], 44);

    CPlaylist byAddTrack(m_drives);
    for (const std::string& path : paths)
        ASSERT_GE(byAddTrack.AddTrack(path, true), 0);
    CListImport::Result result = Import(paths);
    CPlaylist imported(m_drives);
    const int32_t before = CPlaylist::IdCounter();
    ASSERT_EQ(CListImport::AppendTo(imported, result.entries, result.report), 4);
    EXPECT_TRUE(imported.Changed());

    std::set<int32_t> ids;
    for (int i = 0; i < 4; ++i) {
        const TrackEntry& a = byAddTrack.Entry(i);
        const TrackEntry& b = imported.Entry(i);
        EXPECT_EQ(b.location, a.location);
        EXPECT_EQ(b.title, a.title);
        EXPECT_EQ(b.artist, a.artist);
        EXPECT_EQ(b.album, a.album);
        EXPECT_EQ(b.comment, a.comment);
        EXPECT_EQ(b.trackNumber, a.trackNumber);
        EXPECT_EQ(b.genre, a.genre);
        EXPECT_EQ(b.media, a.media) << b.location;
        EXPECT_EQ(b.exists, a.exists);
        EXPECT_EQ(b.playTime, a.playTime);
        EXPECT_GT(b.id, before);
        ids.insert(b.id);
    }
    EXPECT_EQ(ids.size(), 4u);
    EXPECT_EQ(imported.Entry(0).title, "Tagged");
    EXPECT_EQ(imported.Entry(2).media, kMediaRemovable);
    EXPECT_EQ(imported.Entry(3).media, kMediaAudioCd);
}

TEST_F(ListImportTest, AppendingStopsAt999AndCountsWhatDidNotFit)
{
    const std::string folder = TrackFolder("more", 150);
    WriteTrackFile(m_dir.Path("old.mp3"), 16);
    CPlaylist list(m_drives);
    for (int i = 0; i < 900; ++i)
        ASSERT_GE(list.AddTrack(m_dir.Path("old.mp3"), false), 0);

    CListImport::Result result = Import({folder});
    ASSERT_EQ(result.entries.size(), 150u);
    EXPECT_EQ(result.report.beyondLimit, 0);
    EXPECT_EQ(CListImport::AppendTo(list, result.entries, result.report), 99);
    EXPECT_EQ(list.Count(), CPlaylist::kMaxEntries);
    EXPECT_EQ(result.report.beyondLimit, 51);
    EXPECT_EQ(list.Entry(900).title, "t0");
    EXPECT_EQ(list.Entry(998).title, "t98");

    std::set<int32_t> ids;
    for (int i = 0; i < list.Count(); ++i)
        ids.insert(list.Entry(i).id);
    EXPECT_EQ(ids.size(), 999u) << "every entry has an id of its own";
    EXPECT_EQ(CListImport::AppendTo(list, result.entries, result.report), 0);
    EXPECT_EQ(result.report.beyondLimit, 51 + 150);
}

TEST_F(ListImportTest, LinksAreFollowedButALoopEndsAndEachFolderIsTakenOnce)
{
    for (const char* folder : {"root", "root/sub", "outside"})
        ASSERT_TRUE(MakeFolder(m_dir.Path(folder)));
    WriteTrackFile(m_dir.Path("root/a.mp3"), 16);
    WriteTrackFile(m_dir.Path("root/sub/b.mp3"), 16);
    WriteTrackFile(m_dir.Path("outside/c.mp3"), 16);
    ASSERT_EQ(symlink("..", m_dir.Path("root/sub/back").c_str()), 0);
    ASSERT_EQ(symlink(".", m_dir.Path("root/sub/self").c_str()), 0);
    ASSERT_EQ(symlink("../a.mp3", m_dir.Path("root/sub/alias.mp3").c_str()), 0);
    ASSERT_EQ(symlink("../outside", m_dir.Path("root/ext").c_str()), 0);
    ASSERT_EQ(symlink("../../outside", m_dir.Path("root/sub/ext again").c_str()), 0);

    const CListImport::Result result = Import({m_dir.Path("root")});
    const std::vector<std::string> expected = {
        m_dir.Path("root/a.mp3"),
        m_dir.Path("root/ext/c.mp3"),
        m_dir.Path("root/sub/alias.mp3"),
        m_dir.Path("root/sub/b.mp3"),
    };
    EXPECT_EQ(Locations(result.entries), expected);
    ASSERT_EQ(result.report.dropped.size(), 3u);
    EXPECT_EQ(result.report.dropped[0].location, m_dir.Path("root/sub/back"));
    EXPECT_EQ(result.report.dropped[0].reason, ListLoadReport::kLinkLoop);
    EXPECT_EQ(result.report.dropped[1].location, m_dir.Path("root/sub/ext again"));
    EXPECT_EQ(result.report.dropped[1].reason, ListLoadReport::kFolderTwice);
    EXPECT_EQ(result.report.dropped[2].location, m_dir.Path("root/sub/self"));
    EXPECT_EQ(result.report.dropped[2].reason, ListLoadReport::kLinkLoop);

    const CListImport::Result flat = Import({m_dir.Path("root")}, false);
    EXPECT_EQ(Locations(flat.entries), std::vector<std::string>{m_dir.Path("root/a.mp3")})
        << "sub-folders only when asked for";
    EXPECT_TRUE(flat.report.dropped.empty());
}

TEST_F(ListImportTest, ItemsThatCannotBeTakenAreReportedAndTheOthersKeepTheirOrder)
{
    ASSERT_TRUE(MakeFolder(m_dir.Path("album")));
    WriteTrackFile(m_dir.Path("album/one.mp3"), 16);
    ASSERT_TRUE(WriteFile(m_dir.Path("album/notes.txt"), "notes"));
    ASSERT_TRUE(MakeFifo(m_dir.Path("album/pipe.mp3")));
    WriteTrackFile(m_dir.Path("two.wav"), 16);
    WriteTrackFile(m_dir.Path("vanished.mp3"), 16);
    ASSERT_TRUE(MakeFolder(m_dir.Path("vanished folder")));
    ASSERT_TRUE(WriteFile(m_dir.Path("readme.txt"), "text"));
    ASSERT_TRUE(WriteFile(m_dir.Path("list.m3u"), "two.wav\n"));
    ASSERT_TRUE(MakeFifo(m_dir.Path("pipe.wav")));
    ASSERT_EQ(symlink("nowhere.mp3", m_dir.Path("dangling.mp3").c_str()), 0);
    // Dropped, then moved away before the scan reached them.
    ASSERT_EQ(std::remove(m_dir.Path("vanished.mp3").c_str()), 0);
    ASSERT_EQ(rmdir(m_dir.Path("vanished folder").c_str()), 0);

    const CListImport::Result result = Import({
        m_dir.Path("vanished.mp3"),
        m_dir.Path("album"),
        m_dir.Path("readme.txt"),
        m_dir.Path("vanished folder"),
        m_dir.Path("two.wav"),
        m_dir.Path("list.m3u"),
        m_dir.Path("pipe.wav"),
        m_dir.Path("dangling.mp3"),
        "",
    });
    EXPECT_EQ(Locations(result.entries),
              (std::vector<std::string>{m_dir.Path("album/one.mp3"), m_dir.Path("two.wav")}));
    struct Expected {
        std::string location;
        std::string reason; // up to the system's words
    };
    const std::vector<Expected> expected = {
        {m_dir.Path("vanished.mp3"), ListLoadReport::kGone},
        {m_dir.Path("album/pipe.mp3"), ListLoadReport::kNotRegularFile},
        {m_dir.Path("readme.txt"), ListLoadReport::kNotTrackType},
        {m_dir.Path("vanished folder"), ListLoadReport::kGone},
        {m_dir.Path("list.m3u"), ListLoadReport::kNotTrackType},
        {m_dir.Path("pipe.wav"), ListLoadReport::kNotRegularFile},
        {m_dir.Path("dangling.mp3"), ListLoadReport::kUnreadable},
        {"", ListLoadReport::kGone},
    };
    ASSERT_EQ(result.report.dropped.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const ListLoadReport::Dropped& dropped = result.report.dropped[i];
        EXPECT_EQ(dropped.location, expected[i].location) << i;
        EXPECT_EQ(dropped.reason.substr(0, dropped.reason.find(':')), expected[i].reason) << i;
    }
    EXPECT_NE(result.report.dropped[6].reason.find(": "), std::string::npos) << "the system says why";
}

TEST_F(ListImportTest, ARelativeItemIsTakenAgainstTheWorkingFolderOfTheDrop)
{
    WriteTrackFile(m_dir.Path("here.mp3"), 16);
    char* previous = getcwd(nullptr, 0);
    ASSERT_NE(previous, nullptr);
    ASSERT_EQ(chdir(m_dir.Root().c_str()), 0);
    CListImport import;
    import.Start({"./here.mp3"}, true);
    const int back = chdir(previous);
    std::free(previous);
    ASSERT_EQ(back, 0);
    const CListImport::Result result = import.TakeResult();
    EXPECT_EQ(Locations(result.entries), std::vector<std::string>{m_dir.Path("here.mp3")});
}

TEST_F(ListImportTest, CancelEndsABigScanAndTheImportCanStartAgain)
{
    const std::string folder = TrackFolder("big", 1200);
    // Four hundred drops of the same folder: far more work than the few names the worker
    // looks at between the first progress and the cancel.
    const std::vector<std::string> items(400, folder);

    // Before the import: the worker's hook must not outlive it.
    CFinishedSignal finished;
    CListImport import;
    import.Start(items, true, finished.Hook());
    ASSERT_TRUE(WaitFor([&] { return import.ItemsDone() > 0; }));
    import.Cancel();
    ASSERT_TRUE(finished.Wait()) << "the cancelled import never finished";
    EXPECT_TRUE(import.Done());
    EXPECT_LT(import.ItemsDone(), import.ItemsTotal());
    CListImport::Result result = import.TakeResult();
    EXPECT_TRUE(result.cancelled);
    ASSERT_EQ(result.entries.size(), 999u) << "the first item was done before the cancel";
    EXPECT_EQ(result.entries.back().title, "t998");

    // A running scan is cancelled and forgotten by a new start, and by the destructor.
    import.Start(items, true);
    ASSERT_TRUE(WaitFor([&] { return import.FilesSeen() > 0; }));
    import.Start({folder + "/t3.wav"}, true);
    result = import.TakeResult();
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(Locations(result.entries), std::vector<std::string>{folder + "/t3.wav"});

    auto running = std::make_unique<CListImport>();
    running->Start(items, true);
    ASSERT_TRUE(WaitFor([&] { return running->FilesSeen() > 0; }));
    running.reset();
}
