#include "ListLoadReport.h"

#include "Playlist.h"

#include <algorithm>
#include <cstring>

namespace {

// Long enough for the file name and its last folders, short enough for one line of a message box.
constexpr size_t kShownLocationBytes = 90;

bool StartsWith(const std::string& text, const char* start)
{
    return text.compare(0, std::strlen(start), start) == 0;
}

bool IsFolderReason(const std::string& reason)
{
    return StartsWith(reason, ListLoadReport::kUnreadableFolder) || reason == ListLoadReport::kFolder ||
           reason == ListLoadReport::kLinkLoop || reason == ListLoadReport::kFolderTwice;
}

// The end of a long path, where the names that tell files apart are; cut at a character start.
std::string Shortened(const std::string& location)
{
    if (location.size() <= kShownLocationBytes)
        return location;
    size_t start = location.size() - kShownLocationBytes;
    while (start < location.size() && (static_cast<unsigned char>(location[start]) & 0xC0) == 0x80)
        ++start;
    return "..." + location.substr(start);
}

} // namespace

std::string ListLoadReport::Message(size_t shown) const
{
    std::string text;
    const size_t lost = dropped.size() + static_cast<size_t>(droppedUnlisted);
    if (lost > 0) {
        // Only the listed ones are known to be folders; the unlisted count as files.
        size_t folders = 0;
        for (const Dropped& item : dropped)
            folders += IsFolderReason(item.reason) ? 1 : 0;
        const char* noun = folders == 0      ? (lost == 1 ? "file" : "files")
                           : folders == lost ? (lost == 1 ? "folder" : "folders")
                                             : "files and folders";
        text = std::to_string(lost) + " " + noun + " could not be added:";
        const size_t listed = std::min(shown, dropped.size());
        for (size_t i = 0; i < listed; ++i)
            text += "\n" + Shortened(dropped[i].location) + " (" + dropped[i].reason + ")";
        if (lost > listed)
            text += "\n... and " + std::to_string(lost - listed) + " more";
    }
    if (beyondLimit > 0) {
        if (!text.empty())
            text += "\n\n";
        text += "The list is full: ";
        if (countingStopped)
            text += "at least ";
        text += std::to_string(beyondLimit) +
                (beyondLimit == 1 && !countingStopped ? " track was" : " tracks were") + " left out (" +
                std::to_string(CPlaylist::kMaxEntries) + " at most).";
    }
    return text;
}
