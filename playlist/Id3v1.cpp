#include "Id3v1.h"

#include "Fd.h"
#include "TrackEntry.h"
#include "TrackText.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The ID3v1 list as the standard spells it, "Psychadelic" included.
constexpr std::array<const char*, CId3v1::kGenreCount> kGenres = {
    "Blues",
    "Classic Rock",
    "Country",
    "Dance",
    "Disco",
    "Funk",
    "Grunge",
    "Hip-Hop",
    "Jazz",
    "Metal",
    "New Age",
    "Oldies",
    "Other",
    "Pop",
    "R&B",
    "Rap",
    "Reggae",
    "Rock",
    "Techno",
    "Industrial",
    "Alternative",
    "Ska",
    "Death Metal",
    "Pranks",
    "Soundtrack",
    "Euro-Techno",
    "Ambient",
    "Trip-Hop",
    "Vocal",
    "Jazz+Funk",
    "Fusion",
    "Trance",
    "Classical",
    "Instrumental",
    "Acid",
    "House",
    "Game",
    "Sound Clip",
    "Gospel",
    "Noise",
    "AlternRock",
    "Bass",
    "Soul",
    "Punk",
    "Space",
    "Meditative",
    "Instrumental Pop",
    "Instrumental Rock",
    "Ethnic",
    "Gothic",
    "Darkwave",
    "Techno-Industrial",
    "Electronic",
    "Pop-Folk",
    "Eurodance",
    "Dream",
    "Southern Rock",
    "Comedy",
    "Cult",
    "Gangsta",
    "Top 40",
    "Christian Rap",
    "Pop/Funk",
    "Jungle",
    "Native American",
    "Cabaret",
    "New Wave",
    "Psychadelic",
    "Rave",
    "Showtunes",
    "Trailer",
    "Lo-Fi",
    "Tribal",
    "Acid Punk",
    "Acid Jazz",
    "Polka",
    "Retro",
    "Musical",
    "Rock & Roll",
    "Hard Rock",
};

constexpr size_t kFieldBytes = 30;

// A 30-byte field: up to the first zero, trailing blanks removed, as UTF-8 of at most 63 bytes.
std::string ReadField(const uint8_t* field)
{
    size_t length = 0;
    while (length < kFieldBytes && field[length] != 0)
        ++length;
    while (length > 0 && field[length - 1] == ' ')
        --length;
    const std::string_view latin1(reinterpret_cast<const char*>(field), length);
    return TrackText::Cut(TrackText::Utf8FromLatin1(latin1), TrackEntry::kTextBytes);
}

void WriteField(uint8_t* field, const std::string& utf8)
{
    const std::string latin1 = TrackText::Latin1FromUtf8(utf8);
    std::memcpy(field, latin1.data(), std::min(latin1.size(), kFieldBytes));
}

bool ReadAt(int fd, uint8_t* bytes, size_t size, off_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, bytes + done, size - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

bool WriteAt(int fd, const uint8_t* bytes, size_t size, off_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t put = pwrite(fd, bytes + done, size - done, offset + static_cast<off_t>(done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

} // namespace

bool CId3v1::Read(const std::string& path, TrackEntry& entry)
{
    int error = 0;
    const CFd fd = OpenRegularFile(path, error);
    struct stat info {};
    if (!fd.Valid() || fstat(fd.Get(), &info) != 0 || info.st_size < static_cast<off_t>(kTagBytes))
        return false;
    std::array<uint8_t, kTagBytes> tag{};
    if (!ReadAt(fd.Get(), tag.data(), tag.size(), info.st_size - static_cast<off_t>(kTagBytes)) ||
        std::memcmp(tag.data(), "TAG", 3) != 0)
        return false;
    // An empty title in the tag would leave the entry nameless; the file name says more.
    if (std::string title = ReadField(&tag[3]); !title.empty())
        entry.title = std::move(title);
    entry.artist = ReadField(&tag[33]);
    entry.album = ReadField(&tag[63]);
    entry.comment = ReadField(&tag[97]);
    entry.genre = tag[127];
    // ID3v1.1: a zero before the last comment byte makes that byte the track number.
    if (tag[125] == 0)
        entry.trackNumber = tag[126];
    entry.changed = true;
    return true;
}

bool CId3v1::Write(const std::string& path, const TrackEntry& entry)
{
    int error = 0;
    CFd fd = OpenRegularFile(path, error, FileAccess::ReadWrite);
    struct stat info {};
    if (!fd.Valid() || fstat(fd.Get(), &info) != 0)
        return false;

    std::array<uint8_t, kTagBytes> tag{};
    off_t offset = info.st_size;
    if (info.st_size >= static_cast<off_t>(kTagBytes)) {
        std::array<uint8_t, 3> magic{};
        const off_t last = info.st_size - static_cast<off_t>(kTagBytes);
        if (!ReadAt(fd.Get(), magic.data(), magic.size(), last))
            return false;
        if (std::memcmp(magic.data(), "TAG", 3) == 0)
            offset = last;
    }
    std::memcpy(tag.data(), "TAG", 3);
    WriteField(&tag[3], entry.title);
    WriteField(&tag[33], entry.artist);
    WriteField(&tag[63], entry.album);
    WriteField(&tag[97], entry.comment);
    if (entry.trackNumber > 0) {
        tag[125] = 0;
        tag[126] = static_cast<uint8_t>(std::min(entry.trackNumber, 255));
    }
    tag[127] = entry.genre;

    const bool written = WriteAt(fd.Get(), tag.data(), tag.size(), offset);
    if (!written && offset == info.st_size) {
        // A half-appended tag would be read as part of the audio; the old end is restored.
        if (ftruncate(fd.Get(), info.st_size) != 0)
            return false;
    }
    return written && close(fd.Release()) == 0;
}

const char* CId3v1::GenreName(int genre)
{
    return genre >= 0 && genre < kGenreCount ? kGenres[static_cast<size_t>(genre)] : "";
}
