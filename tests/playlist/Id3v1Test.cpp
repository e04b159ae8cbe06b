#include "Id3v1.h"

#include "PlaylistTestSupport.h"
#include "TempDir.h"
#include "TrackEntry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

uint64_t FileSize(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

} // namespace

TEST(Id3v1, AFileWithoutATagKeepsItsEntry)
{
    CTempDir dir;
    for (const size_t bytes : {size_t{0}, size_t{100}, size_t{5000}}) {
        const std::string path = dir.Path("plain.mp3");
        WriteTrackFile(path, bytes);
        TrackEntry entry;
        entry.title = "plain";
        EXPECT_FALSE(CId3v1::Read(path, entry)) << bytes;
        EXPECT_EQ(entry.title, "plain");
        EXPECT_EQ(entry.genre, TrackEntry::kNoGenre);
    }
    TrackEntry entry;
    EXPECT_FALSE(CId3v1::Read(dir.Path("missing.mp3"), entry));
    EXPECT_FALSE(CId3v1::Read(dir.Root(), entry)) << "a folder is no track";
}

TEST(Id3v1, ReadsTheFieldsAndTheV11TrackNumber)
{
    CTempDir dir;
    struct Case {
        Id3Fields tag;
        const char* title;
        const char* comment;
        int trackNumber;
    } const cases[] = {
        {{"Song   ", "Artist", "Album", "Comment", 7, 13}, "Song", "Comment", 7},
        // Plain ID3v1: the comment fills byte 125, so there is no track number.
        {{"Song", "Artist", "Album", "A comment that runs thirty ch", -1, 13},
         "Song",
         "A comment that runs thirty ch",
         0},
        // Latin-1 on disk, UTF-8 in the entry.
        {{"Caf\xe9 \xe0 la carte", "Artist", "Album", "", 0, 13}, "Caf\xc3\xa9 \xc3\xa0 la carte", "", 0},
        // An empty title leaves the file name.
        {{"", "Artist", "Album", "", 2, 13}, "file", "", 2},
    };
    for (const Case& c : cases) {
        const std::string path = dir.Path("file.mp3");
        WriteTrackFile(path, 3000, &c.tag);
        TrackEntry entry;
        entry.title = "file";
        ASSERT_TRUE(CId3v1::Read(path, entry));
        EXPECT_EQ(entry.title, c.title);
        EXPECT_EQ(entry.artist, "Artist");
        EXPECT_EQ(entry.album, "Album");
        EXPECT_EQ(entry.comment, c.comment);
        EXPECT_EQ(entry.trackNumber, c.trackNumber) << c.title;
        EXPECT_EQ(entry.genre, 13);
    }
}

TEST(Id3v1, AWrittenTagReadsBackAndLeavesTheAudioAlone)
{
    CTempDir dir;
    const std::string path = dir.Path("song.mp3");
    WriteTrackFile(path, 5000);
    const std::string audio = ReadFile(path);

    TrackEntry written;
    written.title = "D\xc3\xa9j\xc3\xa0 vu \xe6\x97\xa5"; // "Déjà vu 日": the last has no Latin-1 form
    written.artist = "An artist whose name is longer than thirty bytes";
    written.album = "Album";
    written.comment = "Comment";
    written.trackNumber = 7;
    written.genre = 17;
    ASSERT_TRUE(CId3v1::Write(path, written));
    EXPECT_EQ(FileSize(path), 5128u);
    // Writing again replaces the tag in place.
    ASSERT_TRUE(CId3v1::Write(path, written));
    const std::string bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 5128u);
    EXPECT_EQ(bytes.compare(0, audio.size(), audio), 0) << "the audio bytes changed";

    TrackEntry read;
    ASSERT_TRUE(CId3v1::Read(path, read));
    EXPECT_EQ(read.title, "D\xc3\xa9j\xc3\xa0 vu ?");
    EXPECT_EQ(read.artist, "An artist whose name is longer");
    EXPECT_EQ(read.album, "Album");
    EXPECT_EQ(read.comment, "Comment");
    EXPECT_EQ(read.trackNumber, 7);
    EXPECT_EQ(read.genre, 17);

    // The reference reader.
    if (access("/usr/bin/id3v2", X_OK) != 0)
        GTEST_SKIP() << "id3v2 is not installed";
    bool ran = false;
    const std::string listing = CommandOutput("id3v2 -l '" + path + "'", ran);
    ASSERT_TRUE(ran) << listing;
    EXPECT_NE(listing.find("Title  : D\xe9j\xe0 vu ?"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Artist: An artist whose name is longer"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Genre: Rock (17)"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Track: 7"), std::string::npos) << listing;
}

TEST(Id3v1, AFailedAppendLeavesTheFileAsItWas)
{
    CTempDir dir;
    const std::string path = dir.Path("full.mp3");
    WriteTrackFile(path, 6000);
    const std::string before = ReadFile(path);
    TrackEntry entry;
    entry.title = "Title";
    {
        // A disk that is full after the audio.
        CFileSizeCap cap(6000 + 50);
        EXPECT_FALSE(CId3v1::Write(path, entry));
    }
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_FALSE(CId3v1::Write(dir.Path("missing.mp3"), entry));
}

TEST(Id3v1, GenreNamesUseTheStandardSpellings)
{
    struct Case {
        int genre;
        const char* name;
    } const cases[] = {
        {0, "Blues"},        {1, "Classic Rock"},
        {14, "R&B"},         {29, "Jazz+Funk"},
        {40, "AlternRock"},  {62, "Pop/Funk"},
        {67, "Psychadelic"}, {78, "Rock & Roll"},
        {79, "Hard Rock"},   {80, ""},
        {255, ""},           {-1, ""},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(CId3v1::GenreName(c.genre), c.name) << c.genre;
}

TEST(Id3v1, AFifoNamedLikeATrackIsRefusedAtOnce)
{
    CTempDir dir;
    const std::string fifo = dir.Path("stream.mp3");
    ASSERT_TRUE(MakeFifo(fifo));
    TrackEntry entry;
    entry.title = "stream";
    entry.artist = "kept";
    bool read = true;
    bool written = true;
    ASSERT_TRUE(ReturnsWithin([&] { read = CId3v1::Read(fifo, entry); }, fifo));
    ASSERT_TRUE(ReturnsWithin([&] { written = CId3v1::Write(fifo, entry); }, fifo));
    EXPECT_FALSE(read);
    EXPECT_FALSE(written);
    EXPECT_EQ(entry.title, "stream");
    EXPECT_EQ(entry.artist, "kept");
    EXPECT_FALSE(CId3v1::Read(dir.Path(OverlongName(".mp3")), entry));
    EXPECT_FALSE(CId3v1::Write("/dev/null", entry)) << "a device is no track either";
}
