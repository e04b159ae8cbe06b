#include "ListImport.h"

#include "FileStatus.h"
#include "MediaDrives.h"
#include "Playlist.h"
#include "TrackTags.h"
#include "TrackText.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <set>
#include <system_error>
#include <utility>

namespace {

struct FolderKey {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator<(const FolderKey& other) const
    {
        return device != other.device ? device < other.device : inode < other.inode;
    }
    bool operator==(const FolderKey& other) const = default;
};

struct FolderItem {
    std::string name;
    bool folderHint = false; // the folder listing says it is a folder, even when stat cannot tell
};

struct SubFolder {
    std::string path;
    FileStatus::Status status;
};

std::string Unreadable(const char* reason, int error)
{
    return std::string(reason) + ": " + std::system_category().message(error);
}

// Why a name whose status could not be read is lost: gone since it was listed or dropped, or
// the system's reason (a dangling link says "No such file or directory" too, but it never was
// there to vanish).
std::string NotFoundReason(const std::string& path, const FileStatus::Status& status)
{
    if (status.error == ENOENT && !FileStatus::IsLink(path))
        return ListLoadReport::kGone;
    return Unreadable(ListLoadReport::kUnreadable, status.error);
}

bool IsCdTrack(const std::string& path)
{
    return TrackText::EqualNoCase(TrackText::Extension(path), ".cda");
}

// What AddTrack makes of a track file it found, without the id, which only the user thread
// hands out.
TrackEntry EntryFor(const std::string& path)
{
    TrackEntry entry;
    entry.location = path;
    entry.exists = true;
    entry.title = TrackText::Cut(TrackText::Utf8FromUnknown(TrackText::Stem(path)), TrackEntry::kTextBytes);
    if (IsCdTrack(path))
        entry.media = kMediaAudioCd; // a CD track holds no tag
    else
        CTrackTags::Read(path, entry);
    entry.changed = true;
    return entry;
}

} // namespace

// One import's walk over its items, on the worker thread.
class CListImport::CWalk {
public:
    CWalk(CListImport& import, bool includeSubFolders)
        : m_import(import), m_report(import.m_result.report), m_entries(import.m_result.entries),
          m_includeSubFolders(includeSubFolders)
    {
    }

    void Item(const std::string& path)
    {
        if (Full() && !CountOne())
            return;
        const FileStatus::Status status = FileStatus::Of(path);
        if (status.kind == FileStatus::Kind::Folder) {
            // Each item is walked as a folder import of its own would: a folder dropped together
            // with its parent is taken twice, as two imports would take it.
            m_visited.clear();
            Folder(path, status);
            return;
        }
        m_import.m_filesSeen.fetch_add(1, std::memory_order_relaxed);
        if (status.kind == FileStatus::Kind::NotFound)
            m_report.Drop(path, NotFoundReason(path, status));
        else if (!CPlaylist::IsTrackFile(path))
            m_report.Drop(path, ListLoadReport::kNotTrackType);
        else
            Track(path, status);
    }

    // Whether the walk must end: cancelled, or counting stopped at its limit.
    bool Ended()
    {
        if (!m_cancelled && m_import.m_cancel.load(std::memory_order_relaxed))
            m_cancelled = true;
        return m_cancelled || m_stopped;
    }
    // Whether the walk was cut short, as last heard (no new look at the cancel).
    bool CutShort() const { return m_cancelled || m_stopped; }
    bool Cancelled() const { return m_cancelled; }

private:
    bool Full() const { return m_entries.size() >= static_cast<size_t>(CPlaylist::kMaxEntries); }

    // Whether the walk goes on after one more name looked at with the entries full.
    bool CountOne()
    {
        if (++m_countedAfterFull > ListLoadReport::kMaxCounted) {
            m_report.countingStopped = true;
            m_stopped = true;
        }
        return !m_stopped;
    }

    void Track(const std::string& path, const FileStatus::Status& status)
    {
        if (Full()) {
            ++m_report.beyondLimit;
            m_import.m_tracksFound.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        switch (status.kind) {
        case FileStatus::Kind::Regular:
            m_entries.push_back(EntryFor(path));
            m_import.m_tracksFound.fetch_add(1, std::memory_order_relaxed);
            break;
        case FileStatus::Kind::Device:
            m_report.Drop(path, ListLoadReport::kDevice);
            break;
        case FileStatus::Kind::NotFound:
            m_report.Drop(path, NotFoundReason(path, status));
            break;
        default:
            m_report.Drop(path, ListLoadReport::kNotRegularFile);
            break;
        }
    }

    void Folder(const std::string& folder, const FileStatus::Status& status)
    {
        const FolderKey key{status.device, status.inode};
        if (std::find(m_ancestors.begin(), m_ancestors.end(), key) != m_ancestors.end()) {
            m_report.Drop(folder, ListLoadReport::kLinkLoop);
            return;
        }
        if (!m_visited.insert(key).second) {
            m_report.Drop(folder, ListLoadReport::kFolderTwice);
            return;
        }
        std::vector<FolderItem> items;
        {
            const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
            if (!dir) {
                m_report.Drop(folder, Unreadable(ListLoadReport::kUnreadableFolder, errno));
                return;
            }
            // A folder of a hundred thousand names takes a while to list: the cancel is heard
            // inside it too.
            while (const dirent* item = readdir(dir.get())) {
                if (Ended())
                    return;
                std::string name = item->d_name;
                if (name != "." && name != "..")
                    items.push_back({std::move(name), item->d_type == DT_DIR});
            }
        }
        std::sort(items.begin(), items.end(), [](const FolderItem& a, const FolderItem& b) {
            return TrackText::CompareNames(a.name, b.name) < 0;
        });

        const std::string prefix = folder == "/" ? folder : folder + "/";
        std::vector<SubFolder> subFolders;
        for (const FolderItem& item : items) {
            if (Ended() || (Full() && !CountOne()))
                return;
            std::string path = prefix + item.name;
            const FileStatus::Status itemStatus = FileStatus::Of(path);
            if (itemStatus.kind == FileStatus::Kind::Folder ||
                (itemStatus.kind == FileStatus::Kind::NotFound && item.folderHint)) {
                if (!m_includeSubFolders)
                    continue;
                if (itemStatus.kind == FileStatus::Kind::Folder)
                    subFolders.push_back({std::move(path), itemStatus});
                else
                    m_report.Drop(path, Unreadable(ListLoadReport::kUnreadableFolder, itemStatus.error));
                continue;
            }
            m_import.m_filesSeen.fetch_add(1, std::memory_order_relaxed);
            // Covers, notes and playlists lie in music folders as a matter of course.
            if (CPlaylist::IsTrackFile(path))
                Track(path, itemStatus);
        }

        // Links are followed into folders, unlike a plain folder import: a music folder made
        // of links to albums elsewhere is common. The ancestors stop a link back to a parent.
        m_ancestors.push_back(key);
        for (const SubFolder& subFolder : subFolders) {
            if (Ended())
                break;
            Folder(subFolder.path, subFolder.status);
        }
        m_ancestors.pop_back();
    }

    CListImport& m_import;              // owns the walk's thread, outlives it
    ListLoadReport& m_report;           // the import's result, written only by this walk
    std::vector<TrackEntry>& m_entries; // likewise
    bool m_includeSubFolders = false;
    bool m_cancelled = false;           // Cancel was heard and cut the walk short
    bool m_stopped = false;             // counting beyond the 999 reached its limit
    int m_countedAfterFull = 0;         // names looked at with the entries full
    std::set<FolderKey> m_visited;      // folders entered for the current item
    std::vector<FolderKey> m_ancestors; // the folders holding the one being walked
};

CListImport::~CListImport()
{
    Stop();
}

void CListImport::Start(std::vector<std::string> items, bool includeSubFolders,
                        std::function<void()> finished)
{
    Stop();
    m_result = Result{};
    m_cancel.store(false);
    m_done.store(false);
    m_itemsDone.store(0);
    m_filesSeen.store(0);
    m_tracksFound.store(0);
    // Against the working folder of the moment the user dropped them.
    for (std::string& item : items) {
        // An empty name would become the working folder itself; it stays a name never found.
        if (item.empty())
            continue;
        item = FileStatus::Absolute(item);
        while (item.size() > 1 && item.back() == '/')
            item.pop_back();
    }
    m_itemsTotal.store(static_cast<int>(items.size()));
    try {
        m_worker =
            std::thread(&CListImport::Run, this, std::move(items), includeSubFolders, std::move(finished));
    } catch (const std::system_error&) {
        // No thread to be had: the window waits for the scan rather than losing the drop.
        Run(std::move(items), includeSubFolders, std::move(finished));
    }
}

void CListImport::Cancel()
{
    m_cancel.store(true, std::memory_order_relaxed);
}

void CListImport::Stop()
{
    Cancel();
    if (m_worker.joinable())
        m_worker.join();
}

CListImport::Result CListImport::TakeResult()
{
    // The join, not Done(), is what makes the worker's writes visible here.
    if (m_worker.joinable())
        m_worker.join();
    Result result = std::move(m_result);
    m_result = Result{};
    return result;
}

void CListImport::Run(std::vector<std::string> items, bool includeSubFolders, std::function<void()> finished)
{
    CWalk walk(*this, includeSubFolders);
    for (const std::string& item : items) {
        if (walk.Ended())
            break;
        walk.Item(item);
        if (walk.CutShort())
            break;
        m_itemsDone.fetch_add(1, std::memory_order_relaxed);
    }
    m_result.cancelled = walk.Cancelled();
    m_done.store(true, std::memory_order_release);
    if (finished)
        finished();
}

int CListImport::AppendTo(CPlaylist& list, const std::vector<TrackEntry>& entries, ListLoadReport& report)
{
    int added = 0;
    for (const TrackEntry& entry : entries) {
        const int index = list.AddCopy(entry);
        if (index < 0)
            break;
        // The drive check is a comparison of the path with the mount folders, no file access.
        TrackEntry& copy = list.Entry(index);
        if (copy.media == kMediaFixed && !list.Drives().RemovableDriveOf(copy.location).empty())
            copy.media = kMediaRemovable;
        ++added;
    }
    report.beyondLimit += static_cast<int>(entries.size()) - added;
    return added;
}
