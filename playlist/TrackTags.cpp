#include "TrackTags.h"

#include "Fd.h"
#include "Id3v1.h"
#include "TrackEntry.h"
#include "TrackText.h"

#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/tstring.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Utf8Field(const TagLib::String& text)
{
    return TrackText::Cut(text.to8Bit(true), TrackEntry::kTextBytes);
}

TagLib::String FromUtf8(const std::string& text)
{
    return TagLib::String(text, TagLib::String::UTF8);
}

// The ID3v1 genre number of a genre name, or 255 for a name outside the list.
uint8_t GenreNumber(const std::string& name)
{
    for (int genre = 0; genre < CId3v1::kGenreCount; ++genre) {
        if (strcasecmp(name.c_str(), CId3v1::GenreName(genre)) == 0)
            return static_cast<uint8_t>(genre);
    }
    return TrackEntry::kNoGenre;
}

bool IsMpeg(const std::string& path)
{
    const std::string_view extension = TrackText::Extension(path);
    return TrackText::EqualNoCase(extension, ".mp3") || TrackText::EqualNoCase(extension, ".mp2") ||
           TrackText::EqualNoCase(extension, ".mp1");
}

bool IsWav(const std::string& path)
{
    return TrackText::EqualNoCase(TrackText::Extension(path), ".wav");
}

// Copies every byte of from into to; false on a short write (a full disk).
bool CopyBytes(int from, int to)
{
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const ssize_t got = read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put = write(to, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            done += put;
        }
    }
}

// A copy of a file beside it, removed again unless Keep is called.
class CSideCopy {
public:
    explicit CSideCopy(const std::string& path) : m_path(path + ".tagXXXXXX") {}
    ~CSideCopy()
    {
        if (!m_kept && m_made)
            unlink(m_path.c_str());
    }
    CSideCopy(const CSideCopy&) = delete;
    CSideCopy& operator=(const CSideCopy&) = delete;

    bool Make(const std::string& original)
    {
        int error = 0;
        const CFd source = OpenRegularFile(original, error);
        struct stat status {};
        if (!source.Valid() || fstat(source.Get(), &status) != 0)
            return false;
        const CFd copy(mkstemp(m_path.data()));
        if (!copy.Valid())
            return false;
        m_made = true;
        return fchmod(copy.Get(), status.st_mode & 07777) == 0 && CopyBytes(source.Get(), copy.Get()) &&
               fsync(copy.Get()) == 0;
    }
    bool Sync() const
    {
        int error = 0;
        const CFd copy = OpenRegularFile(m_path, error);
        return copy.Valid() && fsync(copy.Get()) == 0;
    }
    bool ReplaceOriginal(const std::string& original)
    {
        if (!Sync() || std::rename(m_path.c_str(), original.c_str()) != 0)
            return false;
        m_kept = true;
        return true;
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    bool m_made = false;
    bool m_kept = false;
};

// The fields of an entry into a TagLib tag.
void FillTag(TagLib::Tag& tag, const TrackEntry& entry)
{
    tag.setTitle(FromUtf8(entry.title));
    tag.setArtist(FromUtf8(entry.artist));
    tag.setAlbum(FromUtf8(entry.album));
    tag.setComment(FromUtf8(entry.comment));
    tag.setGenre(FromUtf8(CId3v1::GenreName(entry.genre)));
    tag.setTrack(static_cast<unsigned>(std::max(entry.trackNumber, 0)));
}

// ID3v2's TBPM and MP4's tmpo hold whole beats per minute. Set through the properties of the
// file (or of the ID3v2 tag), which TagLib maps to each format's own field.
template <typename Target> void SetBpm(Target& target, const TrackEntry& entry)
{
    if (entry.tempo <= 0.0f)
        return;
    TagLib::PropertyMap properties = target.properties();
    properties.replace("BPM",
                       TagLib::StringList(TagLib::String::number(static_cast<int>(std::lrint(entry.tempo)))));
    target.setProperties(properties);
}

// The BPM text of a file. An MPEG file's TBPM frame is looked up directly: the property map of an
// ID3v2 tag is built from every frame, which for a hostile tag of 100,000 frames takes seconds.
TagLib::String BpmOf(TagLib::File& file)
{
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file)) {
        TagLib::ID3v2::Tag* tag = mpeg->ID3v2Tag(false);
        if (tag == nullptr)
            return {};
        const TagLib::ID3v2::FrameList& frames = tag->frameList("TBPM");
        return frames.isEmpty() ? TagLib::String() : frames.front()->toString();
    }
    const TagLib::PropertyMap properties = file.properties();
    const auto bpm = properties.find("BPM");
    return bpm != properties.end() && !bpm->second.isEmpty() ? bpm->second.front() : TagLib::String();
}

bool WriteOwnTag(const std::string& path, const TrackEntry& entry)
{
    TagLib::FileRef file(path.c_str(), false);
    if (file.isNull() || file.tag() == nullptr || file.file()->readOnly())
        return false;
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file.file())) {
        // ID3v2.4 only: the ID3v1 tag stays ours to write, as it always was.
        FillTag(*mpeg->ID3v2Tag(true), entry);
        SetBpm(*mpeg->ID3v2Tag(true), entry);
        return mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                          TagLib::File::DoNotDuplicate);
    }
    FillTag(*file.tag(), entry);
    SetBpm(*file.file(), entry);
    return file.save();
}

} // namespace

bool CTrackTags::TakesId3v1(const std::string& path)
{
    return IsMpeg(path) || IsWav(path);
}

bool CTrackTags::Read(const std::string& path, TrackEntry& entry)
{
    bool found = TakesId3v1(path) && CId3v1::Read(path, entry);
    // TagLib opens only what a file's extension names; a FIFO or device is no track.
    int error = 0;
    if (!OpenRegularFile(path, error).Valid())
        return found;
    TagLib::FileRef file(path.c_str(), false);
    if (file.isNull() || file.tag() == nullptr)
        return found;
    const TagLib::Tag& tag = *file.tag();
    const auto take = [&](const TagLib::String& text, std::string& field) {
        if (!text.isEmpty()) {
            field = Utf8Field(text);
            found = true;
        }
    };
    take(tag.title(), entry.title);
    take(tag.artist(), entry.artist);
    take(tag.album(), entry.album);
    take(tag.comment(), entry.comment);
    if (!tag.genre().isEmpty()) {
        const uint8_t genre = GenreNumber(tag.genre().to8Bit(true));
        if (genre != TrackEntry::kNoGenre)
            entry.genre = genre;
        found = true;
    }
    if (tag.track() > 0) {
        entry.trackNumber = static_cast<int32_t>(std::min(tag.track(), 9999u));
        found = true;
    }
    const TagLib::String bpm = entry.tempo <= 0.0f ? BpmOf(*file.file()) : TagLib::String();
    if (!bpm.isEmpty()) {
        const std::string text = bpm.to8Bit(true);
        const float tempo = std::strtof(text.c_str(), nullptr);
        // The decks play 20 to 999 BPM; anything else is no tempo.
        if (std::isfinite(tempo) && tempo >= 20.0f && tempo < 1000.0f) {
            entry.tempo = tempo;
            found = true;
        }
    }
    entry.changed = true;
    return found;
}

bool CTrackTags::Write(const std::string& path, const TrackEntry& entry)
{
    auto copy = std::make_unique<CSideCopy>(path);
    if (!copy->Make(path))
        return false;
    if (!IsWav(path) && !WriteOwnTag(copy->Path(), entry)) {
        if (!TakesId3v1(path))
            return false;
        // An MPEG file TagLib cannot take keeps getting its ID3v1 tag, as it always did: on a
        // fresh copy, since the failed save may have left this one half-written.
        copy = std::make_unique<CSideCopy>(path);
        if (!copy->Make(path))
            return false;
    }
    if (TakesId3v1(path) && !CId3v1::Write(copy->Path(), entry))
        return false;
    return copy->ReplaceOriginal(path);
}
