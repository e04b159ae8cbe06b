#include "Playlist.h"

#include "FileStatus.h"
#include "ListLoadReport.h"
#include "MediaDrives.h"
#include "TimeLine.h"
#include "TrackTags.h"
#include "TrackText.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <dirent.h>
#include <memory>
#include <system_error>

std::atomic<int32_t> CPlaylist::s_idCounter{0};

namespace {

// A FIFO or device named like a track is no track: reading it would block or never end.
bool IsFile(const std::string& path)
{
    return FileStatus::IsRegularFile(path);
}

bool IsRelative(const std::string& path)
{
    return !path.empty() && path.front() != '/' && !(path.size() >= 2 && path[1] == ':');
}

// A relative path from a list written on Windows names its sub-folders with backslashes.
std::string WithSlashes(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// 1..99 from "X:\TrackNN.cda"; 0 when the location has another form.
int CdTrackNumber(const std::string& location)
{
    if (location.size() != 14 || location[8] < '0' || location[8] > '9' || location[9] < '0' ||
        location[9] > '9')
        return 0;
    return (location[8] - '0') * 10 + (location[9] - '0');
}

int64_t LengthMs(const TrackEntry& entry)
{
    return entry.playTime > 0 ? int64_t{entry.playTime} * 1000 : 0;
}

int32_t ClampedMs(int64_t ms)
{
    return static_cast<int32_t>(std::min<int64_t>(ms, INT32_MAX));
}

} // namespace

CPlaylist::CPlaylist() : CPlaylist(CMediaDrives::Program())
{
}

CPlaylist::CPlaylist(CMediaDrives& drives) : m_drives(drives)
{
    m_entries.reserve(kMaxEntries);
}

int32_t CPlaylist::NextId()
{
    int32_t current = s_idCounter.load();
    int32_t next = 0;
    do {
        // Past the largest id the counter starts again at 0 instead of going negative.
        next = current == INT32_MAX ? 0 : current + 1;
    } while (!s_idCounter.compare_exchange_weak(current, next));
    return next;
}

void CPlaylist::RaiseIdCounter(int32_t id)
{
    int32_t current = s_idCounter.load();
    while (current < id && !s_idCounter.compare_exchange_weak(current, id)) {
    }
}

int32_t CPlaylist::IdCounter()
{
    return s_idCounter.load();
}

void CPlaylist::SetIdCounter(int32_t value)
{
    s_idCounter.store(value);
}

bool CPlaylist::IsTrackFile(const std::string& path)
{
    const std::string_view extension = TrackText::Extension(path);
    for (const char* accepted : {".mp3", ".wav", ".cda", ".mp2", ".mp1", ".flac", ".ogg", ".oga", ".opus",
                                 ".m4a", ".mp4", ".aac", ".aif", ".aiff", ".wma"}) {
        if (TrackText::EqualNoCase(extension, accepted))
            return true;
    }
    return false;
}

int CPlaylist::AddTrack(const std::string& path, bool check, const std::string& listFolder, int32_t mediaHint)
{
    if (!IsTrackFile(path))
        return kNotAccepted;
    if (Count() >= kMaxEntries)
        return kFull;

    TrackEntry entry;
    entry.id = NextId();
    std::string location = path;
    bool found = false;
    if (!listFolder.empty()) {
        // Tracks that moved together with their list are found next to it first.
        const std::string beside = listFolder + std::string(TrackText::FileName(path));
        if (IsFile(beside)) {
            location = beside;
            found = true;
        } else if (IsRelative(path) && IsFile(listFolder + WithSlashes(path))) {
            // A relative path in a list is relative to the list, not to our working folder.
            location = listFolder + WithSlashes(path);
            found = true;
        }
    }
    if (!found)
        found = IsFile(location);

    const bool cd = mediaHint == kMediaAudioCd || TrackText::EqualNoCase(TrackText::Extension(path), ".cda");
    if (cd)
        entry.media = kMediaAudioCd;
    else if (mediaHint == kMediaRemovable || !m_drives.RemovableDriveOf(location).empty())
        entry.media = kMediaRemovable;

    if (!found) {
        if (entry.media == kMediaRemovable) {
            if (std::string moved = m_drives.FindOnRemovable(location); !moved.empty()) {
                location = std::move(moved);
                found = true;
            }
        } else if (entry.media == kMediaAudioCd && !location.empty()) {
            location[0] = m_drives.CdLetter();
            const int number = CdTrackNumber(location);
            found = number > 0 && m_drives.CdTrackExists(number);
        }
    }
    if (found && entry.media != kMediaAudioCd && IsRelative(location))
        location = FileStatus::Absolute(location);

    entry.exists = found;
    entry.title =
        TrackText::Cut(TrackText::Utf8FromUnknown(TrackText::Stem(location)), TrackEntry::kTextBytes);
    entry.location = std::move(location);
    if (check && found && entry.media != kMediaAudioCd)
        CTrackTags::Read(entry.location, entry);

    entry.changed = true;
    m_entries.push_back(std::move(entry));
    m_changed = true;
    if (m_timeLine != nullptr)
        m_timeLine->Append(m_entries.back().id, 0, false);
    return Count() - 1;
}

int CPlaylist::AddCopy(const TrackEntry& entry)
{
    if (Count() >= kMaxEntries)
        return -1;
    m_entries.push_back(entry);
    TrackEntry& copy = m_entries.back();
    copy.id = NextId();
    copy.changed = true;
    m_changed = true;
    if (m_timeLine != nullptr)
        m_timeLine->Append(copy.id, ClampedMs(LengthMs(copy)), false);
    return Count() - 1;
}

int CPlaylist::Remove(int index, bool force)
{
    if (index < 0 || index >= Count())
        return 0;
    if (m_entries[static_cast<size_t>(index)].lock && !force)
        return 0;
    const int32_t id = m_entries[static_cast<size_t>(index)].id;
    m_entries.erase(m_entries.begin() + index);
    if (m_current > index)
        --m_current;
    for (int i = index; i < Count(); ++i)
        m_entries[static_cast<size_t>(i)].changed = true;
    m_changed = true;
    if (m_timeLine != nullptr)
        m_timeLine->RemoveTrack(id, true);
    return 1;
}

void CPlaylist::Move(int from, int to)
{
    if (from < 0 || from >= Count() || to < 0 || to >= Count() || from == to)
        return;
    TrackEntry moved = std::move(m_entries[static_cast<size_t>(from)]);
    m_entries.erase(m_entries.begin() + from);
    m_entries.insert(m_entries.begin() + to, std::move(moved));
    if (m_current == from)
        m_current = to;
    else if (from < m_current && to >= m_current)
        --m_current;
    else if (from > m_current && to <= m_current)
        ++m_current;
    for (int i = std::min(from, to); i <= std::max(from, to); ++i)
        m_entries[static_cast<size_t>(i)].changed = true;
    m_changed = true;
}

void CPlaylist::Clear()
{
    m_entries.clear();
    m_title.clear();
    m_current = 0;
    m_changed = true;
    if (m_timeLine != nullptr)
        m_timeLine->Clear();
}

int CPlaylist::FillFromCd()
{
    Clear();
    const int tracks = m_drives.OpenCd();
    for (int number = 1; number <= tracks && Count() < kMaxEntries; ++number) {
        if (!m_drives.CdTrackExists(number))
            continue;
        char text[32];
        TrackEntry entry;
        entry.id = NextId();
        std::snprintf(text, sizeof text, "%c:\\Track%02i.cda", m_drives.CdLetter(), number);
        entry.location = text;
        std::snprintf(text, sizeof text, "CD Track %02i", number);
        entry.title = text;
        entry.trackNumber = number;
        entry.playTime = m_drives.CdTrackSeconds(number);
        entry.media = kMediaAudioCd;
        entry.exists = true;
        m_entries.push_back(std::move(entry));
        if (m_timeLine != nullptr)
            m_timeLine->Append(m_entries.back().id, ClampedMs(LengthMs(m_entries.back())), false);
    }
    return Count();
}

bool CPlaylist::Recheck(TrackEntry& entry) const
{
    bool found = IsFile(entry.location);
    if (!found && entry.media == kMediaRemovable) {
        if (std::string moved = m_drives.FindOnRemovable(entry.location); !moved.empty()) {
            entry.location = std::move(moved);
            found = true;
        }
    }
    if (found != entry.exists) {
        entry.exists = found;
        entry.changed = true;
    }
    return found;
}

int CPlaylist::Refresh(bool removeMissingCd)
{
    int removed = 0;
    for (int i = Count() - 1; i >= 0; --i) {
        TrackEntry& entry = m_entries[static_cast<size_t>(i)];
        if (entry.media != kMediaAudioCd) {
            Recheck(entry);
        } else if (removeMissingCd) {
            const int number = CdTrackNumber(entry.location);
            if (number == 0 || !m_drives.CdTrackExists(number)) {
                Remove(i, true);
                removed = 1;
            }
        }
    }
    return removed;
}

int CPlaylist::AllLockedPresent() const
{
    for (const TrackEntry& entry : m_entries) {
        if (entry.lock && !entry.exists)
            return 0;
    }
    return 1;
}

void CPlaylist::Unlock()
{
    for (TrackEntry& entry : m_entries)
        entry.lock = false;
}

int CPlaylist::Find(int start, const std::string& any, const std::string& title, const std::string& artist,
                    const std::string& album) const
{
    const int count = Count();
    if (count == 0)
        return -1;
    if (start < 0 || start >= count)
        start = 0;
    using TrackText::ContainsNoCase;
    for (int k = 0; k < count; ++k) {
        const int index = (start + k) % count;
        const TrackEntry& entry = m_entries[static_cast<size_t>(index)];
        const bool anyMatches = ContainsNoCase(entry.title, any) || ContainsNoCase(entry.artist, any) ||
                                ContainsNoCase(entry.album, any);
        if (anyMatches && ContainsNoCase(entry.title, title) && ContainsNoCase(entry.artist, artist) &&
            ContainsNoCase(entry.album, album))
            return index;
    }
    return -1;
}

struct CPlaylist::FolderWalk {
    bool includeSubFolders = false;
    ListLoadReport* report = nullptr; // the caller's, outlives the walk
    bool full = false;                // the list holds 999: further track files are only counted
    int countedAfterFull = 0;         // names looked at since, up to kMaxCounted
    bool stopped = false;

    // Whether the walk goes on after one more name looked at with the list full. Without a
    // report there is nothing to count, so the walk ends.
    bool CountOne()
    {
        if (report == nullptr || ++countedAfterFull > ListLoadReport::kMaxCounted) {
            if (report != nullptr)
                report->countingStopped = true;
            stopped = true;
        }
        return !stopped;
    }
};

namespace {

struct FolderItem {
    std::string name;
    bool folderHint = false; // the folder listing says it is a folder, even when stat cannot tell
};

std::string Unreadable(const char* reason, int error)
{
    return std::string(reason) + ": " + std::system_category().message(error);
}

} // namespace

int CPlaylist::AddFolder(const std::string& folder, bool includeSubFolders, ListLoadReport* report)
{
    const int before = Count();
    std::string root = folder;
    while (root.size() > 1 && (root.back() == '/' || root.back() == '\\'))
        root.pop_back();
    FolderWalk walk;
    walk.includeSubFolders = includeSubFolders;
    walk.report = report;
    walk.full = Count() >= kMaxEntries;
    AddFolderRecursive(root, walk);
    m_changed = true;
    return Count() - before;
}

void CPlaylist::AddFolderRecursive(const std::string& folder, FolderWalk& walk)
{
    std::vector<FolderItem> items;
    {
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
        if (!dir) {
            if (walk.report != nullptr)
                walk.report->Drop(folder, Unreadable(ListLoadReport::kUnreadableFolder, errno));
            return;
        }
        while (const dirent* item = readdir(dir.get())) {
            std::string name = item->d_name;
            if (name != "." && name != "..")
                items.push_back({std::move(name), item->d_type == DT_DIR});
        }
    }
    // In name order as a file browser shows it, not in the order the file system keeps.
    std::sort(items.begin(), items.end(), [](const FolderItem& a, const FolderItem& b) {
        return TrackText::CompareNames(a.name, b.name) < 0;
    });

    // A folder's own files come first, then its sub-folders: the tracks of an album before its
    // "Bonus" or "Scans" folders.
    const std::string prefix = folder == "/" ? folder : folder + "/";
    std::vector<std::string> subFolders;
    for (const FolderItem& item : items) {
        if (walk.full && !walk.CountOne())
            return;
        const std::string path = prefix + item.name;
        const FileStatus::Status status = FileStatus::Of(path);
        if (status.kind == FileStatus::Kind::Folder ||
            (status.kind == FileStatus::Kind::NotFound && item.folderHint)) {
            if (!walk.includeSubFolders)
                continue;
            // A link to a folder may lead back to one of its parents: only real sub-folders are
            // entered, so the scan always ends.
            if (status.kind == FileStatus::Kind::Folder && !FileStatus::IsLink(path))
                subFolders.push_back(path);
            else if (status.kind == FileStatus::Kind::NotFound && walk.report != nullptr)
                walk.report->Drop(path, Unreadable(ListLoadReport::kUnreadableFolder, status.error));
            continue;
        }
        // Covers, notes and playlists lie in music folders as a matter of course.
        if (!IsTrackFile(path))
            continue;
        if (walk.full) {
            ++walk.report->beyondLimit;
            continue;
        }
        if (status.kind != FileStatus::Kind::Regular) {
            if (walk.report != nullptr) {
                walk.report->Drop(path, status.kind == FileStatus::Kind::Device ? ListLoadReport::kDevice
                                        : status.kind == FileStatus::Kind::Other
                                            ? ListLoadReport::kNotRegularFile
                                            : Unreadable(ListLoadReport::kUnreadable, status.error));
            }
            continue;
        }
        if (AddTrack(path, true) == kFull) {
            walk.full = true;
            if (walk.CountOne())
                ++walk.report->beyondLimit;
            else
                return;
        }
    }
    for (const std::string& subFolder : subFolders) {
        if (walk.stopped)
            return;
        AddFolderRecursive(subFolder, walk);
    }
}

bool CPlaylist::LearnPlayTime(int32_t id, double lengthSeconds)
{
    const int index = IndexOfId(id);
    if (index < 0 || !std::isfinite(lengthSeconds) || lengthSeconds < 0.0)
        return false;
    TrackEntry& entry = m_entries[static_cast<size_t>(index)];
    entry.playTime = static_cast<int32_t>(std::min(std::lround(lengthSeconds), long{INT32_MAX / 1000}));
    ++entry.playCount;
    entry.changed = true;
    m_changed = true;
    if (m_timeLine != nullptr)
        m_timeLine->SetTrackLength(id, ClampedMs(LengthMs(entry)));
    return true;
}

bool CPlaylist::NotePlayTime(int32_t id, double lengthSeconds)
{
    const int index = IndexOfId(id);
    if (index < 0 || !std::isfinite(lengthSeconds) || lengthSeconds < 0.0)
        return false;
    TrackEntry& entry = m_entries[static_cast<size_t>(index)];
    const auto seconds = static_cast<int32_t>(std::min(std::lround(lengthSeconds), long{INT32_MAX / 1000}));
    if (entry.playTime == seconds)
        return true;
    entry.playTime = seconds;
    entry.changed = true;
    m_changed = true;
    if (m_timeLine != nullptr)
        m_timeLine->SetTrackLength(id, ClampedMs(LengthMs(entry)));
    return true;
}

bool CPlaylist::ReadId3(const std::string& path, TrackEntry& entry)
{
    return CTrackTags::Read(path, entry);
}

bool CPlaylist::WriteId3(const std::string& path, const TrackEntry& entry)
{
    return CTrackTags::Write(path, entry);
}

void CPlaylist::RebuildTimeLine()
{
    if (m_timeLine == nullptr)
        return;
    m_timeLine->Clear();
    for (const TrackEntry& entry : m_entries)
        m_timeLine->Append(entry.id, ClampedMs(LengthMs(entry)), false);
}

int CPlaylist::IndexOfId(int32_t id) const
{
    for (int i = 0; i < Count(); ++i) {
        if (m_entries[static_cast<size_t>(i)].id == id)
            return i;
    }
    return -1;
}

TrackEntry* CPlaylist::EntryById(int32_t id)
{
    const int index = IndexOfId(id);
    return index < 0 ? nullptr : &m_entries[static_cast<size_t>(index)];
}

void CPlaylist::SetTitle(const std::string& title)
{
    m_title = title;
    m_changed = true;
}

int CPlaylist::FirstSelected() const
{
    return NextSelected(-1);
}

int CPlaylist::NextSelected(int after) const
{
    for (int i = std::max(after + 1, 0); i < Count(); ++i) {
        if (m_entries[static_cast<size_t>(i)].selected)
            return i;
    }
    return -1;
}

void CPlaylist::SetSelected(int index, bool selected)
{
    if (index < 0 || index >= Count())
        return;
    TrackEntry& entry = m_entries[static_cast<size_t>(index)];
    if (entry.selected != selected) {
        entry.selected = selected;
        entry.changed = true;
    }
}

void CPlaylist::ClearSelection()
{
    for (TrackEntry& entry : m_entries) {
        if (entry.selected) {
            entry.selected = false;
            entry.changed = true;
        }
    }
}
