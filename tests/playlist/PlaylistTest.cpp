#include "Playlist.h"

#include "CdDrive.h"
#include "CdReader.h"
#include "CdTestDisc.h"
#include "MediaDrives.h"
#include "PlaylistTestSupport.h"
#include "TempDir.h"
#include "TimeLine.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class PlaylistTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_drives.SetMountFolders({m_dir.Path("media")});
        m_drives.Scan();
    }
    std::string Track(const std::string& name, const Id3Fields* tag = nullptr)
    {
        const std::string path = m_dir.Path(name);
        WriteTrackFile(path, 4000, tag);
        return path;
    }

    CTempDir m_dir;
    CCdReader m_reader;
    CMediaDrives m_drives{m_reader};
};

} // namespace

TEST_F(PlaylistTest, AcceptsTheFiveTrackExtensionsInAnyCase)
{
    CPlaylist list(m_drives);
    struct Case {
        const char* name;
        bool accepted;
    } const cases[] = {
        {"a.MP3", true},  {"b.mp2", true},      {"c.Mp1", true},  {"d.WAV", true}, {"e.cda", true},
        {"f.ogg", false}, {"g.mp3.txt", false}, {"noext", false}, {".mp3", false}, {"h.flac", false},
    };
    for (const Case& c : cases) {
        const int index = list.AddTrack(m_dir.Path(c.name), false);
        EXPECT_EQ(index >= 0, c.accepted) << c.name;
        if (!c.accepted) {
            EXPECT_EQ(index, CPlaylist::kNotAccepted) << c.name;
        }
    }
    EXPECT_EQ(list.Count(), 5);
}

TEST_F(PlaylistTest, The1000thAddIsRefusedAsFull)
{
    CPlaylist list(m_drives);
    const std::string path = Track("x.mp3");
    for (int i = 0; i < CPlaylist::kMaxEntries; ++i)
        ASSERT_EQ(list.AddTrack(path, false), i);
    EXPECT_EQ(list.AddTrack(path, false), CPlaylist::kFull);
    EXPECT_EQ(list.AddTrack(m_dir.Path("y.ogg"), false), CPlaylist::kNotAccepted)
        << "the type is checked first";
    EXPECT_EQ(list.Count(), CPlaylist::kMaxEntries);
    EXPECT_EQ(list.AddCopy(list.Entry(0)), -1);
}

TEST_F(PlaylistTest, NewEntriesTakeDefaultsAndTheFileNameAsTitle)
{
    CPlaylist list(m_drives);
    const int index = list.AddTrack(Track("Some Song.mp3"), true);
    const TrackEntry& entry = list.Entry(index);
    EXPECT_EQ(entry.title, "Some Song");
    EXPECT_EQ(entry.location, m_dir.Path("Some Song.mp3"));
    EXPECT_TRUE(entry.exists);
    EXPECT_EQ(entry.genre, 255);
    EXPECT_EQ(entry.playTime, -1);
    EXPECT_EQ(entry.media, kMediaFixed);
    EXPECT_TRUE(list.Changed());

    const int missing = list.AddTrack(m_dir.Path("gone.wav"), true);
    EXPECT_FALSE(list.Entry(missing).exists) << "a missing file stays in the list";
    EXPECT_EQ(list.Entry(missing).title, "gone");
}

TEST_F(PlaylistTest, LooksForTheFileNextToTheListFirst)
{
    ASSERT_TRUE(MakeFolder(m_dir.Path("list")));
    ASSERT_TRUE(MakeFolder(m_dir.Path("old")));
    WriteTrackFile(m_dir.Path("list/song.mp3"));
    WriteTrackFile(m_dir.Path("old/song.mp3"));
    CPlaylist list(m_drives);
    const std::string folder = m_dir.Path("list") + "/";
    EXPECT_EQ(list.Entry(list.AddTrack(m_dir.Path("old/song.mp3"), false, folder)).location,
              folder + "song.mp3");
    // A list written on Windows: the name after the last backslash is looked for.
    const int windows = list.AddTrack("C:\\Music\\song.mp3", false, folder);
    EXPECT_EQ(list.Entry(windows).location, folder + "song.mp3");
    EXPECT_TRUE(list.Entry(windows).exists);
    // Not beside the list: the path as written.
    EXPECT_EQ(
        list.Entry(list.AddTrack(m_dir.Path("old/song.mp3"), false, m_dir.Path("old/../none/"))).location,
        m_dir.Path("old/song.mp3"));
}

TEST_F(PlaylistTest, AnExistingRelativeLocationBecomesAbsolute)
{
    const std::string path = Track("rel.mp3");
    char* cwd = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(m_dir.Root().c_str()), 0);
    CPlaylist list(m_drives);
    const int index = list.AddTrack("./rel.mp3", false);
    const int missing = list.AddTrack("./nothing.mp3", false);
    EXPECT_EQ(chdir(cwd), 0);
    free(cwd);
    EXPECT_EQ(list.Entry(index).location, path);
    EXPECT_EQ(list.Entry(missing).location, "./nothing.mp3");
}

TEST_F(PlaylistTest, ATrackOnARemovableDriveIsFoundOnAnother)
{
    for (const char* folder : {"media", "media/STICK_A", "media/STICK_B", "media/STICK_B/music"})
        ASSERT_TRUE(MakeFolder(m_dir.Path(folder)));
    WriteTrackFile(m_dir.Path("media/STICK_B/music/x.mp3"));
    m_drives.Scan();
    ASSERT_EQ(m_drives.RemovableDrives().size(), 2u);

    CPlaylist list(m_drives);
    const int index = list.AddTrack(m_dir.Path("media/STICK_A/music/x.mp3"), false);
    EXPECT_EQ(list.Entry(index).media, kMediaRemovable);
    EXPECT_TRUE(list.Entry(index).exists);
    EXPECT_EQ(list.Entry(index).location, m_dir.Path("media/STICK_B/music/x.mp3"));

    // The stick comes back under its first name: a refresh follows it there.
    ASSERT_TRUE(MakeFolder(m_dir.Path("media/STICK_A/music")));
    ASSERT_EQ(rename(m_dir.Path("media/STICK_B/music/x.mp3").c_str(),
                     m_dir.Path("media/STICK_A/music/x.mp3").c_str()),
              0);
    EXPECT_EQ(list.Refresh(false), 0);
    EXPECT_EQ(list.Entry(index).location, m_dir.Path("media/STICK_A/music/x.mp3"));
    EXPECT_TRUE(list.Entry(index).exists);

    // A media hint from a list marks a track outside the mount folders removable too.
    EXPECT_EQ(list.Entry(list.AddTrack(Track("y.mp3"), false, {}, kMediaRemovable)).media, kMediaRemovable);
}

TEST_F(PlaylistTest, CdEntriesAreCheckedAgainstTheDisc)
{
    const CTestDisc disc({{true, 750}, {false, 300}, {true, 1500}});
    CCdDrive::SetDiscImage(disc.Write(m_dir.Root()));
    m_drives.Scan();
    ASSERT_EQ(m_drives.CdLetter(), 'D');
    CPlaylist list(m_drives);

    struct Case {
        const char* location;
        bool exists;
    } const cases[] = {
        {"E:\\Track01.cda", true},  // another drive letter: the CD drive's is taken
        {"D:\\Track02.cda", false}, // a data track
        {"D:\\Track03.cda", true},  {"D:\\Track04.cda", false}, {"D:\\Track3.cda", false},
    };
    for (const Case& c : cases) {
        const int index = list.AddTrack(c.location, true);
        ASSERT_GE(index, 0);
        EXPECT_EQ(list.Entry(index).exists, c.exists) << c.location;
        EXPECT_EQ(list.Entry(index).media, kMediaAudioCd);
        EXPECT_EQ(list.Entry(index).location[0], 'D');
    }

    CTimeLine line;
    line.SetDisplayMode(CTimeLine::kAtLeastMin);
    list.SetTimeLine(&line);
    EXPECT_EQ(list.FillFromCd(), 2);
    EXPECT_EQ(list.Entry(0).location, "D:\\Track01.cda");
    EXPECT_EQ(list.Entry(0).title, "CD Track 01");
    EXPECT_EQ(list.Entry(0).playTime, 10);
    EXPECT_EQ(list.Entry(1).location, "D:\\Track03.cda");
    EXPECT_EQ(list.Entry(1).trackNumber, 3);
    EXPECT_EQ(list.Entry(1).playTime, 20);
    EXPECT_EQ(line.Count(), 2);
    EXPECT_EQ(line.Item(1)->length, 20000);

    // The disc goes: refreshing with removal drops the CD entries even where locked.
    list.Entry(0).lock = true;
    m_reader.CloseAudioCd();
    CCdDrive::SetDiscImage("");
    list.AddTrack(Track("kept.mp3"), false);
    EXPECT_EQ(list.Refresh(false), 0);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Refresh(true), 1);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Entry(0).title, "kept");
    EXPECT_EQ(line.Count(), 1);
}

TEST_F(PlaylistTest, RemoveRefusesALockedEntryWithoutForce)
{
    CTimeLine line;
    CPlaylist list(m_drives);
    list.SetTimeLine(&line);
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        list.AddTrack(Track(name), false);
    ASSERT_EQ(line.Count(), 4);
    list.Entry(1).lock = true;
    list.SetCurrentIndex(3);

    EXPECT_EQ(list.Remove(1, false), 0);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.AllLockedPresent(), 1);
    ASSERT_EQ(remove(m_dir.Path("b.mp3").c_str()), 0);
    list.Refresh(false);
    EXPECT_EQ(list.AllLockedPresent(), 0);

    const int32_t lockedId = list.Entry(1).id;
    EXPECT_EQ(list.Remove(1, true), 1);
    EXPECT_EQ(list.CurrentIndex(), 2) << "the current entry moves up with the others";
    EXPECT_EQ(list.Entry(2).title, "d");
    int index = 0;
    EXPECT_FALSE(line.FindTrack(lockedId, index)) << "the Time Line item went with the entry";
    EXPECT_EQ(line.Count(), 3);

    list.Entry(0).lock = true;
    list.Unlock();
    EXPECT_EQ(list.Remove(0, false), 1);
}

TEST_F(PlaylistTest, MoveTakesTheCurrentIndexAlong)
{
    struct Case {
        int from;
        int to;
        int current; // current index after moving, from 2
        const char* order;
    } const cases[] = {
        {2, 0, 0, "cabde"}, {4, 0, 3, "eabcd"}, {0, 4, 1, "bcdea"}, {0, 1, 2, "bacde"}, {3, 4, 2, "abced"},
    };
    for (const Case& c : cases) {
        CPlaylist list(m_drives);
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"})
            list.AddTrack(m_dir.Path(name), false);
        list.SetCurrentIndex(2);
        list.Move(c.from, c.to);
        std::string order;
        for (int i = 0; i < list.Count(); ++i)
            order += list.Entry(i).title;
        EXPECT_EQ(order, c.order) << c.from << " -> " << c.to;
        EXPECT_EQ(list.CurrentIndex(), c.current) << c.from << " -> " << c.to;
    }
}

TEST_F(PlaylistTest, FindIsCaseInsensitiveAndWrapsOnce)
{
    CPlaylist list(m_drives);
    struct Fields {
        const char* title;
        const char* artist;
        const char* album;
    } const entries[] = {
        {"Morning Light", "The Tides", "Blue"},
        {"Night Drive", "Luma", "Roads"},
        {"Blue Morning", "Luma", "Light Years"},
    };
    for (const Fields& fields : entries) {
        TrackEntry& entry = list.Entry(list.AddTrack(m_dir.Path("t.mp3"), false));
        entry.title = fields.title;
        entry.artist = fields.artist;
        entry.album = fields.album;
    }
    struct Case {
        int start;
        const char* any;
        const char* title;
        const char* artist;
        const char* album;
        int found;
    } const cases[] = {
        {0, "BLUE", "", "", "", 0},  {1, "blue", "", "", "", 2},
        {2, "tides", "", "", "", 0}, {0, "", "", "luma", "", 1},
        {2, "", "", "luma", "", 2},  {0, "light", "", "luma", "", 2},
        {0, "", "night", "", "", 1}, {0, "", "", "", "years", 2},
        {0, "x", "", "", "", -1},    {0, "luma", "morning", "", "roads", -1},
        {7, "", "", "", "", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(list.Find(c.start, c.any, c.title, c.artist, c.album), c.found)
            << c.start << " " << c.any << "/" << c.title << "/" << c.artist << "/" << c.album;
    CPlaylist empty(m_drives);
    EXPECT_EQ(empty.Find(0, "", "", "", ""), -1);
}

TEST_F(PlaylistTest, IdsComeFromOneCounterForAllLists)
{
    CPlaylist first(m_drives);
    CPlaylist second(m_drives);
    CPlaylist::SetIdCounter(41);
    EXPECT_EQ(first.Entry(first.AddTrack(m_dir.Path("a.mp3"), false)).id, 42);
    EXPECT_EQ(second.Entry(second.AddTrack(m_dir.Path("b.mp3"), false)).id, 43);
    EXPECT_EQ(second.Entry(second.AddCopy(first.Entry(0))).id, 44);
    EXPECT_EQ(second.Entry(1).title, "a");
    ASSERT_NE(second.EntryById(44), nullptr);
    EXPECT_EQ(second.EntryById(44), &second.Entry(1));
    EXPECT_EQ(second.EntryById(42), nullptr) << "ids are looked up in their own list";
    CPlaylist::RaiseIdCounter(10);
    EXPECT_EQ(CPlaylist::IdCounter(), 44) << "raising never lowers";
    CPlaylist::SetIdCounter(INT32_MAX);
    EXPECT_EQ(CPlaylist::NextId(), 0) << "the counter starts again instead of going negative";
    EXPECT_EQ(CPlaylist::NextId(), 1);
}

TEST_F(PlaylistTest, PlayTimeIsLearnedWhenATrackLeavesADeck)
{
    CTimeLine line;
    line.SetDisplayMode(CTimeLine::kAtLeastMin);
    CPlaylist list(m_drives);
    list.SetTimeLine(&line);
    list.AddTrack(m_dir.Path("a.mp3"), false);
    list.AddTrack(m_dir.Path("b.mp3"), false);
    const int32_t id = list.Entry(0).id;
    EXPECT_EQ(line.Item(0)->length, 0);

    ASSERT_TRUE(list.LearnPlayTime(id, 245.5));
    EXPECT_EQ(list.Entry(0).playTime, 246);
    EXPECT_EQ(list.Entry(0).playCount, 1);
    EXPECT_EQ(line.Item(0)->length, 246000);
    EXPECT_EQ(line.Item(1)->start, 246000) << "later blocks move behind the longer one";
    ASSERT_TRUE(list.LearnPlayTime(id, 245.2));
    EXPECT_EQ(list.Entry(0).playCount, 2);
    EXPECT_FALSE(list.LearnPlayTime(9999999, 1.0));

    list.RebuildTimeLine();
    EXPECT_EQ(line.Count(), 2);
    EXPECT_EQ(line.Item(0)->length, 245000);
    EXPECT_EQ(line.Item(1)->length, 0) << "no play time, no length";
    list.Clear();
    EXPECT_EQ(line.Count(), 0);
    EXPECT_TRUE(list.Title().empty());
}

TEST_F(PlaylistTest, SelectionWalksTheMarkedEntries)
{
    CPlaylist list(m_drives);
    for (int i = 0; i < 5; ++i)
        list.AddTrack(m_dir.Path("s.mp3"), false);
    EXPECT_EQ(list.FirstSelected(), -1);
    list.SetSelected(1, true);
    list.SetSelected(3, true);
    EXPECT_EQ(list.FirstSelected(), 1);
    EXPECT_EQ(list.NextSelected(1), 3);
    EXPECT_EQ(list.NextSelected(3), -1);
    list.ClearSelection();
    EXPECT_EQ(list.FirstSelected(), -1);
}

TEST_F(PlaylistTest, AFolderOf1200TracksFillsTheListTo999)
{
    ASSERT_TRUE(MakeFolder(m_dir.Path("many")));
    for (int i = 0; i < 1200; ++i)
        WriteTrackFile(m_dir.Path("many/t" + std::to_string(i) + ".mp3"), 16);
    WriteFile(m_dir.Path("many/cover.jpg"), "jpeg");
    CPlaylist list(m_drives);
    EXPECT_EQ(list.AddFolder(m_dir.Path("many") + "/", false), CPlaylist::kMaxEntries);
    EXPECT_EQ(list.Count(), CPlaylist::kMaxEntries);
    EXPECT_EQ(list.AddFolder(m_dir.Path("many"), false), 0);
}

TEST_F(PlaylistTest, AddFolderEntersSubFoldersOnlyWhenAskedAndNeverLoops)
{
    for (const char* folder : {"root", "root/sub", "root/sub/deeper"})
        ASSERT_TRUE(MakeFolder(m_dir.Path(folder)));
    const Id3Fields tag{"Tagged", "Artist", "", "", 3, 17};
    WriteTrackFile(m_dir.Path("root/a.mp3"), 100, &tag);
    WriteTrackFile(m_dir.Path("root/sub/b.wav"));
    WriteTrackFile(m_dir.Path("root/sub/deeper/c.mp2"));
    WriteFile(m_dir.Path("root/sub/notes.txt"), "text");
    // A link back to the top would make a naive scan run forever.
    ASSERT_EQ(symlink(m_dir.Path("root").c_str(), m_dir.Path("root/sub/loop").c_str()), 0);

    CPlaylist flat(m_drives);
    EXPECT_EQ(flat.AddFolder(m_dir.Path("root"), false), 1);
    EXPECT_EQ(flat.Entry(0).title, "Tagged") << "folder imports read tags";
    EXPECT_EQ(flat.Entry(0).trackNumber, 3);
    CPlaylist deep(m_drives);
    EXPECT_EQ(deep.AddFolder(m_dir.Path("root"), true), 3);
    EXPECT_EQ(deep.AddFolder(m_dir.Path("nowhere"), true), 0);
}
