#include "M3uPlaylist.h"

#include "Fd.h"
#include "FileReplacer.h"
#include "FileStatus.h"
#include "ListLoadReport.h"
#include "Playlist.h"
#include "TimeLine.h"
#include "TrackText.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// atoi on the text before the comma, without atoi's undefined overflow.
int LeadingInteger(const std::string& text)
{
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
}

bool Readable(const std::string& path)
{
    int error = 0;
    return OpenRegularFile(path, error).Valid();
}

// A line is a path only up to here: longer ones name no file on any system, and without a
// bound a file without line feeds would be held whole.
constexpr size_t kMaxLineBytes = 1u << 20;

// The lines of a file through its descriptor, each without its line feed (and carriage return).
class CLineReader {
public:
    explicit CLineReader(int fd) : m_fd(fd), m_buffer(64 * 1024) {}

    // False at the end of the file or on a read error. tooLong: the line was cut at kMaxLineBytes.
    bool Next(std::string& line, bool& tooLong)
    {
        line.clear();
        tooLong = false;
        bool any = false;
        for (;;) {
            if (m_at == m_end && !Fill())
                return any;
            any = true;
            const char* begin = m_buffer.data() + m_at;
            const char* stop = static_cast<const char*>(std::memchr(begin, '\n', m_end - m_at));
            const size_t length = stop != nullptr ? static_cast<size_t>(stop - begin) : m_end - m_at;
            const size_t room = kMaxLineBytes - std::min(line.size(), kMaxLineBytes);
            if (length > room)
                tooLong = true;
            line.append(begin, std::min(length, room));
            m_at += length;
            if (stop != nullptr) {
                ++m_at;
                // Lists written on Windows end their lines with CR LF.
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return true;
            }
        }
    }

private:
    bool Fill()
    {
        for (;;) {
            const ssize_t got = read(m_fd, m_buffer.data(), m_buffer.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            m_at = 0;
            m_end = static_cast<size_t>(got);
            return true;
        }
    }

    int m_fd; // the caller's, outlives the reader
    std::vector<char> m_buffer;
    size_t m_at = 0;
    size_t m_end = 0;
};

bool IsListFile(const std::string& path)
{
    const std::string_view extension = TrackText::Extension(path);
    for (const char* list : {".m3u", ".m3u8", ".qzl", ".qzx"}) {
        if (TrackText::EqualNoCase(extension, list))
            return true;
    }
    return false;
}

// The first of the names AddTrack tries for line that names anything at all.
FileStatus::Status StatusOfLine(const std::string& line, const std::string& baseFolder)
{
    FileStatus::Status status;
    if (!baseFolder.empty()) {
        status = FileStatus::Of(baseFolder + std::string(TrackText::FileName(line)));
        if (status.kind != FileStatus::Kind::NotFound)
            return status;
        if (line.front() != '/' && !(line.size() >= 2 && line[1] == ':')) {
            std::string relative = line;
            std::replace(relative.begin(), relative.end(), '\\', '/');
            status = FileStatus::Of(baseFolder + relative);
            if (status.kind != FileStatus::Kind::NotFound)
                return status;
        }
    }
    return FileStatus::Of(line);
}

// Why line cannot become an entry, or null when it can. byNameOnly judges the name alone: lines
// past the 999 are only counted, up to a million of them, without a look at the disk.
const char* DropReason(const std::string& line, const std::string& baseFolder,
                       const FileStatus::Status& listStatus, bool byNameOnly)
{
    const FileStatus::Status status = byNameOnly ? FileStatus::Status{} : StatusOfLine(line, baseFolder);
    if (status.SameFile(listStatus))
        return ListLoadReport::kTheListItself;
    switch (status.kind) {
    case FileStatus::Kind::Folder:
        return ListLoadReport::kFolder;
    case FileStatus::Kind::Device:
        return ListLoadReport::kDevice;
    case FileStatus::Kind::Other:
        return ListLoadReport::kNotRegularFile;
    case FileStatus::Kind::NotFound:
    case FileStatus::Kind::Regular:
        break;
    }
    if (IsListFile(line))
        return ListLoadReport::kListInList;
    if (!CPlaylist::IsTrackFile(line))
        return ListLoadReport::kNotTrackType;
    return nullptr;
}

} // namespace

bool CM3uPlaylist::LoadM3u(CPlaylist& list, const std::string& path, bool append, ListLoadReport* report)
{
    int error = 0;
    const CFd fd = OpenRegularFile(path, error);
    if (!fd.Valid())
        return false;
    const FileStatus::Status listStatus = FileStatus::OfDescriptor(fd.Get());

    if (!append)
        list.Clear();
    list.SetTitle(TrackText::Utf8FromUnknown(TrackText::Stem(path)));
    // Absolute, so that a bare list name ("list.m3u") still has a folder to look in.
    const std::string baseFolder(TrackText::Folder(FileStatus::Absolute(path)));

    std::string pendingTitle;
    int pendingSeconds = -1;
    std::string line;
    bool tooLong = false;
    int linesAfterFull = 0;
    CLineReader reader(fd.Get());
    while (reader.Next(line, tooLong)) {
        // Past the 999 the lines are only counted, and only so far; without a report, not at all.
        if (list.Count() >= CPlaylist::kMaxEntries &&
            (report == nullptr || ++linesAfterFull > ListLoadReport::kMaxCounted)) {
            if (report != nullptr)
                report->countingStopped = true;
            break;
        }
        if (line.empty())
            continue;
        if (line.front() != '#') {
            const bool full = list.Count() >= CPlaylist::kMaxEntries;
            const char* reason =
                tooLong ? ListLoadReport::kLineTooLong : DropReason(line, baseFolder, listStatus, full);
            int index = -1;
            if (reason == nullptr && !full)
                index = list.AddTrack(line, true, baseFolder);
            if (index >= 0) {
                TrackEntry& entry = list.Entry(index);
                if (!pendingTitle.empty())
                    entry.title =
                        TrackText::Cut(TrackText::Utf8FromUnknown(pendingTitle), TrackEntry::kTextBytes);
                if (pendingSeconds != -1)
                    entry.playTime = pendingSeconds;
            } else if (report != nullptr) {
                if (reason != nullptr)
                    report->Drop(line, reason);
                else if (full || index == CPlaylist::kFull)
                    ++report->beyondLimit;
                else
                    report->Drop(line, ListLoadReport::kNotTrackType);
            }
            pendingTitle.clear();
            pendingSeconds = -1;
        } else if (const size_t tag = line.find("#EXTINF:"); tag != std::string::npos) {
            const std::string rest = line.substr(tag + 8);
            const size_t comma = rest.find(',');
            if (comma != std::string::npos) {
                pendingTitle = rest.substr(comma + 1);
                pendingSeconds = LeadingInteger(rest.substr(0, comma));
            }
        }
    }

    if (!append && list.TimeLine() != nullptr) {
        CTimeLine& timeLine = *list.TimeLine();
        timeLine.Clear();
        for (int i = 0; i < list.Count(); ++i) {
            const TrackEntry& entry = list.Entry(i);
            const int32_t length =
                entry.playTime > 0 && entry.playTime <= INT32_MAX / 1000 ? entry.playTime * 1000 : -1;
            timeLine.Append(entry.id, length, false);
        }
    }
    for (int i = 0; i < list.Count(); ++i) {
        if (list.Entry(i).media != kMediaAudioCd)
            list.Recheck(list.Entry(i));
    }
    list.SetChanged(true);
    return true;
}

bool CM3uPlaylist::WriteM3u(const CPlaylist& list, const std::string& path)
{
    CFileReplacer file(path);
    if (!file.Open())
        return false;
    // The list's folder as an absolute path: a bare name is only written for a track whose
    // stored folder is exactly that.
    std::string listFolder(TrackText::Folder(path));
    if (listFolder.empty() || listFolder.front() != '/') {
        char* cwd = getcwd(nullptr, 0);
        if (cwd != nullptr) {
            listFolder = std::string(cwd) + "/" + listFolder;
            std::free(cwd);
        }
    }
    std::string text;
    for (int i = 0; i < list.Count(); ++i) {
        const std::string& location = list.Entry(i).location;
        std::string line = location;
        if (TrackText::Folder(location) == listFolder && Readable(location))
            line = std::string(TrackText::FileName(location));
        text += line;
        text += '\n';
    }
    return file.Write(text) && file.Commit();
}
