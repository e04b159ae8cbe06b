#include "XmlPlaylist.h"

#include "CdReader.h"
#include "ListLoadReport.h"
#include "MediaDrives.h"
#include "MixReference.h"
#include "Playlist.h"
#include "PlaylistTestSupport.h"
#include "TempDir.h"
#include "TimeLine.h"
#include "XmlCursor.h"
#include "XmlDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class XmlPlaylistTest : public ::testing::Test {
protected:
    void SetUp() override { m_drives.SetMountFolders({m_dir.Path("media")}); }

    CTempDir m_dir;
    CCdReader m_reader;
    CMediaDrives m_drives{m_reader};
};

// Every field away from its default, titles beyond Latin-1 included.
void FillEntry(TrackEntry& entry, int n)
{
    entry.title = "T\xc3\xadtulo " + std::to_string(n) + " \xe6\x97\xa5\xe6\x9c\xac & <\"q\">";
    entry.artist = "K\xc3\xbcnstler";
    entry.album = "Album " + std::to_string(n);
    entry.trackNumber = n + 1;
    entry.cuePoints = {1234.5678, 0.0, 98765.4321012345, 1.0, 3600000.25};
    entry.fadeTime = 7.25f;
    entry.comment = "Line one\nline two \xe2\x82\xac";
    entry.genre = static_cast<uint8_t>(n * 10);
    entry.playTime = 200 + n;
    entry.tempo = 127.9f;
    entry.tempoQuality = 0.87f;
    entry.firstBeatMs = 123.456789 + n;
    entry.loudnessLufs = -9.25f - static_cast<float>(n);
    entry.truePeakDb = 0.5f;
    entry.audibleStartMs = 10.5;
    entry.audibleEndMs = 199000.25 + n;
    entry.lock = n % 2 == 0;
}

// The direct child elements' names, in order.
std::vector<std::string> ChildNames(const CXmlCursor& element)
{
    std::vector<std::string> names;
    for (CXmlCursor child = element.FirstChild(); child.Valid(); child = child.NextSibling())
        names.push_back(child.Name());
    return names;
}

} // namespace

TEST_F(XmlPlaylistTest, EveryFieldSurvivesARoundTrip)
{
    CPlaylist list(m_drives);
    list.SetTitle("My \xc3\xa9t\xc3\xa9 list");
    for (int n = 0; n < 3; ++n) {
        WriteTrackFile(m_dir.Path("track" + std::to_string(n) + ".mp3"));
        FillEntry(list.Entry(list.AddTrack(m_dir.Path("track" + std::to_string(n) + ".mp3"), false)), n);
    }
    list.Entry(2).media = kMediaRemovable;
    const std::string path = m_dir.Path("list.qzl");
    ASSERT_TRUE(CXmlPlaylist::Save(list, path));
    const std::string file = ReadFile(path);
    EXPECT_EQ(file.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", 0), 0u) << file;
    EXPECT_NE(file.find("&#26085;&#26412;"), std::string::npos) << "characters beyond Latin-1 as references";
    EXPECT_NE(file.find("K\xfcnstler"), std::string::npos) << "Latin-1 characters as single bytes";

    CTimeLine line;
    line.SetDisplayMode(CTimeLine::kAtLeastMin);
    CPlaylist loaded(m_drives);
    loaded.SetTimeLine(&line);
    ASSERT_TRUE(CXmlPlaylist::Load(loaded, path, false));
    EXPECT_EQ(loaded.Title(), list.Title());
    ASSERT_EQ(loaded.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const TrackEntry& a = list.Entry(i);
        const TrackEntry& b = loaded.Entry(i);
        EXPECT_EQ(b.id, a.id);
        EXPECT_EQ(b.location, a.location);
        EXPECT_TRUE(b.exists);
        EXPECT_EQ(b.title, a.title);
        EXPECT_EQ(b.artist, a.artist);
        EXPECT_EQ(b.album, a.album);
        EXPECT_EQ(b.trackNumber, a.trackNumber);
        EXPECT_EQ(b.cuePoints, a.cuePoints);
        EXPECT_EQ(b.fadeTime, a.fadeTime);
        EXPECT_EQ(b.comment, a.comment);
        EXPECT_EQ(b.genre, a.genre);
        EXPECT_EQ(b.playTime, a.playTime);
        EXPECT_EQ(b.tempo, a.tempo);
        EXPECT_NEAR(b.tempoQuality, 0.87f, 1e-6);
        EXPECT_EQ(b.firstBeatMs, a.firstBeatMs);
        EXPECT_EQ(b.loudnessLufs, a.loudnessLufs);
        EXPECT_EQ(b.truePeakDb, a.truePeakDb);
        EXPECT_EQ(b.audibleStartMs, a.audibleStartMs);
        EXPECT_EQ(b.audibleEndMs, a.audibleEndMs);
        EXPECT_EQ(b.lock, a.lock);
        EXPECT_EQ(b.media, a.media);
    }
    ASSERT_EQ(line.Count(), 3) << "loading rebuilds the Time Line";
    EXPECT_EQ(line.Item(1)->track, list.Entry(1).id);
    EXPECT_EQ(line.Item(1)->length, 201000);
}

TEST_F(XmlPlaylistTest, TheDocumentHasItsExactForm)
{
    CPlaylist list(m_drives);
    std::string text;
    ASSERT_TRUE(CXmlPlaylist::SaveToString(list, text));
    EXPECT_EQ(text, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                    "<QZL VERSION=\"3\">\n"
                    "  <HEAD PROGRAM=\"Quandel\" COMPANY=\"https://kelmaric.example/\"/>\n"
                    "  <PLAYLIST TITLE=\"\"/>\n"
                    "</QZL>\n");

    // An entry at its defaults is an ENTRY with its LOCATION alone.
    CPlaylist::SetIdCounter(11);
    list.AddTrack("/music/plain.mp3", false);
    ASSERT_TRUE(CXmlPlaylist::SaveToString(list, text));
    EXPECT_NE(text.find("<ENTRY TITLE=\"plain\" ARTIST=\"\" ID=\"12\" LOCK=\"0\">\n"
                        "      <LOCATION FILE=\"plain.mp3\" PATH=\"/music/\"/>\n"
                        "    </ENTRY>"),
              std::string::npos)
        << text;

    // Every optional element, in order, with its number forms.
    TrackEntry& entry = list.Entry(0);
    entry.album = "A";
    entry.trackNumber = 0;
    entry.playTime = 0;
    entry.genre = 200;
    entry.tempo = 120.0f;
    entry.tempoQuality = 0.999f;
    entry.cuePoints = {0.0, 0.0, 0.0, 0.0, 1500.0};
    entry.fadeTime = 0.1f;
    entry.comment = "c\x01";
    entry.media = kMediaAudioCd;
    ASSERT_TRUE(CXmlPlaylist::SaveToString(list, text));
    for (const char* expected :
         {"<LOCATION FILE=\"plain.mp3\" PATH=\"/music/\" MEDIA=\"AUDIO_CD\"/>", "<ALBUM TITLE=\"A\"/>",
          "<INFO GENRE_ID=\"-56\"/>", "<TEMPO BPM=\"120.\" BPM_QUALITY=\"99\"/>",
          "<CUE POINT1=\"0.\" POINT2=\"0.\" POINT3=\"0.\" POINT4=\"0.\" POINT5=\"1500.\"/>",
          "<FADE TIME=\"0.100000001\"/>", "<COMMENT>c?</COMMENT>"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    CXmlDocument document;
    ASSERT_TRUE(document.ParseMemory(text.data(), text.size()));
    const CXmlCursor element = document.Root().FirstChild().NextSibling().FirstChild();
    EXPECT_EQ(ChildNames(element),
              (std::vector<std::string>{"LOCATION", "ALBUM", "INFO", "TEMPO", "CUE", "FADE", "COMMENT"}));
}

TEST(XmlCursor, FloatsTakeTheirSignificantDigitsAndAWholeNumberPoint)
{
    struct Case {
        double value;
        int digits;
        const char* text;
    } const cases[] = {
        {120.0, 9, "120."},       {0.0, 15, "0."},           {0.5, 9, "0.5"},
        {0.1f, 9, "0.100000001"}, {127.9f, 9, "127.900002"}, {1234.5678, 15, "1234.5678"},
        {1e20, 9, "1.e+20"},      {-2.5, 9, "-2.5"},         {3600000.25, 15, "3600000.25"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CXmlCursor::FormatFloat(c.value, c.digits), c.text) << c.value;
}

TEST_F(XmlPlaylistTest, AListMovedWithItsTracksFindsThemInTheNewFolder)
{
    ASSERT_TRUE(MakeFolder(m_dir.Path("old")));
    WriteTrackFile(m_dir.Path("old/a.mp3"));
    WriteTrackFile(m_dir.Path("old/b.wav"));
    CPlaylist list(m_drives);
    list.AddTrack(m_dir.Path("old/a.mp3"), false);
    list.AddTrack(m_dir.Path("old/b.wav"), false);
    ASSERT_TRUE(CXmlPlaylist::Save(list, m_dir.Path("old/list.qzl")));
    ASSERT_EQ(rename(m_dir.Path("old").c_str(), m_dir.Path("new").c_str()), 0);

    CPlaylist loaded(m_drives);
    ASSERT_TRUE(CXmlPlaylist::Load(loaded, m_dir.Path("new/list.qzl"), false));
    ASSERT_EQ(loaded.Count(), 2);
    EXPECT_EQ(loaded.Entry(0).location, m_dir.Path("new/a.mp3"));
    EXPECT_EQ(loaded.Entry(1).location, m_dir.Path("new/b.wav"));
    EXPECT_TRUE(loaded.Entry(1).exists);
    EXPECT_EQ(loaded.Title(), "") << "the stored empty title wins over the file name";
}

TEST_F(XmlPlaylistTest, AListWrittenOnWindowsLoads)
{
    ASSERT_TRUE(MakeFolder(m_dir.Path("lists")));
    WriteTrackFile(m_dir.Path("lists/Caf\xc3\xa9.mp3"));
    // ISO-8859-1 bytes, CR LF lines, backslash paths.
    const std::string text = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
                             "<QZL VERSION=\"3\">\r\n"
                             "<HEAD PROGRAM=\"Quandel\" COMPANY=\"x\"/>\r\n"
                             "<PLAYLIST TITLE=\"Soir\xe9\x65\">\r\n"
                             "<ENTRY TITLE=\"Caf\xe9 del Mar\" ARTIST=\"\xc9lise\" ID=\"7\" LOCK=\"1\">\r\n"
                             "<LOCATION FILE=\"Caf\xe9.mp3\" PATH=\"C:\\Music\\\"/>\r\n"
                             "<TEMPO BPM=\"128.\" BPM_QUALITY=\"150\"/>\r\n"
                             "</ENTRY>\r\n"
                             "<ENTRY TITLE=\"Other\" ID=\"8\">\r\n"
                             "<LOCATION FILE=\"x.mp3\" PATH=\"D:\\\"/>\r\n"
                             "<TEMPO BPM=\"90.5\" BPM_QUALITY=\"-5\"/>\r\n"
                             "</ENTRY>\r\n"
                             "<ENTRY TITLE=\"Skipped\"><LOCATION FILE=\"x.txt\" PATH=\"D:\\\"/></ENTRY>\r\n"
                             "</PLAYLIST>\r\n"
                             "</QZL>\r\n";
    ASSERT_TRUE(WriteFile(m_dir.Path("lists/win.qzl"), text));
    CPlaylist list(m_drives);
    ASSERT_TRUE(CXmlPlaylist::Load(list, m_dir.Path("lists/win.qzl"), false));
    EXPECT_EQ(list.Title(), "Soir\xc3\xa9\x65");
    ASSERT_EQ(list.Count(), 2) << "the .txt entry is skipped";
    EXPECT_EQ(list.Entry(0).title, "Caf\xc3\xa9 del Mar");
    EXPECT_EQ(list.Entry(0).artist, "\xc3\x89lise");
    EXPECT_EQ(list.Entry(0).location, m_dir.Path("lists/Caf\xc3\xa9.mp3"));
    EXPECT_TRUE(list.Entry(0).exists);
    EXPECT_TRUE(list.Entry(0).lock);
    EXPECT_EQ(list.Entry(0).tempoQuality, 1.0f) << "150 is limited to 1.0";
    EXPECT_EQ(list.Entry(1).tempoQuality, 0.0f) << "-5 is limited to 0.0";
    EXPECT_EQ(list.Entry(1).tempo, 90.5f);
    EXPECT_EQ(list.Entry(1).location, "D:\\x.mp3");
    EXPECT_FALSE(list.Entry(1).exists);
}

TEST_F(XmlPlaylistTest, StoredIdsRaiseTheCounterAndAppendingGivesNewIds)
{
    WriteTrackFile(m_dir.Path("a.mp3"));
    const std::string text = "<QZL VERSION=\"1\"><PLAYLIST>"
                             "<ENTRY TITLE=\"a\" ID=\"5000\"><LOCATION FILE=\"a.mp3\" PATH=\"/x/\"/></ENTRY>"
                             "<ENTRY TITLE=\"b\" ID=\"5000\"><LOCATION FILE=\"b.mp3\" PATH=\"/x/\"/></ENTRY>"
                             "<ENTRY TITLE=\"c\" ID=\"-4\"><LOCATION FILE=\"c.mp3\" PATH=\"/x/\"/></ENTRY>"
                             "</PLAYLIST></QZL>";
    ASSERT_TRUE(WriteFile(m_dir.Path("ids.qzl"), text));
    CPlaylist::SetIdCounter(10);
    CPlaylist list(m_drives);
    ASSERT_TRUE(CXmlPlaylist::Load(list, m_dir.Path("ids.qzl"), false));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Entry(0).id, 5000);
    EXPECT_NE(list.Entry(1).id, 5000) << "a second entry with the same id gets its own";
    EXPECT_GE(list.Entry(2).id, 0);
    EXPECT_GE(CPlaylist::IdCounter(), 5000);
    EXPECT_EQ(list.Title(), "ids") << "without a stored title the file name names the list";

    ASSERT_TRUE(CXmlPlaylist::Load(list, m_dir.Path("ids.qzl"), true));
    ASSERT_EQ(list.Count(), 6);
    std::vector<int32_t> ids;
    for (int i = 0; i < list.Count(); ++i)
        ids.push_back(list.Entry(i).id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "ids stay unique";
    EXPECT_GT(list.Entry(3).id, 5000);
    EXPECT_EQ(list.Entry(3).title, "a");
}

TEST_F(XmlPlaylistTest, ANonListIsRefusedAndTheListKept)
{
    CPlaylist list(m_drives);
    list.AddTrack(m_dir.Path("keep.mp3"), false);
    struct Case {
        const char* name;
        const char* text;
    } const cases[] = {
        {"empty.qzl", ""},
        {"text.qzl", "just some text"},
        {"noversion.qzl", "<QZL><PLAYLIST/></QZL>"},
        {"broken.qzl", "<QZL VERSION=\"3\"><PLAYLIST><ENTRY></PLAYLIST>"},
        {"truncated.qzl", "<QZL VERSION=\"3\"><PLAY"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFile(m_dir.Path(c.name), c.text));
        EXPECT_FALSE(CXmlPlaylist::Load(list, m_dir.Path(c.name), false)) << c.name;
        EXPECT_EQ(CXmlPlaylist::Peek(m_dir.Path(c.name)), CXmlPlaylist::kNotAList) << c.name;
    }
    EXPECT_FALSE(CXmlPlaylist::Load(list, m_dir.Path("missing.qzl"), false));
    EXPECT_FALSE(CXmlPlaylist::Load(list, m_dir.Root(), false));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Entry(0).title, "keep");

    // Another root name and version still make a list.
    ASSERT_TRUE(WriteFile(m_dir.Path("other.qzl"), "<LIST VERSION=\"x\"/>"));
    EXPECT_TRUE(CXmlPlaylist::Load(list, m_dir.Path("other.qzl"), false));
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(XmlPlaylistTest, TheMixElementTravelsWithTheList)
{
    CPlaylist list(m_drives);
    list.AddTrack(m_dir.Path("t.mp3"), false);
    const MixReference mix{"Friday Mix \xc3\xa9", "Recorded live\nat home", "/home/dj/mixes/friday.qzx"};
    const std::string path = m_dir.Path("withmix.qzl");
    ASSERT_TRUE(CXmlPlaylist::Save(list, path, &mix));
    const std::string file = ReadFile(path);
    EXPECT_NE(
        file.find(
            "<MIX TITLE=\"Friday Mix \xe9\">\n    <LOCATION FILE=\"friday.qzx\" PATH=\"/home/dj/mixes/\"/>\n"
            "    <COMMENT>Recorded live\nat home</COMMENT>\n  </MIX>"),
        std::string::npos)
        << file;
    EXPECT_LT(file.find("<HEAD"), file.find("<MIX"));
    EXPECT_LT(file.find("<MIX"), file.find("<PLAYLIST"));

    std::string title;
    EXPECT_EQ(CXmlPlaylist::Peek(path, &title), CXmlPlaylist::kListWithMix);
    EXPECT_EQ(title, mix.title);

    MixReference read{"stale", "stale", "stale"};
    CPlaylist loaded(m_drives);
    ASSERT_TRUE(CXmlPlaylist::Load(loaded, path, false, &read));
    EXPECT_EQ(read.title, mix.title);
    EXPECT_EQ(read.comment, mix.comment);
    EXPECT_EQ(read.path, mix.path);
    EXPECT_EQ(loaded.Count(), 1);

    // Appending never touches the mix; a list without a mix clears it.
    ASSERT_TRUE(CXmlPlaylist::Load(loaded, path, true, &read));
    EXPECT_EQ(read.path, mix.path);
    ASSERT_TRUE(CXmlPlaylist::Save(list, path, nullptr));
    EXPECT_EQ(CXmlPlaylist::Peek(path), CXmlPlaylist::kList);
    ASSERT_TRUE(CXmlPlaylist::Load(loaded, path, false, &read));
    EXPECT_TRUE(read.path.empty());
    // A mix without a file is not written; one without a title is "untitled".
    const MixReference unsaved{"t", "c", ""};
    ASSERT_TRUE(CXmlPlaylist::Save(list, path, &unsaved));
    EXPECT_EQ(CXmlPlaylist::Peek(path), CXmlPlaylist::kList);
    const MixReference untitled{"", "", "/m/x.qzx"};
    ASSERT_TRUE(CXmlPlaylist::Save(list, path, &untitled));
    EXPECT_EQ(CXmlPlaylist::Peek(path, &title), CXmlPlaylist::kListWithMix);
    EXPECT_EQ(title, "untitled");

    // Windows paths: PATH ends in a backslash.
    ASSERT_TRUE(WriteFile(m_dir.Path("win.qzl"),
                          "<QZL VERSION=\"3\"><MIX TITLE=\"w\"><LOCATION FILE=\"m.qzx\" "
                          "PATH=\"C:\\Mixes\\\"/><COMMENT>one<![CDATA[ two]]></COMMENT>"
                          "</MIX></QZL>"));
    ASSERT_TRUE(CXmlPlaylist::Load(loaded, m_dir.Path("win.qzl"), false, &read));
    EXPECT_EQ(read.path, "C:\\Mixes\\m.qzx");
    EXPECT_EQ(read.comment, "one two");
}

TEST_F(XmlPlaylistTest, EntriesAreLookedForInTheGivenFolderFirst)
{
    // The Mix-File reader hands in the list from a temporary file and names the mix's folder.
    ASSERT_TRUE(MakeFolder(m_dir.Path("mixfolder")));
    WriteTrackFile(m_dir.Path("mixfolder/song.mp3"));
    ASSERT_TRUE(WriteFile(m_dir.Path("QZLtemp"),
                          "<QZL VERSION=\"3\"><PLAYLIST TITLE=\"m\"><ENTRY TITLE=\"s\">"
                          "<LOCATION FILE=\"song.mp3\" PATH=\"/elsewhere/\"/></ENTRY>"
                          "</PLAYLIST></QZL>"));
    CPlaylist list(m_drives);
    ASSERT_TRUE(
        CXmlPlaylist::Load(list, m_dir.Path("QZLtemp"), false, nullptr, m_dir.Path("mixfolder") + "/"));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Entry(0).location, m_dir.Path("mixfolder/song.mp3"));
}

TEST_F(XmlPlaylistTest, AnExternalEntityNeverReadsALocalFile)
{
    const char* documents[] = {
        "<?xml version=\"1.0\"?>\n<!DOCTYPE QZL [<!ENTITY xxe SYSTEM \"file:///etc/passwd\">]>\n"
        "<QZL VERSION=\"3\"><PLAYLIST TITLE=\"t\"><ENTRY TITLE=\"e\"><LOCATION FILE=\"a.mp3\" PATH=\"/\"/>"
        "<COMMENT>&xxe;</COMMENT></ENTRY></PLAYLIST></QZL>",
        "<?xml version=\"1.0\"?>\n<!DOCTYPE QZL SYSTEM \"/etc/passwd\">\n"
        "<QZL VERSION=\"3\"><PLAYLIST TITLE=\"t\"><ENTRY TITLE=\"e\"><LOCATION FILE=\"a.mp3\" PATH=\"/\"/>"
        "<COMMENT>x</COMMENT></ENTRY></PLAYLIST></QZL>",
        "<?xml version=\"1.0\"?>\n<!DOCTYPE QZL [<!ENTITY % p SYSTEM \"file:///etc/passwd\"> %p;]>\n"
        "<QZL VERSION=\"3\"><PLAYLIST TITLE=\"t\"><ENTRY TITLE=\"e\"><LOCATION FILE=\"a.mp3\" PATH=\"/\"/>"
        "<COMMENT>x</COMMENT></ENTRY></PLAYLIST></QZL>",
    };
    for (const char* document : documents) {
        ASSERT_TRUE(WriteFile(m_dir.Path("xxe.qzl"), document));
        CPlaylist list(m_drives);
        if (CXmlPlaylist::Load(list, m_dir.Path("xxe.qzl"), false)) {
            ASSERT_EQ(list.Count(), 1);
            EXPECT_EQ(list.Entry(0).comment.find("root:"), std::string::npos) << list.Entry(0).comment;
            EXPECT_LE(list.Entry(0).comment.size(), 1u) << document;
        }
        std::string text;
        ASSERT_TRUE(CXmlPlaylist::SaveToString(list, text));
        EXPECT_EQ(text.find("root:"), std::string::npos);
    }
}

TEST_F(XmlPlaylistTest, ABillionLaughsLoadsWithoutExpanding)
{
    std::string entities = "<!ENTITY lol \"lollollollollollollollollollol\">\n";
    std::string previous = "lol";
    for (int level = 1; level <= 9; ++level) {
        const std::string name = "lol" + std::to_string(level);
        entities += "<!ENTITY " + name + " \"";
        for (int k = 0; k < 10; ++k)
            entities += "&" + previous + ";";
        entities += "\">\n";
        previous = name;
    }
    const std::string document = "<?xml version=\"1.0\"?>\n<!DOCTYPE QZL [\n" + entities +
                                 "]>\n<QZL VERSION=\"3\"><PLAYLIST TITLE=\"&lol9;\"><ENTRY TITLE=\"&lol9;\" "
                                 "ARTIST=\"&lol8;\"><LOCATION FILE=\"a.mp3\" PATH=\"/\"/>"
                                 "<COMMENT>&lol9;&lol9;</COMMENT></ENTRY></PLAYLIST></QZL>";
    ASSERT_TRUE(WriteFile(m_dir.Path("laughs.qzl"), document));
    CPlaylist list(m_drives);
    const auto start = std::chrono::steady_clock::now();
    const bool loaded = CXmlPlaylist::Load(list, m_dir.Path("laughs.qzl"), false);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 5.0);
    if (loaded) {
        EXPECT_LE(list.Title().size(), 64u);
        ASSERT_EQ(list.Count(), 1);
        EXPECT_LE(list.Entry(0).comment.size(), 64u);
        EXPECT_LE(list.Entry(0).title.size(), 64u);
    }
    EXPECT_EQ(CXmlPlaylist::Peek(m_dir.Path("laughs.qzl")) == CXmlPlaylist::kList, loaded);
}

TEST_F(XmlPlaylistTest, AFailedSaveLeavesThePreviousFileWhole)
{
    CPlaylist list(m_drives);
    list.AddTrack(m_dir.Path("first.mp3"), false);
    const std::string path = m_dir.Path("saved.qzl");
    ASSERT_TRUE(CXmlPlaylist::Save(list, path));
    const std::string before = ReadFile(path);
    for (int i = 0; i < 200; ++i)
        list.AddTrack(m_dir.Path("more" + std::to_string(i) + ".mp3"), false);
    {
        // The disk fills up halfway through the new list.
        CFileSizeCap cap(before.size() + 1000);
        EXPECT_FALSE(CXmlPlaylist::Save(list, path));
    }
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(FolderNames(m_dir.Root()), std::vector<std::string>{"saved.qzl"})
        << "no temporary file is left";
    EXPECT_FALSE(CXmlPlaylist::Save(list, m_dir.Path("no/such/folder.qzl")));
    ASSERT_TRUE(CXmlPlaylist::Save(list, path));
    CPlaylist loaded(m_drives);
    ASSERT_TRUE(CXmlPlaylist::Load(loaded, path, false));
    EXPECT_EQ(loaded.Count(), 201);
}

TEST_F(XmlPlaylistTest, TruncatedListsNeverCrashTheReader)
{
    CPlaylist list(m_drives);
    for (int n = 0; n < 4; ++n)
        FillEntry(list.Entry(list.AddTrack(m_dir.Path("t" + std::to_string(n) + ".mp3"), false)), n);
    std::string text;
    ASSERT_TRUE(CXmlPlaylist::SaveToString(list, text, nullptr));
    for (size_t cut = 0; cut + 1 < text.size(); cut += 7) {
        ASSERT_TRUE(WriteFile(m_dir.Path("cut.qzl"), text.substr(0, cut)));
        CPlaylist loaded(m_drives);
        EXPECT_FALSE(CXmlPlaylist::Load(loaded, m_dir.Path("cut.qzl"), false)) << "cut at " << cut;
        EXPECT_EQ(loaded.Count(), 0);
    }
}

namespace {

// A list document of the given ENTRY elements.
std::string ListOf(const std::string& entries)
{
    return "<QZL VERSION=\"3\"><PLAYLIST TITLE=\"t\">" + entries + "</PLAYLIST></QZL>";
}

std::string EntryOf(const std::string& path, const std::string& file)
{
    return "<ENTRY TITLE=\"" + file + "\"><LOCATION FILE=\"" + file + "\" PATH=\"" + path + "\"/></ENTRY>";
}

} // namespace

TEST_F(XmlPlaylistTest, AFifoIsNeitherAListNorATrack)
{
    const std::string fifoList = m_dir.Path("pipe.qzl");
    const std::string fifoTrack = m_dir.Path("pipe.mp3");
    ASSERT_TRUE(MakeFifo(fifoList));
    ASSERT_TRUE(MakeFifo(fifoTrack));
    CPlaylist list(m_drives);
    list.AddTrack(m_dir.Path("kept.mp3"), false);
    bool loaded = true;
    int peeked = -1;
    ASSERT_TRUE(ReturnsWithin([&] { loaded = CXmlPlaylist::Load(list, fifoList, false); }, fifoList));
    ASSERT_TRUE(ReturnsWithin([&] { peeked = CXmlPlaylist::Peek(fifoList); }, fifoList));
    EXPECT_FALSE(loaded);
    EXPECT_EQ(peeked, CXmlPlaylist::kNotAList);
    EXPECT_EQ(list.Count(), 1);

    // Listed, the FIFO keeps its entry as a track not found.
    ASSERT_TRUE(WriteFile(m_dir.Path("l.qzl"), ListOf(EntryOf(m_dir.Root() + "/", "pipe.mp3"))));
    ListLoadReport report;
    ASSERT_TRUE(ReturnsWithin(
        [&] { loaded = CXmlPlaylist::Load(list, m_dir.Path("l.qzl"), false, nullptr, {}, &report); },
        fifoTrack));
    EXPECT_TRUE(loaded);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Entry(0).location, fifoTrack);
    EXPECT_FALSE(list.Entry(0).exists);
    EXPECT_TRUE(report.Empty());
}

TEST_F(XmlPlaylistTest, NamesWhoseStatusCannotBeReadStayAsMissingEntries)
{
    ASSERT_EQ(symlink("loop.mp3", m_dir.Path("loop.mp3").c_str()), 0);
    const std::string overlong = OverlongName(".mp3");
    ASSERT_TRUE(WriteFile(m_dir.Path("l.qzl"), ListOf(EntryOf(m_dir.Root() + "/", "loop.mp3") +
                                                      EntryOf(m_dir.Root() + "/", overlong) +
                                                      EntryOf("/x/" + overlong + "/", "b.wav"))));
    CPlaylist list(m_drives);
    ListLoadReport report;
    bool loaded = false;
    EXPECT_NO_THROW(loaded = CXmlPlaylist::Load(list, m_dir.Path("l.qzl"), false, nullptr, {}, &report));
    ASSERT_TRUE(loaded);
    ASSERT_EQ(list.Count(), 3);
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_FALSE(list.Entry(i).exists) << list.Entry(i).location;
    EXPECT_TRUE(report.Empty());
    EXPECT_NO_THROW(loaded = CXmlPlaylist::Load(list, m_dir.Path(OverlongName(".qzl")), false));
    EXPECT_FALSE(loaded);
    EXPECT_EQ(CXmlPlaylist::Peek(m_dir.Path("loop.mp3")), CXmlPlaylist::kNotAList);
}

TEST_F(XmlPlaylistTest, RefusedEntriesAreReportedAndThoseBeyondThe999Counted)
{
    std::string entries = EntryOf("/music/", "cover.jpg") + EntryOf("/music/", "nested.qzl");
    for (int i = 0; i < 1200; ++i)
        entries += EntryOf("/music/", "t" + std::to_string(i) + ".mp3");
    entries += EntryOf("/music/", "late.txt");
    ASSERT_TRUE(WriteFile(m_dir.Path("many.qzl"), ListOf(entries)));
    CPlaylist list(m_drives);
    ListLoadReport report;
    ASSERT_TRUE(CXmlPlaylist::Load(list, m_dir.Path("many.qzl"), false, nullptr, {}, &report));
    EXPECT_EQ(list.Count(), CPlaylist::kMaxEntries);
    EXPECT_EQ(list.Entry(998).location, "/music/t998.mp3");
    EXPECT_EQ(report.beyondLimit, 201);
    const std::vector<std::string> expected = {"/music/cover.jpg", "/music/nested.qzl", "/music/late.txt"};
    ASSERT_EQ(report.dropped.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(report.dropped[i].location, expected[i]);
        EXPECT_EQ(report.dropped[i].reason, ListLoadReport::kNotTrackType);
    }
}

TEST_F(XmlPlaylistTest, ABareListNameLooksForTracksBesideTheList)
{
    ASSERT_TRUE(MakeFolder(m_dir.Path("moved")));
    WriteTrackFile(m_dir.Path("moved/song.mp3"));
    ASSERT_TRUE(WriteFile(m_dir.Path("moved/list.qzl"), ListOf(EntryOf("/old/place/", "song.mp3"))));
    char* cwd = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(m_dir.Path("moved").c_str()), 0);
    CPlaylist list(m_drives);
    const bool loaded = CXmlPlaylist::Load(list, "list.qzl", false);
    EXPECT_EQ(chdir(cwd), 0);
    free(cwd);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Entry(0).location, m_dir.Path("moved/song.mp3"));
    EXPECT_TRUE(list.Entry(0).exists);
}

TEST_F(XmlPlaylistTest, APathWithoutItsSeparatorStillNamesTheFolder)
{
    ASSERT_TRUE(MakeFolder(m_dir.Path("Crate07")));
    WriteTrackFile(m_dir.Path("Crate07/x.mp3"));
    struct Case {
        std::string path;
        std::string file;
        std::string location;
    } const cases[] = {
        {m_dir.Path("Crate07"), "x.mp3", m_dir.Path("Crate07/x.mp3")},
        {m_dir.Path("Crate07/"), "x.mp3", m_dir.Path("Crate07/x.mp3")},
        {m_dir.Root(), "/Crate07/x.mp3", m_dir.Path("Crate07/x.mp3")},
        {"C:\\Music", "y.mp3", "C:\\Music\\y.mp3"},
        {"C:\\Music\\", "y.mp3", "C:\\Music\\y.mp3"},
        {"", "z.mp3", "z.mp3"},
    };
    std::string entries;
    for (const Case& c : cases)
        entries += EntryOf(c.path, c.file);
    ASSERT_TRUE(WriteFile(m_dir.Path("l.qzl"), ListOf(entries)));
    CPlaylist list(m_drives);
    ASSERT_TRUE(CXmlPlaylist::Load(list, m_dir.Path("l.qzl"), false));
    ASSERT_EQ(list.Count(), static_cast<int>(std::size(cases)));
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.Entry(i).location, cases[i].location) << cases[i].path;
    EXPECT_TRUE(list.Entry(0).exists);

    // Written again, PATH carries its separator as always.
    ASSERT_TRUE(CXmlPlaylist::Save(list, m_dir.Path("again.qzl")));
    EXPECT_NE(
        ReadFile(m_dir.Path("again.qzl")).find("FILE=\"x.mp3\" PATH=\"" + m_dir.Path("Crate07/") + "\""),
        std::string::npos);
}

// The analysis figures are read one by one: a value out of its range drops that figure alone,
// and an audible end before its start drops the range.
TEST_F(XmlPlaylistTest, AnalysisFiguresOutOfRangeAreDropped)
{
    const std::string text = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                             "<QZL VERSION=\"3\"><PLAYLIST TITLE=\"a\">\n"
                             "<ENTRY TITLE=\"Good\"><LOCATION FILE=\"a.mp3\" PATH=\"/m/\"/>"
                             "<ANALYSIS FIRST_BEAT=\"12.5\" LOUDNESS=\"-14.5\" TRUE_PEAK=\"-0.5\" "
                             "AUDIBLE_START=\"3\" AUDIBLE_END=\"9000\" FUTURE=\"x\"/></ENTRY>\n"
                             "<ENTRY TITLE=\"Bad\"><LOCATION FILE=\"b.mp3\" PATH=\"/m/\"/>"
                             "<ANALYSIS FIRST_BEAT=\"-4\" LOUDNESS=\"12\" TRUE_PEAK=\"nan\" "
                             "AUDIBLE_START=\"900\" AUDIBLE_END=\"3\"/></ENTRY>\n"
                             "</PLAYLIST></QZL>\n";
    ASSERT_TRUE(WriteFile(m_dir.Path("analysed.qzl"), text));
    CPlaylist list(m_drives);
    ASSERT_TRUE(CXmlPlaylist::Load(list, m_dir.Path("analysed.qzl"), false));
    ASSERT_EQ(list.Count(), 2);
    const TrackEntry& good = list.Entry(0);
    EXPECT_EQ(good.firstBeatMs, 12.5);
    EXPECT_EQ(good.loudnessLufs, -14.5f);
    EXPECT_EQ(good.truePeakDb, -0.5f);
    EXPECT_EQ(good.audibleStartMs, 3.0);
    EXPECT_EQ(good.audibleEndMs, 9000.0);
    const TrackEntry& bad = list.Entry(1);
    EXPECT_EQ(bad.firstBeatMs, -1.0);
    EXPECT_EQ(bad.loudnessLufs, 0.0f);
    EXPECT_EQ(bad.truePeakDb, 0.0f);
    EXPECT_EQ(bad.audibleStartMs, -1.0);
    EXPECT_EQ(bad.audibleEndMs, -1.0);
}
