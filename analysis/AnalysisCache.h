#pragma once

#include "TrackAnalysis.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

// What earlier analyses found, kept in a file of the user's data folder so a track is analysed
// once. A track is found again by its path, size and modification time: a file replaced by
// another under the same name is analysed anew.
//
// The file is text, one track a line; a file that does not start with the expected first line is
// ignored whole (and written anew at the next save), a line that does not read is skipped.
// Threads: one owner at a time (the analysis worker); no locking of its own.
class CAnalysisCache {
public:
    struct Key {
        std::string path;
        int64_t sizeBytes = -1;
        int64_t modifiedNs = -1; // modification time, ns since the epoch

        bool operator==(const Key&) const = default;
    };

    // The key of a file as it is now; nullopt when it cannot be looked at.
    static std::optional<Key> KeyOf(const std::string& path);

    // Reads the file; false (and an empty cache) when it is missing or not a cache file.
    bool Load(const std::string& cachePath);
    // Parses the bytes of a cache file; false when the first line is wrong.
    bool Parse(std::string_view text);
    // Writes through a temporary file and a rename; false when the folder refused it.
    bool Save(const std::string& cachePath) const;

    std::optional<TrackAnalysis> Find(const Key& key) const;
    // Only finished analyses are kept: a cancelled one is done again next time.
    void Store(const Key& key, const TrackAnalysis& analysis);
    size_t Size() const { return m_entries.size(); }

private:
    struct Entry {
        int64_t sizeBytes;
        int64_t modifiedNs;
        TrackAnalysis analysis;
    };
    std::unordered_map<std::string, Entry> m_entries; // by path
};
