#include "Playlist.h"

#include "Id3v1.h"
#include "MediaDrives.h"
#include "TimeLine.h"
#include "TrackText.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>

std::atomic<int32_t> CPlaylist::s_idCounter{0};

namespace {

bool IsFile(const std::string& path)
{
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
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
    for (const char* accepted : {".mp3", ".wav", ".cda", ".mp2", ".mp1"}) {
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
    if (found && entry.media != kMediaAudioCd && IsRelative(location)) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(location, error);
        if (!error)
            location = absolute.lexically_normal().string();
    }

    entry.exists = found;
    entry.title =
        TrackText::Cut(TrackText::Utf8FromUnknown(TrackText::Stem(location)), TrackEntry::kTextBytes);
    entry.location = std::move(location);
    if (check && found && entry.media != kMediaAudioCd)
        CId3v1::Read(entry.location, entry);

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

int CPlaylist::AddFolder(const std::string& folder, bool includeSubFolders)
{
    const int before = Count();
    bool full = false;
    std::string root = folder;
    while (root.size() > 1 && (root.back() == '/' || root.back() == '\\'))
        root.pop_back();
    AddFolderRecursive(root, includeSubFolders, full);
    m_changed = true;
    return Count() - before;
}

int CPlaylist::AddFolderRecursive(const std::string& folder, bool includeSubFolders, bool& full)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir)
        return 0;
    int added = 0;
    const std::string prefix = folder == "/" ? folder : folder + "/";
    while (const dirent* item = readdir(dir.get())) {
        const std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = prefix + name;
        struct stat info {};
        if (stat(path.c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            // A link to a folder may lead back to one of its parents: only real sub-folders are
            // entered, so the scan always ends.
            struct stat own {};
            if (includeSubFolders && lstat(path.c_str(), &own) == 0 && !S_ISLNK(own.st_mode))
                added += AddFolderRecursive(path, includeSubFolders, full);
            continue;
        }
        const int index = AddTrack(path, true);
        if (index == kFull) {
            full = true;
            break;
        }
        if (index >= 0)
            ++added;
    }
    return added;
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

bool CPlaylist::ReadId3(const std::string& path, TrackEntry& entry)
{
    return CId3v1::Read(path, entry);
}

bool CPlaylist::WriteId3(const std::string& path, const TrackEntry& entry)
{
    return CId3v1::Write(path, entry);
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
