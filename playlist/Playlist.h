#pragma once

#include "TrackEntry.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CMediaDrives;
class CTimeLine;
struct ListLoadReport;

// One list of at most 999 track entries with a title: the Time Line list or a case. The Time
// Line list also keeps a CTimeLine in step (added entries appended, removed ones removed).
//
// Threads: one thread edits a list at a time (the user thread, or the folder-import worker
// while the user leaves that list alone). A list that feeds the Time Line is changed only while
// the application holds its busy flag, so the audio thread never sees a half-changed Time Line.
class CPlaylist {
public:
    static constexpr int kMaxEntries = 999;
    static constexpr int kNotAccepted = -1; // AddTrack: not a track file type
    static constexpr int kFull = -2;        // AddTrack: 999 entries already

    // Uses the program's drives.
    CPlaylist();
    explicit CPlaylist(CMediaDrives& drives);
    CPlaylist(const CPlaylist&) = delete;
    CPlaylist& operator=(const CPlaylist&) = delete;

    // The id counter shared by every list of the run.
    static int32_t NextId();
    static void RaiseIdCounter(int32_t id);
    static int32_t IdCounter();
    static void SetIdCounter(int32_t value);
    // Accepted in any case: .mp3 .mp2 .mp1 .wav .cda, and what FFmpeg reads for us: .flac .ogg .oga
    // .opus .m4a .mp4 .aac .aif .aiff .wma.
    static bool IsTrackFile(const std::string& path);

    // The new entry's index, kNotAccepted or kFull. check reads the tags of a found file;
    // listFolder (ending in a separator, or empty) is looked in first for the file name;
    // mediaHint is a TrackMedia from a list file, or kMediaFixed.
    int AddTrack(const std::string& path, bool check, const std::string& listFolder = {},
                 int32_t mediaHint = kMediaFixed);
    // A copy under a new id; its index, or -1 when the list is full.
    int AddCopy(const TrackEntry& entry);
    // 0 when the entry is locked and force is off (nothing removed), else 1.
    int Remove(int index, bool force);
    void Move(int from, int to);
    void Clear();
    // Replaces the list with the audio tracks of the CD; the number of entries.
    int FillFromCd();
    // Re-checks every entry; with removeMissingCd, drops CD entries whose track is gone. 1 when
    // an entry was removed.
    int Refresh(bool removeMissingCd);
    // Whether a file can be found for the entry now; a removable-drive entry found on another
    // drive takes that location.
    bool Recheck(TrackEntry& entry) const;
    // 0 when a locked entry is missing.
    int AllLockedPresent() const;
    void Unlock();
    // First index from start on (wrapping once) whose title, artist or album holds any and whose
    // title, artist and album hold their patterns; case-insensitive. -1 when none.
    int Find(int start, const std::string& any, const std::string& title, const std::string& artist,
             const std::string& album) const;
    // Every track file in the folder (and its sub-folders); the number added. Stops at 999.
    // Each folder is taken in name order (TrackText::CompareNames): its files first, then its
    // sub-folders. report, when given, receives the track-named entries that are no regular
    // file, the folders that cannot be read and the count of track files beyond the 999; other
    // files (covers, notes) are not reported.
    int AddFolder(const std::string& folder, bool includeSubFolders, ListLoadReport* report = nullptr);

    // A track left a deck after playing: its length in seconds becomes the play time, the play
    // count rises and the Time Line item gets the length. False when no entry has the id.
    bool LearnPlayTime(int32_t id, double lengthSeconds);
    // The length of a track on a deck, learned while it plays: as LearnPlayTime without counting
    // a play, and changing nothing when the entry already holds that time.
    bool NotePlayTime(int32_t id, double lengthSeconds);

    // The file's tags into the entry, and the entry into the file's tags (see CTrackTags).
    static bool ReadId3(const std::string& path, TrackEntry& entry);
    static bool WriteId3(const std::string& path, const TrackEntry& entry);

    // The Time Line this list feeds (null: none); it must outlive the attachment.
    void SetTimeLine(CTimeLine* timeLine) { m_timeLine = timeLine; }
    CTimeLine* TimeLine() const { return m_timeLine; }
    // Clears the Time Line and appends every entry with its play time.
    void RebuildTimeLine();

    int Count() const { return static_cast<int>(m_entries.size()); }
    TrackEntry& Entry(int index) { return m_entries[static_cast<size_t>(index)]; }
    const TrackEntry& Entry(int index) const { return m_entries[static_cast<size_t>(index)]; }
    // Index of the entry with that id, or -1.
    int IndexOfId(int32_t id) const;
    // The entry with that id, or null.
    TrackEntry* EntryById(int32_t id);
    const std::string& Title() const { return m_title; }
    void SetTitle(const std::string& title);
    int CurrentIndex() const { return m_current; }
    void SetCurrentIndex(int index) { m_current = index; }
    bool Changed() const { return m_changed; }
    void SetChanged(bool changed) { m_changed = changed; }
    CMediaDrives& Drives() const { return m_drives; }

    // Selection of the list window.
    int FirstSelected() const;
    int NextSelected(int after) const;
    void SetSelected(int index, bool selected);
    void ClearSelection();

private:
    struct FolderWalk;
    void AddFolderRecursive(const std::string& folder, FolderWalk& walk);

    CMediaDrives& m_drives;            // the program's drives outlive every list
    std::vector<TrackEntry> m_entries; // at most 999, room reserved at construction
    std::string m_title;
    bool m_changed = false;
    int m_current = 0;
    CTimeLine* m_timeLine = nullptr; // owned by the application, which outlives its lists

    static std::atomic<int32_t> s_idCounter;
};
