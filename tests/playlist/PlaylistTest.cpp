#include "Playlist.h"

#include "CdDrive.h"
#include "CdReader.h"
#include "CdTestDisc.h"
#include "ListLoadReport.h"
#include "M3uPlaylist.h"
#include "MediaDrives.h"
#include "PlaylistTestSupport.h"
#include "TempDir.h"
#include "TimeLine.h"
#include "XmlPlaylist.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
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

TEST_F(PlaylistTest, AcceptsTheTrackExtensionsInAnyCase)
{
    CPlaylist list(m_drives);
    struct Case {
        const char* name;
        bool accepted;
    } const cases[] = {
        {"a.MP3", true},      {"b.mp2", true},  {"c.Mp1", true}, {"d.WAV", true},       {"e.cda", true},
        {"f.ogg", true},      {"h.FLAC", true}, {"i.oga", true}, {"j.opus", true},      {"k.M4A", true},
        {"l.mp4", true},      {"m.aac", true},  {"n.aif", true}, {"o.Aiff", true},      {"p.wma", true},
        {"g.mp3.txt", false}, {"noext", false}, {".mp3", false}, {"q.flac.bak", false}, {"r.m4v", false},
        {"s.qzl", false},     {"t.m3u", false},
    };
    int accepted = 0;
    for (const Case& c : cases) {
        const int index = list.AddTrack(m_dir.Path(c.name), false);
        EXPECT_EQ(index >= 0, c.accepted) << c.name;
        if (!c.accepted) {
            EXPECT_EQ(index, CPlaylist::kNotAccepted) << c.name;
        }
        accepted += c.accepted ? 1 : 0;
    }
    EXPECT_EQ(list.Count(), accepted);
}

TEST_F(PlaylistTest, FoldersListsAndSavedListsCarryTheNewFormats)
{
    ASSERT_TRUE(MakeFolder(m_dir.Path("root")));
    for (const char* name : {"a.flac", "b.ogg", "c.m4a", "d.opus", "e.aiff", "cover.jpg"})
        ASSERT_TRUE(WriteFile(m_dir.Path(std::string("root/") + name), "not really audio"));
    CPlaylist folder(m_drives);
    EXPECT_EQ(folder.AddFolder(m_dir.Path("root"), false), 5);

    ASSERT_TRUE(WriteFile(m_dir.Path("root/list.m3u"), "#EXTM3U\na.flac\nd.opus\ncover.jpg\n"));
    CPlaylist m3u(m_drives);
    ASSERT_TRUE(CM3uPlaylist::LoadM3u(m3u, m_dir.Path("root/list.m3u"), false));
    ASSERT_EQ(m3u.Count(), 2);
    EXPECT_EQ(m3u.Entry(1).location, m_dir.Path("root/d.opus"));

    // A saved list keeps them, and reads back as before.
    ASSERT_TRUE(CXmlPlaylist::Save(folder, m_dir.Path("list.qzl")));
    CPlaylist loaded(m_drives);
    ASSERT_TRUE(CXmlPlaylist::Load(loaded, m_dir.Path("list.qzl"), false));
    ASSERT_EQ(loaded.Count(), 5);
    EXPECT_EQ(loaded.Entry(0).location, m_dir.Path("root/a.flac"));
    EXPECT_TRUE(loaded.Entry(0).exists);
}

TEST_F(PlaylistTest, The1000thAddIsRefusedAsFull)
{
    CPlaylist list(m_drives);
    const std::string path = Track("x.mp3");
    for (int i = 0; i < CPlaylist::kMaxEntries; ++i)
        ASSERT_EQ(list.AddTrack(path, false), i);
    EXPECT_EQ(list.AddTrack(path, false), CPlaylist::kFull);
    EXPECT_EQ(list.AddTrack(m_dir.Path("y.txt"), false), CPlaylist::kNotAccepted)
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

namespace {

// Folders nested under root with names of 200 characters, deeper than any path may be long
// (PATH_MAX), with a track at the bottom. Made and removed through descriptors, since no path
// reaches the bottom.
class CDeepFolders {
public:
    static constexpr int kLevels = 24;

    explicit CDeepFolders(const std::string& root) : m_root(root)
    {
        int parent = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int level = 0; level < kLevels && parent >= 0; ++level) {
            m_made += mkdirat(parent, Name().c_str(), 0755) == 0 ? 1 : 0;
            const int child = openat(parent, Name().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            close(parent);
            parent = child;
        }
        if (parent >= 0) {
            const int track = openat(parent, "deep.mp3", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            m_track = track >= 0 && write(track, "ID3", 3) == 3;
            if (track >= 0)
                close(track);
            close(parent);
        }
    }
    ~CDeepFolders()
    {
        // Bottom up: open the chain, then remove each level from its parent.
        std::vector<int> chain{open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        for (int level = 0; level < m_made && chain.back() >= 0; ++level)
            chain.push_back(openat(chain.back(), Name().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (chain.back() >= 0)
            unlinkat(chain.back(), "deep.mp3", 0);
        for (size_t i = chain.size() - 1; i > 0; --i) {
            if (chain[i] >= 0)
                close(chain[i]);
            if (chain[i - 1] >= 0)
                unlinkat(chain[i - 1], Name().c_str(), AT_REMOVEDIR);
        }
        if (chain[0] >= 0)
            close(chain[0]);
    }
    CDeepFolders(const CDeepFolders&) = delete;
    CDeepFolders& operator=(const CDeepFolders&) = delete;

    bool Made() const { return m_made == kLevels && m_track; }
    static std::string Name() { return std::string(200, 'd'); }

private:
    std::string m_root;
    int m_made = 0;
    bool m_track = false;
};

} // namespace

TEST_F(PlaylistTest, AFifoNamedLikeATrackIsNoTrack)
{
    const std::string fifo = m_dir.Path("pipe.mp3");
    ASSERT_TRUE(MakeFifo(fifo));
    CPlaylist list(m_drives);
    int index = -1;
    ASSERT_TRUE(ReturnsWithin([&] { index = list.AddTrack(fifo, true); }, fifo));
    ASSERT_GE(index, 0) << "the entry stays, as for a missing file";
    EXPECT_FALSE(list.Entry(index).exists);
    EXPECT_EQ(list.Entry(index).title, "pipe");
    bool found = true;
    ASSERT_TRUE(ReturnsWithin([&] { found = list.Recheck(list.Entry(index)); }, fifo));
    EXPECT_FALSE(found);
    EXPECT_EQ(list.AllLockedPresent(), 1);
}

TEST_F(PlaylistTest, NamesWhoseStatusCannotBeReadAreMissingEntries)
{
    ASSERT_EQ(symlink("loop.mp3", m_dir.Path("loop.mp3").c_str()), 0);
    const std::string paths[] = {
        m_dir.Path("loop.mp3"),
        m_dir.Path(OverlongName(".mp3")),
        m_dir.Path(OverlongName("") + "/x.wav"),
        OverlongName(".mp3"),
    };
    CPlaylist list(m_drives);
    for (const std::string& path : paths) {
        int index = -1;
        EXPECT_NO_THROW(index = list.AddTrack(path, true, m_dir.Root() + "/"));
        ASSERT_GE(index, 0);
        EXPECT_FALSE(list.Entry(index).exists);
        EXPECT_EQ(list.Entry(index).location, path) << "a name never found is kept as written";
    }
    EXPECT_NO_THROW(list.Refresh(false));
    ListLoadReport report;
    int added = -1;
    EXPECT_NO_THROW(added = list.AddFolder(m_dir.Path(OverlongName("")), true, &report));
    EXPECT_EQ(added, 0);
    ASSERT_EQ(report.dropped.size(), 1u);
    EXPECT_EQ(report.dropped[0].reason.rfind(ListLoadReport::kUnreadableFolder, 0), 0u)
        << report.dropped[0].reason;
}

TEST_F(PlaylistTest, AFolderImportReportsTrackNamesItCannotTakeAndNothingElse)
{
    for (const char* folder : {"root", "root/sub"})
        ASSERT_TRUE(MakeFolder(m_dir.Path(folder)));
    WriteTrackFile(m_dir.Path("root/a.mp3"));
    WriteTrackFile(m_dir.Path("root/sub/b.mp3"));
    ASSERT_TRUE(WriteFile(m_dir.Path("root/cover.jpg"), "jpeg"));
    ASSERT_TRUE(WriteFile(m_dir.Path("root/list.m3u"), "a.mp3\n"));
    ASSERT_TRUE(MakeFifo(m_dir.Path("root/pipe.wav")));
    ASSERT_TRUE(MakeFifo(m_dir.Path("root/pipe.txt")));
    ASSERT_EQ(symlink("loop.mp3", m_dir.Path("root/loop.mp3").c_str()), 0);
    ASSERT_EQ(symlink("notes", m_dir.Path("root/notes").c_str()), 0);
    ASSERT_EQ(symlink("gone.mp2", m_dir.Path("root/sub/dangling.mp2").c_str()), 0);
    const CDeepFolders deep(m_dir.Path("root/sub"));
    ASSERT_TRUE(deep.Made());

    CPlaylist list(m_drives);
    ListLoadReport report;
    int added = -1;
    ASSERT_TRUE(ReturnsWithin([&] { added = list.AddFolder(m_dir.Path("root"), true, &report); },
                              m_dir.Path("root/pipe.wav")));
    EXPECT_EQ(added, 2);
    std::vector<std::string> locations;
    std::vector<std::string> reasons;
    for (const ListLoadReport::Dropped& dropped : report.dropped) {
        locations.push_back(dropped.location.substr(0, std::min<size_t>(dropped.location.size(), 400)));
        reasons.push_back(dropped.reason.substr(0, dropped.reason.find(':')));
    }
    std::string tooDeep = m_dir.Path("root/sub");
    while (tooDeep.size() < PATH_MAX)
        tooDeep += "/" + CDeepFolders::Name();
    const std::vector<std::string> expectedLocations = {
        m_dir.Path("root/loop.mp3"),
        m_dir.Path("root/pipe.wav"),
        m_dir.Path("root/sub/dangling.mp2"),
        tooDeep.substr(0, 400),
    };
    const std::vector<std::string> expectedReasons = {
        ListLoadReport::kUnreadable,
        ListLoadReport::kNotRegularFile,
        ListLoadReport::kUnreadable,
        ListLoadReport::kUnreadableFolder,
    };
    EXPECT_EQ(locations, expectedLocations);
    EXPECT_EQ(reasons, expectedReasons);
    ASSERT_EQ(report.dropped.size(), 4u);
    EXPECT_EQ(report.dropped.back().location, tooDeep);
    EXPECT_NE(report.dropped[0].reason.find(": "), std::string::npos) << "the system says why";
}

TEST_F(PlaylistTest, AFolderImportCountsTheTracksBeyondThe999)
{
    for (const char* folder : {"many", "many/sub"})
        ASSERT_TRUE(MakeFolder(m_dir.Path(folder)));
    for (int i = 0; i < 1000; ++i)
        WriteTrackFile(m_dir.Path("many/t" + std::to_string(i) + ".mp3"), 16);
    for (int i = 0; i < 5; ++i)
        WriteTrackFile(m_dir.Path("many/sub/s" + std::to_string(i) + ".wav"), 16);
    WriteFile(m_dir.Path("many/sub/cover.jpg"), "jpeg");
    CPlaylist list(m_drives);
    ListLoadReport report;
    EXPECT_EQ(list.AddFolder(m_dir.Path("many"), true, &report), CPlaylist::kMaxEntries);
    EXPECT_EQ(list.Entry(998).title, "t998") << "taken in name order";
    EXPECT_EQ(report.beyondLimit, 6);
    EXPECT_TRUE(report.dropped.empty());

    ListLoadReport again;
    EXPECT_EQ(list.AddFolder(m_dir.Path("many"), false, &again), 0);
    EXPECT_EQ(again.beyondLimit, 1000);
}

TEST_F(PlaylistTest, AFolderImportTakesNamesInOrderFilesBeforeSubFolders)
{
    for (const char* folder : {"box", "box/Disc 10", "box/disc 2", "box/Disc 1", "box/0 early"})
        ASSERT_TRUE(MakeFolder(m_dir.Path(folder)));
    for (const char* name :
         {"Track 10.mp3", "track 2.mp3", "Track 1.mp3", "B.mp3", "a.wav", "Track 02.mp3", "Disc 10/z.mp3",
          "Disc 10/y.mp3", "disc 2/x.mp3", "Disc 1/w.mp3", "0 early/v.mp3"})
        WriteTrackFile(m_dir.Path(std::string("box/") + name), 16);
    CPlaylist list(m_drives);
    ASSERT_EQ(list.AddFolder(m_dir.Path("box"), true), 11);
    std::vector<std::string> titles;
    for (int i = 0; i < list.Count(); ++i)
        titles.push_back(list.Entry(i).title);
    const std::vector<std::string> expected = {"a", "B", "Track 1", "Track 02", "track 2", "Track 10",
                                               "v", "w", "x",       "y",        "z"};
    EXPECT_EQ(titles, expected);
}
