#include "XmlPlaylist.h"

#include "FileReplacer.h"
#include "FileStatus.h"
#include "ListLoadReport.h"
#include "MixReference.h"
#include "Playlist.h"
#include "TimeLine.h"
#include "TrackText.h"
#include "XmlDocument.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// XML 1.0 has no place for control characters other than tab, line feed and carriage return,
// and libxml2 writes them as references that no parser reads back: one stray byte from a tag
// would make the whole list unreadable.
std::string XmlSafe(const std::string& text)
{
    std::string safe = TrackText::Utf8FromUnknown(text);
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r')
            c = '?';
    }
    return safe;
}

std::string Field(const std::string& text)
{
    return TrackText::Cut(text, TrackEntry::kTextBytes);
}

// A finite value or the default: an "nan" in a file must not reach the decks.
float FiniteFloat(double value)
{
    return std::isfinite(value) ? static_cast<float>(value) : 0.0f;
}

// PATH holds drive and folder with its separator; a PATH without one still names a folder. The
// separator added is the folder's own kind: a backslash for "C:\\Music" or "D:".
std::string JoinFolder(const std::string& folder, const std::string& file)
{
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\' ||
        (!file.empty() && (file.front() == '/' || file.front() == '\\')))
        return folder + file;
    const bool windows = folder.find('/') == std::string::npos &&
                         (folder.find('\\') != std::string::npos || (folder.size() == 2 && folder[1] == ':'));
    return folder + (windows ? "\\" : "/") + file;
}

void ReadMix(const CXmlCursor& element, MixReference& mix)
{
    element.Property("TITLE", mix.title);
    for (CXmlCursor child = element.FirstChild(); child.Valid(); child = child.NextSibling()) {
        if (child.NameIs("LOCATION")) {
            std::string folder;
            std::string file;
            child.Property("PATH", folder);
            child.Property("FILE", file);
            mix.path = JoinFolder(folder, file);
        } else if (child.NameIs("COMMENT")) {
            mix.comment = child.Text();
        }
    }
}

// What analysing the track found. Every figure is checked on its own: a hostile value drops
// that figure only, and an audible end before its start drops both.
void ReadAnalysis(const CXmlCursor& element, TrackEntry& read)
{
    constexpr double kMaxMs = 1e10; // about 115 days, far beyond any track
    double value = 0.0;
    if (element.FloatProperty("FIRST_BEAT", value) && value >= 0.0 && value < kMaxMs)
        read.firstBeatMs = value;
    if (element.FloatProperty("LOUDNESS", value) && value >= -100.0 && value < 0.0)
        read.loudnessLufs = static_cast<float>(value);
    if (element.FloatProperty("TRUE_PEAK", value) && value >= -100.0 && value <= 30.0)
        read.truePeakDb = static_cast<float>(value);
    double start = 0.0;
    double end = 0.0;
    if (element.FloatProperty("AUDIBLE_START", start) && element.FloatProperty("AUDIBLE_END", end) &&
        start >= 0.0 && end >= start && end < kMaxMs) {
        read.audibleStartMs = start;
        read.audibleEndMs = end;
    }
}

// One ENTRY into the list; one AddTrack refused goes into the report.
void ReadEntry(const CXmlCursor& element, CPlaylist& list, bool append, const std::string& folder,
               ListLoadReport* report)
{
    TrackEntry read;
    std::string title;
    element.Property("TITLE", title);
    element.Property("ARTIST", read.artist);
    std::string location;
    int media = kMediaFixed;
    for (CXmlCursor child = element.FirstChild(); child.Valid(); child = child.NextSibling()) {
        int number = 0;
        double value = 0.0;
        if (child.NameIs("LOCATION")) {
            std::string path;
            std::string file;
            child.Property("PATH", path);
            child.Property("FILE", file);
            location = JoinFolder(path, file);
            std::string kind;
            if (child.Property("MEDIA", kind))
                media = kind == "REMOVEABLE" ? kMediaRemovable
                        : kind == "AUDIO_CD" ? kMediaAudioCd
                                             : kMediaFixed;
        } else if (child.NameIs("ALBUM")) {
            child.Property("TITLE", read.album);
            child.IntProperty("TRACK", read.trackNumber);
        } else if (child.NameIs("INFO")) {
            child.IntProperty("PLAYTIME", read.playTime);
            if (child.IntProperty("GENRE_ID", number))
                read.genre = static_cast<uint8_t>(number);
        } else if (child.NameIs("TEMPO")) {
            if (child.FloatProperty("BPM", value))
                read.tempo = FiniteFloat(value);
            if (child.IntProperty("BPM_QUALITY", number))
                read.tempoQuality = std::clamp(static_cast<float>(number * 0.01), 0.0f, 1.0f);
        } else if (child.NameIs("ANALYSIS")) {
            ReadAnalysis(child, read);
        } else if (child.NameIs("CUE")) {
            for (size_t i = 0; i < read.cuePoints.size(); ++i) {
                char name[16];
                std::snprintf(name, sizeof name, "POINT%i", static_cast<int>(i + 1));
                if (child.FloatProperty(name, value))
                    read.cuePoints[i] = std::isfinite(value) ? value : 0.0;
            }
        } else if (child.NameIs("FADE")) {
            if (child.FloatProperty("TIME", value))
                read.fadeTime = FiniteFloat(value);
        } else if (child.NameIs("COMMENT")) {
            read.comment = child.Text();
        }
    }

    const int index = list.AddTrack(location, false, folder, media);
    if (index < 0) {
        if (report != nullptr && index == CPlaylist::kFull)
            ++report->beyondLimit;
        else if (report != nullptr)
            report->Drop(location, ListLoadReport::kNotTrackType);
        return;
    }
    TrackEntry& entry = list.Entry(index);
    entry.title = Field(title);
    entry.artist = Field(read.artist);
    entry.album = Field(read.album);
    entry.trackNumber = read.trackNumber;
    entry.comment = Field(read.comment);
    entry.genre = read.genre;
    entry.tempo = read.tempo;
    entry.tempoQuality = read.tempoQuality;
    entry.firstBeatMs = read.firstBeatMs;
    entry.loudnessLufs = read.loudnessLufs;
    entry.truePeakDb = read.truePeakDb;
    entry.audibleStartMs = read.audibleStartMs;
    entry.audibleEndMs = read.audibleEndMs;
    entry.playTime = read.playTime;
    entry.media = media;
    entry.cuePoints = read.cuePoints;
    entry.fadeTime = read.fadeTime;
    if (append) {
        // Appended entries keep their new ids; their Time Line items get the stored length.
        if (CTimeLine* timeLine = list.TimeLine(); timeLine != nullptr && entry.playTime > 0)
            timeLine->SetTrackLength(entry.id, std::min(entry.playTime, INT32_MAX / 1000) * 1000);
        return;
    }
    int id = 0;
    // A stored id keeps mixes pointing at their tracks. One that is negative or already taken
    // in this list (a hand-edited or hostile file) would break the ids' uniqueness, so such an
    // entry keeps the new id it got.
    if (element.IntProperty("ID", id) && id >= 0 && list.IndexOfId(id) < 0) {
        entry.id = id;
        CPlaylist::RaiseIdCounter(id);
    }
    int lock = 0;
    if (element.IntProperty("LOCK", lock))
        entry.lock = lock != 0;
}

void WriteEntry(CXmlCursor& playlist, const TrackEntry& entry)
{
    CXmlCursor element = playlist.AddChild("ENTRY");
    element.SetProperty("TITLE", XmlSafe(entry.title));
    element.SetProperty("ARTIST", XmlSafe(entry.artist));
    element.SetIntProperty("ID", entry.id);
    element.SetIntProperty("LOCK", entry.lock ? 1 : 0);

    CXmlCursor location = element.AddChild("LOCATION");
    location.SetProperty("FILE", XmlSafe(std::string(TrackText::FileName(entry.location))));
    location.SetProperty("PATH", XmlSafe(std::string(TrackText::Folder(entry.location))));
    if (entry.media == kMediaAudioCd)
        location.SetProperty("MEDIA", "AUDIO_CD");
    else if (entry.media == kMediaRemovable)
        location.SetProperty("MEDIA", "REMOVEABLE");

    if (!entry.album.empty() || entry.trackNumber > 0) {
        CXmlCursor album = element.AddChild("ALBUM");
        if (!entry.album.empty())
            album.SetProperty("TITLE", XmlSafe(entry.album));
        if (entry.trackNumber > 0)
            album.SetIntProperty("TRACK", entry.trackNumber);
    }
    const bool genre = entry.genre != TrackEntry::kNoGenre;
    if (entry.playTime > 0 || genre) {
        CXmlCursor info = element.AddChild("INFO");
        if (entry.playTime > 0)
            info.SetIntProperty("PLAYTIME", entry.playTime);
        if (genre)
            info.SetIntProperty("GENRE_ID", static_cast<int8_t>(entry.genre));
    }
    if (entry.tempo > 0.0f) {
        CXmlCursor tempo = element.AddChild("TEMPO");
        tempo.SetFloatProperty("BPM", entry.tempo, 9);
        tempo.SetIntProperty("BPM_QUALITY",
                             static_cast<int>(std::clamp(entry.tempoQuality, 0.0f, 1.0f) * 100.0f));
    }
    if (entry.firstBeatMs >= 0.0 || entry.loudnessLufs < 0.0 || entry.audibleStartMs >= 0.0) {
        CXmlCursor analysis = element.AddChild("ANALYSIS");
        if (entry.firstBeatMs >= 0.0)
            analysis.SetFloatProperty("FIRST_BEAT", entry.firstBeatMs, 15);
        if (entry.loudnessLufs < 0.0) {
            analysis.SetFloatProperty("LOUDNESS", entry.loudnessLufs, 6);
            analysis.SetFloatProperty("TRUE_PEAK", entry.truePeakDb, 6);
        }
        if (entry.audibleStartMs >= 0.0) {
            analysis.SetFloatProperty("AUDIBLE_START", entry.audibleStartMs, 15);
            analysis.SetFloatProperty("AUDIBLE_END", entry.audibleEndMs, 15);
        }
    }
    if (std::any_of(entry.cuePoints.begin(), entry.cuePoints.end(),
                    [](double point) { return point > 0.0; })) {
        CXmlCursor cue = element.AddChild("CUE");
        for (size_t i = 0; i < entry.cuePoints.size(); ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "POINT%i", static_cast<int>(i + 1));
            cue.SetFloatProperty(name, entry.cuePoints[i], 15);
        }
    }
    if (entry.fadeTime > 0.0f)
        element.AddChild("FADE").SetFloatProperty("TIME", entry.fadeTime, 9);
    if (!entry.comment.empty()) {
        const std::string comment = XmlSafe(entry.comment);
        element.AddChild("COMMENT", &comment);
    }
}

bool IsList(const CXmlDocument& document)
{
    std::string version;
    return document.Root().Valid() && document.Root().Property("VERSION", version);
}

std::string FolderOf(const std::string& path)
{
    return std::string(TrackText::Folder(path));
}

} // namespace

bool CXmlPlaylist::Load(CPlaylist& list, const std::string& path, bool append, MixReference* mix,
                        const std::string& folder, ListLoadReport* report)
{
    CXmlDocument document;
    if (!document.Parse(path) || !IsList(document))
        return false;

    if (!append) {
        list.Clear();
        if (mix != nullptr)
            *mix = MixReference{};
    }
    // Absolute, so that a bare list name ("list.qzl") still has a folder to look in.
    const std::string listFolder = folder.empty() ? FolderOf(FileStatus::Absolute(path)) : folder;
    const CXmlCursor root = document.Root();
    if (root.FirstChild().Valid()) {
        list.SetTitle(TrackText::Cut(TrackText::Utf8FromUnknown(TrackText::Stem(path)), 255));
        for (CXmlCursor child = root.FirstChild(); child.Valid(); child = child.NextSibling()) {
            if (child.NameIs("MIX")) {
                if (!append && mix != nullptr)
                    ReadMix(child, *mix);
            } else if (child.NameIs("PLAYLIST")) {
                std::string title;
                if (child.Property("TITLE", title))
                    list.SetTitle(title);
                for (CXmlCursor entry = child.FirstChild(); entry.Valid(); entry = entry.NextSibling()) {
                    if (entry.NameIs("ENTRY"))
                        ReadEntry(entry, list, append, listFolder, report);
                }
            }
        }
    }
    if (!append)
        list.RebuildTimeLine();
    list.SetChanged(true);
    return true;
}

int CXmlPlaylist::Peek(const std::string& path, std::string* mixTitle)
{
    CXmlDocument document;
    if (!document.Parse(path) || !IsList(document))
        return kNotAList;
    for (CXmlCursor child = document.Root().FirstChild(); child.Valid(); child = child.NextSibling()) {
        if (child.NameIs("MIX")) {
            if (mixTitle != nullptr) {
                mixTitle->clear();
                child.Property("TITLE", *mixTitle);
            }
            return kListWithMix;
        }
    }
    return kList;
}

bool CXmlPlaylist::SaveToString(const CPlaylist& list, std::string& out, const MixReference* mix)
{
    CXmlDocument document;
    if (!document.Create("QZL"))
        return false;
    CXmlCursor root = document.Root();
    root.SetIntProperty("VERSION", kVersion);
    CXmlCursor head = root.AddChild("HEAD");
    head.SetProperty("PROGRAM", kProgram);
    head.SetProperty("COMPANY", kCompany);

    if (mix != nullptr && !mix->path.empty()) {
        CXmlCursor element = root.AddChild("MIX");
        element.SetProperty("TITLE", XmlSafe(mix->title.empty() ? std::string("untitled") : mix->title));
        CXmlCursor location = element.AddChild("LOCATION");
        location.SetProperty("FILE", XmlSafe(std::string(TrackText::FileName(mix->path))));
        location.SetProperty("PATH", XmlSafe(FolderOf(mix->path)));
        const std::string comment = XmlSafe(mix->comment);
        element.AddChild("COMMENT", &comment);
    }

    CXmlCursor playlist = root.AddChild("PLAYLIST");
    playlist.SetProperty("TITLE", XmlSafe(list.Title()));
    for (int i = 0; i < list.Count(); ++i)
        WriteEntry(playlist, list.Entry(i));
    return document.SaveToString(out);
}

bool CXmlPlaylist::Save(const CPlaylist& list, const std::string& path, const MixReference* mix)
{
    std::string bytes;
    return SaveToString(list, bytes, mix) && CFileReplacer::Replace(path, bytes);
}
