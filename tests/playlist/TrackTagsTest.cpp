// Track tags of every format on files the Debian encoders make at test time: ID3v2.3 and 2.4,
// Vorbis comments, MP4 atoms and BPM tags read into entries; written tags read back through
// TagLib and the id3v2 tool, with the audio untouched and a failed write leaving no trace.
#include "TrackTags.h"

#include "EncodedTracks.h"
#include "Id3v1.h"
#include "Playlist.h"
#include "PlaylistTestSupport.h"
#include "TempDir.h"
#include "TrackEntry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool HaveTools()
{
    return Shell("command -v ffmpeg") && Shell("command -v flac") && Shell("command -v oggenc") &&
           Shell("command -v opusenc") && Shell("command -v lame");
}

std::string Q(const std::string& path)
{
    return "'" + path + "'";
}

// The MPEG frames of a file: its bytes without a leading ID3v2 tag and a trailing ID3v1 tag.
std::string MpegFrames(const std::string& bytes)
{
    size_t start = 0;
    if (bytes.size() >= 10 && bytes.compare(0, 3, "ID3") == 0) {
        const auto b = [&](size_t i) { return static_cast<size_t>(static_cast<uint8_t>(bytes[i]) & 0x7F); };
        start = 10 + (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9));
    }
    size_t end = bytes.size();
    if (end >= start + 128 && bytes.compare(end - 128, 3, "TAG") == 0)
        end -= 128;
    return bytes.substr(start, end - start);
}

class TrackTagsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveTools())
            GTEST_SKIP() << "ffmpeg, flac, oggenc, opusenc or lame missing";
        ASSERT_TRUE(WritePcmTrack(Wav(), ToneTrack(44100, 44100, 440.0, 8000.0)));
        ASSERT_TRUE(WritePcmTrack(m_dir.Path("tone48.wav"), ToneTrack(48000, 48000, 440.0, 8000.0)));
    }

    std::string Wav() const { return m_dir.Path("tone.wav"); }

    // An untagged track of a format, by extension.
    std::string Untagged(const std::string& extension)
    {
        const std::string path = m_dir.Path("plain" + extension);
        if (extension == ".mp3")
            EXPECT_TRUE(Shell("lame --quiet " + Q(Wav()) + " " + Q(path)));
        else if (extension == ".flac")
            EXPECT_TRUE(Shell("flac -s -f -o " + Q(path) + " " + Q(Wav())));
        else if (extension == ".ogg")
            EXPECT_TRUE(Shell("oggenc -Q -o " + Q(path) + " " + Q(Wav())));
        else if (extension == ".opus")
            EXPECT_TRUE(Shell("opusenc --quiet " + Q(m_dir.Path("tone48.wav")) + " " + Q(path)));
        else
            EXPECT_TRUE(Shell("ffmpeg -nostdin -v error -y -i " + Q(Wav()) + " -c:a aac " + Q(path)));
        return path;
    }

    CTempDir m_dir;
};

} // namespace

TEST_F(TrackTagsTest, Id3v2TitlesWithNonAsciiTextWinOverId3v1)
{
    const std::string mp3 = Untagged(".mp3");
    for (const int version : {3, 4}) {
        const std::string path = m_dir.Path("v2." + std::to_string(version) + ".mp3");
        ASSERT_TRUE(
            Shell("ffmpeg -nostdin -v error -y -i " + Q(mp3) + " -c copy -id3v2_version " +
                  std::to_string(version) +
                  " -metadata 'title=Grüße aus Köln ♫' -metadata 'artist=Sigur Rós' -metadata album=Ágætis "
                  "-metadata track=5 -metadata genre=Techno -metadata TBPM=126 " +
                  Q(path)));
        TrackEntry v1;
        v1.title = "Older ID3v1 title";
        v1.artist = "Older artist";
        v1.comment = "Only in ID3v1";
        ASSERT_TRUE(CId3v1::Write(path, v1));

        TrackEntry entry;
        ASSERT_TRUE(CTrackTags::Read(path, entry)) << version;
        EXPECT_EQ(entry.title, "Grüße aus Köln ♫") << version;
        EXPECT_EQ(entry.artist, "Sigur Rós") << version;
        EXPECT_EQ(entry.album, "Ágætis") << version;
        EXPECT_EQ(entry.comment, "Only in ID3v1") << version;
        EXPECT_EQ(entry.trackNumber, 5) << version;
        EXPECT_EQ(entry.genre, 18) << version; // Techno
        EXPECT_FLOAT_EQ(entry.tempo, 126.0f) << version;
    }
}

TEST_F(TrackTagsTest, VorbisCommentsAndMp4AtomsFillEntriesAndTheListsTempoStays)
{
    const std::string flac = m_dir.Path("tagged.flac");
    ASSERT_TRUE(Shell(
        "flac -s -f -T 'TITLE=Nuit blanche' -T 'ARTIST=Zoë' -T ALBUM=Été -T TRACKNUMBER=3 -T GENRE=House "
        "-T BPM=124.5 -o " +
        Q(flac) + " " + Q(Wav())));
    const std::string ogg = m_dir.Path("tagged.ogg");
    ASSERT_TRUE(Shell("oggenc -Q -t 'Nuit blanche' -a Zoë -l Été -N 3 -G House -c BPM=124.5 -o " + Q(ogg) +
                      " " + Q(Wav())));
    const std::string opus = m_dir.Path("tagged.opus");
    ASSERT_TRUE(
        Shell("opusenc --quiet --title 'Nuit blanche' --artist Zoë --album Été --comment TRACKNUMBER=3 "
              "--genre House "
              "--comment BPM=124.5 " +
              Q(m_dir.Path("tone48.wav")) + " " + Q(opus)));
    const std::string m4a = m_dir.Path("tagged.m4a");
    ASSERT_TRUE(Shell(
        "ffmpeg -nostdin -v error -y -i " + Q(Wav()) +
        " -c:a aac -metadata 'title=Nuit blanche' -metadata artist=Zoë -metadata album=Été -metadata track=3 "
        "-metadata genre=House " +
        Q(m4a)));
    for (const std::string& path : {flac, ogg, opus, m4a}) {
        TrackEntry entry;
        ASSERT_TRUE(CTrackTags::Read(path, entry)) << path;
        EXPECT_EQ(entry.title, "Nuit blanche") << path;
        EXPECT_EQ(entry.artist, "Zoë") << path;
        EXPECT_EQ(entry.album, "Été") << path;
        EXPECT_EQ(entry.trackNumber, 3) << path;
        EXPECT_EQ(entry.genre, 35) << path; // House
        if (path != m4a) {
            EXPECT_FLOAT_EQ(entry.tempo, 124.5f) << path;
            TrackEntry listed;
            listed.tempo = 128.0f;
            CTrackTags::Read(path, listed);
            EXPECT_FLOAT_EQ(listed.tempo, 128.0f) << "a list's own tempo wins: " << path;
        }
    }
    // Added to a list, a track is named by its tags.
    CPlaylist list;
    ASSERT_EQ(list.AddTrack(flac, true), 0);
    EXPECT_EQ(list.Entry(0).title, "Nuit blanche");
}

TEST_F(TrackTagsTest, AWrittenTagReadsBackAndLeavesTheAudioAlone)
{
    TrackEntry written;
    written.title = "Déjà vu ♫";
    written.artist = "Ørjan";
    written.album = "Nächte";
    written.comment = "Peak time";
    written.trackNumber = 7;
    written.genre = 17; // Rock
    written.tempo = 127.0f;
    for (const char* extension : {".mp3", ".flac", ".ogg", ".opus", ".m4a"}) {
        const std::string path = Untagged(extension);
        PcmTrack before;
        ASSERT_TRUE(DecodeTrack(path, before)) << extension;
        const std::string bytesBefore = ReadFile(path);

        ASSERT_TRUE(CPlaylist::WriteId3(path, written)) << extension;
        TrackEntry read;
        ASSERT_TRUE(CTrackTags::Read(path, read)) << extension;
        EXPECT_EQ(read.title, written.title) << extension;
        EXPECT_EQ(read.artist, written.artist) << extension;
        EXPECT_EQ(read.album, written.album) << extension;
        EXPECT_EQ(read.comment, written.comment) << extension;
        EXPECT_EQ(read.trackNumber, 7) << extension;
        EXPECT_EQ(read.genre, 17) << extension;
        EXPECT_FLOAT_EQ(read.tempo, 127.0f) << extension;

        PcmTrack after;
        ASSERT_TRUE(DecodeTrack(path, after)) << extension;
        EXPECT_EQ(after.left, before.left) << extension;
        EXPECT_EQ(after.right, before.right) << extension;
        if (std::string(extension) == ".mp3") {
            EXPECT_EQ(MpegFrames(ReadFile(path)), MpegFrames(bytesBefore)) << "the MPEG frames are untouched";
        }
    }

    // The id3v2 tool (id3lib) reads ID3v1 and ID3v2 up to 2.3: it shows the ID3v1 tag "Write
    // ID3" always wrote, next to the ID3v2.4 tag it cannot parse.
    if (access("/usr/bin/id3v2", X_OK) != 0)
        GTEST_SKIP() << "id3v2 is not installed";
    bool ran = false;
    const std::string listing = CommandOutput("id3v2 -l " + Q(m_dir.Path("plain.mp3")), ran);
    ASSERT_TRUE(ran) << listing;
    EXPECT_NE(listing.find("Title  : D\xe9j\xe0 vu ?"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Genre: Rock (17)"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Track: 7"), std::string::npos) << listing;
    const std::string bytes = ReadFile(m_dir.Path("plain.mp3"));
    EXPECT_EQ(bytes.compare(0, 4, "ID3\x04"), 0) << "an ID3v2.4 tag leads the file";
}

TEST_F(TrackTagsTest, AFailedWriteLeavesTheFileByteIdentical)
{
    TrackEntry entry;
    entry.title = "Never written";
    for (const char* extension : {".mp3", ".flac", ".m4a"}) {
        const std::string path = Untagged(extension);
        const std::string before = ReadFile(path);
        {
            // A disk that fills halfway through the copy.
            CFileSizeCap cap(before.size() / 2);
            EXPECT_FALSE(CTrackTags::Write(path, entry)) << extension;
        }
        EXPECT_EQ(ReadFile(path), before) << extension;
    }
    // No copy is left behind.
    for (const std::string& name : FolderNames(m_dir.Root()))
        EXPECT_EQ(name.find(".tag"), std::string::npos) << name;
    EXPECT_FALSE(CTrackTags::Write(m_dir.Path("missing.flac"), entry));
    // A text file named like a track has no tag to write into, and stays as it was.
    ASSERT_TRUE(WriteFile(m_dir.Path("text.m4a"), "not audio"));
    EXPECT_FALSE(CTrackTags::Write(m_dir.Path("text.m4a"), entry));
    EXPECT_EQ(ReadFile(m_dir.Path("text.m4a")), "not audio");
}

TEST_F(TrackTagsTest, HugePicturesAndManyFramesAreReadInBoundedTime)
{
    // An ID3v2.4 tag of 100,000 user text frames before the title.
    std::string frames;
    for (int i = 0; i < 100000; ++i) {
        const std::string body = std::string("\x03k") + std::to_string(i) + std::string("\0v", 2);
        const auto size = static_cast<uint32_t>(body.size());
        frames += "TXXX";
        for (const int shift : {21, 14, 7, 0})
            frames += static_cast<char>((size >> shift) & 0x7F);
        frames += std::string("\0\0", 2) + body;
    }
    const std::string title = std::string("\x03") + "Still found";
    frames +=
        "TIT2" + std::string("\0\0\0", 3) + static_cast<char>(title.size()) + std::string("\0\0", 2) + title;
    std::string tag = std::string("ID3\x04\0\0", 6);
    const auto tagSize = static_cast<uint32_t>(frames.size());
    for (const int shift : {21, 14, 7, 0})
        tag += static_cast<char>((tagSize >> shift) & 0x7F);
    const std::string manyFrames = m_dir.Path("many-frames.mp3");
    ASSERT_TRUE(WriteFile(manyFrames, tag + frames + ReadFile(Untagged(".mp3"))));

    // A FLAC picture block of 16 MB (a metadata block holds at most 2^24 - 1 bytes).
    const std::string picture = m_dir.Path("big.jpg");
    ASSERT_TRUE(WriteFile(picture, std::string("\xFF\xD8\xFF\xE0", 4) + std::string(16000000, 'x')));
    const std::string bigPicture = m_dir.Path("big-picture.flac");
    ASSERT_TRUE(Shell("flac -s -f -T 'TITLE=Still found' --picture='3|image/jpeg||1x1x24|" + picture +
                      "' -o " + Q(bigPicture) + " " + Q(Wav())));

    for (const std::string& path : {manyFrames, bigPicture}) {
        const auto start = std::chrono::steady_clock::now();
        TrackEntry entry;
        EXPECT_TRUE(CTrackTags::Read(path, entry)) << path;
        EXPECT_EQ(entry.title, "Still found") << path;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << path;
        PcmTrack decoded;
        EXPECT_TRUE(DecodeTrack(path, decoded)) << path;
        EXPECT_GE(decoded.left.size(), 44100u) << path;
    }
}
