#include "M3uPlaylist.h"

#include "CdReader.h"
#include "ListLoadReport.h"
#include "MediaDrives.h"
#include "Playlist.h"
#include "PlaylistTestSupport.h"
#include "TempDir.h"
#include "TimeLine.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

class M3uPlaylistTest : public ::testing::Test {
protected:
    void SetUp() override { m_drives.SetMountFolders({m_dir.Path("media")}); }

    CTempDir m_dir;
    CCdReader m_reader;
    CMediaDrives m_drives{m_reader};
};

} // namespace

TEST_F(M3uPlaylistTest, ExtinfGivesTheNextPathItsTitleAndSeconds)
{
    const Id3Fields tag{"Tagged Title", "", "", "", 1, 0};
    WriteTrackFile(m_dir.Path("one.mp3"), 4000, &tag);
    WriteTrackFile(m_dir.Path("two.mp3"), 4000, &tag);
    WriteTrackFile(m_dir.Path("three.mp3"));
    WriteTrackFile(m_dir.Path("four.mp3"));
    ASSERT_TRUE(WriteFile(m_dir.Path("mix.m3u"), "#EXTM3U\r\n"
                                                 "#EXTINF:312,Artist - A title, with a comma\r\n"
                                                 "one.mp3\r\n"
                                                 "\r\n"
                                                 "two.mp3\r\n"
                                                 "#EXTINF:abc,Not numeric\n"
                                                 "three.mp3\n"
                                                 "#EXTINF:77,Lost on a skipped line\n"
                                                 "cover.jpg\n"
                                                 "four.mp3\n"
                                                 "# a comment\n"));
    CTimeLine line;
    line.SetDisplayMode(CTimeLine::kAtLeastMin);
    CPlaylist list(m_drives);
    list.SetTimeLine(&line);
    ASSERT_TRUE(CM3uPlaylist::LoadM3u(list, m_dir.Path("mix.m3u"), false));
    EXPECT_EQ(list.Title(), "mix");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Entry(0).title, "Artist - A title, with a comma");
    EXPECT_EQ(list.Entry(0).playTime, 312);
    EXPECT_EQ(list.Entry(1).title, "Tagged Title") << "without its own #EXTINF the tag names it";
    EXPECT_EQ(list.Entry(1).playTime, -1);
    EXPECT_EQ(list.Entry(2).title, "Not numeric");
    EXPECT_EQ(list.Entry(2).playTime, 0) << "atoi of text is 0, not unknown";
    EXPECT_EQ(list.Entry(3).title, "four") << "a skipped line used up the pending title";
    EXPECT_EQ(list.Entry(3).playTime, -1);
    EXPECT_TRUE(list.Entry(3).exists);

    ASSERT_EQ(line.Count(), 4);
    EXPECT_EQ(line.Item(0)->length, 312000);
    EXPECT_EQ(line.Item(2)->length, 0) << "a play time of 0 gives the item no length";
    EXPECT_EQ(line.Item(3)->track, list.Entry(3).id);
}

TEST_F(M3uPlaylistTest, PathsAreLookedForNextToTheListFirst)
{
    for (const char* folder : {"lists", "lists/sub", "other"})
        ASSERT_TRUE(MakeFolder(m_dir.Path(folder)));
    WriteTrackFile(m_dir.Path("lists/beside.mp3"));
    WriteTrackFile(m_dir.Path("lists/sub/beside.mp3"));
    WriteTrackFile(m_dir.Path("lists/sub/only.mp3"));
    WriteTrackFile(m_dir.Path("other/far.mp3"));
    ASSERT_TRUE(WriteFile(m_dir.Path("lists/l.m3u"), "sub/beside.mp3\n"
                                                     "sub\\only.mp3\n"
                                                     "sub/only.mp3\n" +
                                                         m_dir.Path("other/far.mp3") +
                                                         "\n"
                                                         "C:\\Music\\beside.mp3\n"
                                                         "missing.mp3\n"));
    CPlaylist list(m_drives);
    ASSERT_TRUE(CM3uPlaylist::LoadM3u(list, m_dir.Path("lists/l.m3u"), false));
    ASSERT_EQ(list.Count(), 6);
    EXPECT_EQ(list.Entry(0).location, m_dir.Path("lists/beside.mp3")) << "the name beside the list wins";
    EXPECT_EQ(list.Entry(1).location, m_dir.Path("lists/sub/only.mp3"));
    EXPECT_EQ(list.Entry(2).location, m_dir.Path("lists/sub/only.mp3"));
    EXPECT_EQ(list.Entry(3).location, m_dir.Path("other/far.mp3"));
    EXPECT_EQ(list.Entry(4).location, m_dir.Path("lists/beside.mp3"));
    EXPECT_FALSE(list.Entry(5).exists);

    // Appending keeps what is there.
    ASSERT_TRUE(CM3uPlaylist::LoadM3u(list, m_dir.Path("lists/l.m3u"), true));
    EXPECT_EQ(list.Count(), 12);
}

TEST_F(M3uPlaylistTest, AnUnreadableListLeavesTheListAlone)
{
    CPlaylist list(m_drives);
    list.AddTrack(m_dir.Path("kept.mp3"), false);
    list.SetTitle("title");
    EXPECT_FALSE(CM3uPlaylist::LoadM3u(list, m_dir.Path("missing.m3u"), false));
    EXPECT_FALSE(CM3uPlaylist::LoadM3u(list, m_dir.Root(), false));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Title(), "title");
}

TEST_F(M3uPlaylistTest, AWrittenListHoldsBareNamesOnlyForTracksBesideIt)
{
    ASSERT_TRUE(MakeFolder(m_dir.Path("lists")));
    ASSERT_TRUE(MakeFolder(m_dir.Path("far")));
    WriteTrackFile(m_dir.Path("lists/near.mp3"));
    WriteTrackFile(m_dir.Path("far/away.wav"));
    CPlaylist list(m_drives);
    list.AddTrack(m_dir.Path("lists/near.mp3"), false);
    list.AddTrack(m_dir.Path("far/away.wav"), false);
    list.AddTrack(m_dir.Path("lists/gone.mp3"), false);
    list.AddTrack("D:\\Track02.cda", false);
    const std::string path = m_dir.Path("lists/out.m3u");
    ASSERT_TRUE(WriteFile(path, "old contents\n"));
    ASSERT_TRUE(CM3uPlaylist::WriteM3u(list, path));
    EXPECT_EQ(ReadFile(path), "near.mp3\n" + m_dir.Path("far/away.wav") + "\n" +
                                  m_dir.Path("lists/gone.mp3") + "\nD:\\Track02.cda\n");

    // Read back, the same tracks.
    CPlaylist loaded(m_drives);
    ASSERT_TRUE(CM3uPlaylist::LoadM3u(loaded, path, false));
    ASSERT_EQ(loaded.Count(), 4);
    EXPECT_EQ(loaded.Entry(0).location, m_dir.Path("lists/near.mp3"));
    EXPECT_EQ(loaded.Entry(1).location, m_dir.Path("far/away.wav"));

    // A relative list path is taken from the working folder.
    char* cwd = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(m_dir.Path("lists").c_str()), 0);
    const bool written = CM3uPlaylist::WriteM3u(list, "relative.m3u");
    EXPECT_EQ(chdir(cwd), 0);
    free(cwd);
    ASSERT_TRUE(written);
    EXPECT_EQ(ReadFile(m_dir.Path("lists/relative.m3u")).rfind("near.mp3\n", 0), 0u);
}

TEST_F(M3uPlaylistTest, AFailedWriteKeepsThePreviousFile)
{
    CPlaylist list(m_drives);
    for (int i = 0; i < 300; ++i)
        list.AddTrack(m_dir.Path("track" + std::to_string(i) + ".mp3"), false);
    const std::string path = m_dir.Path("keep.m3u");
    ASSERT_TRUE(WriteFile(path, "previous.mp3\n"));
    {
        CFileSizeCap cap(2000);
        EXPECT_FALSE(CM3uPlaylist::WriteM3u(list, path));
    }
    EXPECT_EQ(ReadFile(path), "previous.mp3\n");
    EXPECT_EQ(FolderNames(m_dir.Root()), std::vector<std::string>{"keep.m3u"});
    EXPECT_FALSE(CM3uPlaylist::WriteM3u(list, m_dir.Path("no/folder.m3u")));
}

TEST_F(M3uPlaylistTest, AFifoIsNeitherAListNorATrack)
{
    const std::string fifoList = m_dir.Path("pipe.m3u");
    const std::string fifoTrack = m_dir.Path("pipe.mp3");
    ASSERT_TRUE(MakeFifo(fifoList));
    ASSERT_TRUE(MakeFifo(fifoTrack));
    CPlaylist list(m_drives);
    list.AddTrack(m_dir.Path("kept.mp3"), false);
    bool loaded = true;
    ASSERT_TRUE(ReturnsWithin([&] { loaded = CM3uPlaylist::LoadM3u(list, fifoList, false); }, fifoList));
    EXPECT_FALSE(loaded);
    ASSERT_EQ(list.Count(), 1) << "a refused list leaves the list alone";

    // Listed, the FIFO is reported and reading goes on.
    WriteTrackFile(m_dir.Path("after.mp3"));
    ASSERT_TRUE(WriteFile(m_dir.Path("l.m3u"), "pipe.mp3\nafter.mp3\n"));
    ListLoadReport report;
    ASSERT_TRUE(ReturnsWithin(
        [&] { loaded = CM3uPlaylist::LoadM3u(list, m_dir.Path("l.m3u"), false, &report); }, fifoTrack));
    EXPECT_TRUE(loaded);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Entry(0).title, "after");
    ASSERT_EQ(report.dropped.size(), 1u);
    EXPECT_EQ(report.dropped[0].location, "pipe.mp3");
    EXPECT_EQ(report.dropped[0].reason, ListLoadReport::kNotRegularFile);

    // Written out beside the FIFO, the track in it is not opened.
    list.AddTrack(fifoTrack, false);
    bool written = false;
    ASSERT_TRUE(
        ReturnsWithin([&] { written = CM3uPlaylist::WriteM3u(list, m_dir.Path("out.m3u")); }, fifoTrack));
    EXPECT_TRUE(written);
    EXPECT_EQ(ReadFile(m_dir.Path("out.m3u")), "after.mp3\n" + fifoTrack + "\n");
}

TEST_F(M3uPlaylistTest, EveryLineThatAddsNothingIsReportedWithItsReason)
{
    ASSERT_TRUE(MakeFolder(m_dir.Path("lists")));
    ASSERT_TRUE(MakeFolder(m_dir.Path("lists/Album")));
    ASSERT_TRUE(MakeFolder(m_dir.Path("lists/folder.mp3")));
    WriteTrackFile(m_dir.Path("lists/good.mp3"));
    ASSERT_TRUE(WriteFile(m_dir.Path("lists/cover.jpg"), "jpeg"));
    ASSERT_TRUE(WriteFile(m_dir.Path("lists/other.qzl"), "<QZL VERSION=\"3\"/>"));
    const std::vector<std::pair<std::string, const char*>> dropped = {
        {"l.m3u", ListLoadReport::kTheListItself},
        {m_dir.Path("lists/l.m3u"), ListLoadReport::kTheListItself},
        {"Album", ListLoadReport::kFolder},
        {"folder.mp3", ListLoadReport::kFolder},
        {"/dev/null", ListLoadReport::kDevice},
        {"other.qzl", ListLoadReport::kListInList},
        {"elsewhere/more.M3U", ListLoadReport::kListInList},
        {"mix.qzx", ListLoadReport::kListInList},
        {"cover.jpg", ListLoadReport::kNotTrackType},
        {"readme", ListLoadReport::kNotTrackType},
    };
    std::string text = "#EXTM3U\n";
    std::vector<std::pair<std::string, std::string>> expected;
    for (const auto& [line, reason] : dropped) {
        text += line + "\n";
        expected.emplace_back(line, reason);
    }
    // A line past any path length: cut, and reported rather than taken as a wrong name.
    const std::string longLine(1100 * 1024, 'a');
    text += longLine + ".mp3\r\n";
    text += "missing.mp3\ngood.mp3\n";
    ASSERT_TRUE(WriteFile(m_dir.Path("lists/l.m3u"), text));

    CPlaylist list(m_drives);
    ListLoadReport report;
    ASSERT_TRUE(CM3uPlaylist::LoadM3u(list, m_dir.Path("lists/l.m3u"), false, &report));
    ASSERT_EQ(list.Count(), 2) << "a missing track keeps its entry";
    EXPECT_FALSE(list.Entry(0).exists);
    EXPECT_TRUE(list.Entry(1).exists);
    ASSERT_EQ(report.dropped.size(), expected.size() + 1);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(report.dropped[i].location, expected[i].first);
        EXPECT_EQ(report.dropped[i].reason, expected[i].second) << expected[i].first;
    }
    EXPECT_EQ(report.dropped.back().reason, ListLoadReport::kLineTooLong);
    EXPECT_EQ(report.dropped.back().location.size(), size_t{1} << 20);
    EXPECT_EQ(report.beyondLimit, 0);
    EXPECT_FALSE(report.countingStopped);
}

TEST_F(M3uPlaylistTest, NamesWhoseStatusCannotBeReadStayAsMissingEntries)
{
    ASSERT_EQ(symlink("loop.mp3", m_dir.Path("loop.mp3").c_str()), 0);
    const std::string overlong = OverlongName(".mp3");
    ASSERT_TRUE(WriteFile(m_dir.Path("l.m3u"), "loop.mp3\n" + overlong + "\n" + m_dir.Path(overlong) + "\n" +
                                                   m_dir.Path("a/" + overlong + "/b.wav") + "\n"));
    CPlaylist list(m_drives);
    ListLoadReport report;
    bool loaded = false;
    EXPECT_NO_THROW(loaded = CM3uPlaylist::LoadM3u(list, m_dir.Path("l.m3u"), false, &report));
    ASSERT_TRUE(loaded);
    ASSERT_EQ(list.Count(), 4);
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_FALSE(list.Entry(i).exists) << list.Entry(i).location;
    EXPECT_TRUE(report.Empty());
    EXPECT_NO_THROW(list.Refresh(false));
    EXPECT_NO_THROW(loaded = CM3uPlaylist::LoadM3u(list, m_dir.Path(OverlongName(".m3u")), false));
    EXPECT_FALSE(loaded);
}

TEST_F(M3uPlaylistTest, LinesBeyondThe999AreCounted)
{
    CPlaylist list(m_drives);
    std::string text;
    for (int i = 0; i < 1200; ++i)
        text += "#EXTINF:1,t\nt" + std::to_string(i) + ".mp3\n";
    text += "cover.jpg\n";
    ASSERT_TRUE(WriteFile(m_dir.Path("many.m3u"), text));
    ListLoadReport report;
    ASSERT_TRUE(CM3uPlaylist::LoadM3u(list, m_dir.Path("many.m3u"), false, &report));
    EXPECT_EQ(list.Count(), CPlaylist::kMaxEntries);
    EXPECT_EQ(list.Entry(998).location, "t998.mp3");
    EXPECT_EQ(report.beyondLimit, 201);
    ASSERT_EQ(report.dropped.size(), 1u) << "past the 999 other lines are still told apart";
    EXPECT_EQ(report.dropped[0].reason, ListLoadReport::kNotTrackType);
    EXPECT_FALSE(report.countingStopped);

    // Appending to a full list counts every track line; a million lines on, counting stops.
    text.clear();
    for (int i = 0; i < ListLoadReport::kMaxCounted + 50; ++i)
        text += "a.mp3\n";
    ASSERT_TRUE(WriteFile(m_dir.Path("huge.m3u"), text));
    ListLoadReport more;
    ASSERT_TRUE(CM3uPlaylist::LoadM3u(list, m_dir.Path("huge.m3u"), true, &more));
    EXPECT_EQ(list.Count(), CPlaylist::kMaxEntries);
    EXPECT_EQ(more.beyondLimit, ListLoadReport::kMaxCounted);
    EXPECT_TRUE(more.countingStopped);
}

TEST_F(M3uPlaylistTest, ABareListNameLooksForTracksBesideTheList)
{
    ASSERT_TRUE(MakeFolder(m_dir.Path("moved")));
    WriteTrackFile(m_dir.Path("moved/song.mp3"));
    ASSERT_TRUE(WriteFile(m_dir.Path("moved/l.m3u"), "/old/place/song.mp3\n"));
    char* cwd = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(m_dir.Path("moved").c_str()), 0);
    CPlaylist list(m_drives);
    const bool loaded = CM3uPlaylist::LoadM3u(list, "l.m3u", false);
    EXPECT_EQ(chdir(cwd), 0);
    free(cwd);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Entry(0).location, m_dir.Path("moved/song.mp3"));
    EXPECT_TRUE(list.Entry(0).exists);
}
