// Fuzz entry for the track tags: the input becomes a file named by what its first bytes look
// like (ID3v2 or MPEG audio, FLAC, Ogg, MP4, AIFF, WMA), whose tags are read, written and read
// again through TagLib. A write that fails must leave the file as it was.
#include "FuzzFormatFiles.h"
#include "TrackEntry.h"
#include "TrackTags.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

std::string Contents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CFuzzFormatFiles files("tags", {"mp3", "flac", "ogg", "opus", "m4a", "aiff", "wma"});
    const CFuzzInputFile* input = files.Write(data, size);
    if (input == nullptr)
        return 0;

    TrackEntry entry;
    CTrackTags::Read(input->Path(), entry);
    for (const std::string* text : {&entry.title, &entry.artist, &entry.album, &entry.comment})
        CFuzzInputFile::Check(text->size() <= TrackEntry::kTextBytes,
                              "a text field longer than an entry holds");

    entry.title = "Written";
    entry.tempo = 120.0f;
    const std::string before = Contents(input->Path());
    if (!CTrackTags::Write(input->Path(), entry)) {
        CFuzzInputFile::Check(Contents(input->Path()) == before, "a failed write changed the file");
        return 0;
    }
    TrackEntry again;
    CTrackTags::Read(input->Path(), again);
    return 0;
}
