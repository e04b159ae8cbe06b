#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// What a list reader or a folder import could not take, for the caller to tell the user. A
// track a list names but that is missing is no loss (its entry stays, marked as not found) and
// is not reported; a dropped file that vanished before the import reached it adds nothing and
// is reported (kGone).
struct ListLoadReport {
    // Reasons, as the user reads them.
    static constexpr const char* kTheListItself = "the list itself";
    static constexpr const char* kFolder = "a folder";
    static constexpr const char* kDevice = "a device";
    static constexpr const char* kNotRegularFile = "not a regular file"; // a FIFO or a socket
    static constexpr const char* kNotTrackType = "not a track file type";
    static constexpr const char* kListInList = "a list inside a list";
    static constexpr const char* kLineTooLong = "a line too long to name a file";
    // Followed by ": " and the system's words ("Too many levels of symbolic links").
    static constexpr const char* kUnreadable = "cannot be read";
    static constexpr const char* kUnreadableFolder = "a folder that cannot be read";
    // Dropped or chosen, then moved or deleted before the scan reached it.
    static constexpr const char* kGone = "no longer there";
    // A link (or a bind mount) inside a folder that leads to that folder or one holding it.
    static constexpr const char* kLinkLoop = "a link back to a folder that holds it";
    // A second way into a folder taken already in the same import: its tracks are in once.
    static constexpr const char* kFolderTwice = "a folder already taken under another name";

    // A hostile list may name millions of unusable files; past this many only the count grows.
    static constexpr size_t kMaxListed = 10000;
    // Counting beyond the 999 stops after this many lines of a list or names of a folder walk.
    static constexpr int kMaxCounted = 1000000;

    struct Dropped {
        std::string location; // as the list wrote it, or the path found in a folder
        std::string reason;   // one of the reasons above
    };
    std::vector<Dropped> dropped; // in the order met, at most kMaxListed
    int droppedUnlisted = 0;      // dropped past kMaxListed, counted only
    int beyondLimit = 0;          // entries left out because the list already held 999
    bool countingStopped = false; // beyondLimit stopped at kMaxCounted: there are more

    void Drop(std::string location, std::string reason)
    {
        if (dropped.size() < kMaxListed)
            dropped.push_back({std::move(location), std::move(reason)});
        else
            ++droppedUnlisted;
    }
    bool Empty() const { return dropped.empty() && droppedUnlisted == 0 && beyondLimit == 0; }
    // Everything above as one text for a message box: how many could not be added with the
    // first shown of them and their reasons, then how many the full list left out. Empty when
    // nothing was lost.
    std::string Message(size_t shown = 5) const;
};
