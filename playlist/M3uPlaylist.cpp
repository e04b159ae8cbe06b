#include "M3uPlaylist.h"

#include "FileReplacer.h"
#include "Playlist.h"
#include "TimeLine.h"
#include "TrackText.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// atoi on the text before the comma, without atoi's undefined overflow.
int LeadingInteger(const std::string& text)
{
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
}

bool Readable(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    const bool file = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    close(fd);
    return file;
}

} // namespace

bool CM3uPlaylist::LoadM3u(CPlaylist& list, const std::string& path, bool append)
{
    std::ifstream in(path, std::ios::binary);
    struct stat info {};
    if (!in || stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
        return false;

    if (!append)
        list.Clear();
    list.SetTitle(TrackText::Utf8FromUnknown(TrackText::Stem(path)));
    const std::string baseFolder(TrackText::Folder(path));

    std::string pendingTitle;
    int pendingSeconds = -1;
    std::string line;
    while (std::getline(in, line)) {
        // Lists written on Windows end their lines with CR LF.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line.front() != '#') {
            const int index = list.AddTrack(line, true, baseFolder);
            if (index >= 0) {
                TrackEntry& entry = list.Entry(index);
                if (!pendingTitle.empty())
                    entry.title =
                        TrackText::Cut(TrackText::Utf8FromUnknown(pendingTitle), TrackEntry::kTextBytes);
                if (pendingSeconds != -1)
                    entry.playTime = pendingSeconds;
            }
            pendingTitle.clear();
            pendingSeconds = -1;
            continue;
        }
        const size_t tag = line.find("#EXTINF:");
        if (tag == std::string::npos)
            continue;
        const std::string rest = line.substr(tag + 8);
        const size_t comma = rest.find(',');
        if (comma != std::string::npos) {
            pendingTitle = rest.substr(comma + 1);
            pendingSeconds = LeadingInteger(rest.substr(0, comma));
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
