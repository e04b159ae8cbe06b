#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CByteReader;

// The picture map: every picture id the skin may load, with the source file it was made from.
// Only the id list matters at run time; an id that is not listed cannot be loaded.
class CPictureMap {
public:
    struct Entry {
        int32_t id;
        std::string sourcePath; // absolute path on the authoring machine
    };

    // Replaces the entries with those of the stream; a count larger than the data stops at the
    // end of the data. Returns 1, or 0 for an empty stream (entries kept).
    int Read(CByteReader& stream);
    std::vector<uint8_t> Write() const;

    void Add(int32_t id, std::string sourcePath);
    bool Contains(int32_t id) const;
    const std::vector<Entry>& Entries() const { return m_entries; }

private:
    std::vector<Entry> m_entries; // in stored order
};
