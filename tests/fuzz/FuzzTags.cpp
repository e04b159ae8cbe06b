// Fuzz entry for the track tags: the input becomes a file named by what its first bytes look
// like (ID3v2 or MPEG audio, FLAC, Ogg, MP4, AIFF, WMA), whose tags are read, written and read
// again through TagLib. A write that fails must leave the file as it was.
#include "FuzzInputFile.h"
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

const char* const kExtensions[] = {"mp3", "flac", "ogg", "opus", "m4a", "aiff", "wma"};

const char* ExtensionFor(const uint8_t* data, size_t size)
{
    const auto starts = [&](size_t at, const char* magic) {
        return size >= at + std::strlen(magic) && std::memcmp(data + at, magic, std::strlen(magic)) == 0;
    };
    if (starts(0, "ID3") || (size >= 2 && data[0] == 0xFF && (data[1] & 0xE0) == 0xE0))
        return "mp3";
    if (starts(0, "fLaC"))
        return "flac";
    if (starts(0, "OggS"))
        return size > 36 && std::memcmp(data + 28, "Opus", 4) == 0 ? "opus" : "ogg";
    if (starts(0, "FORM"))
        return "aiff";
    if (starts(4, "ftyp"))
        return "m4a";
    if (size >= 4 && data[0] == 0x30 && data[1] == 0x26 && data[2] == 0xB2 && data[3] == 0x75)
        return "wma";
    return size > 0 ? kExtensions[data[0] % std::size(kExtensions)] : "mp3";
}

std::string Contents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* extension = ExtensionFor(data, size);
    static std::array<std::unique_ptr<CFuzzInputFile>, std::size(kExtensions)> inputs;
    size_t which = 0;
    while (std::strcmp(kExtensions[which], extension) != 0)
        ++which;
    if (!inputs[which])
        inputs[which] = std::make_unique<CFuzzInputFile>("tags", extension);
    const CFuzzInputFile& input = *inputs[which];
    if (!input.Write(data, size))
        return 0;

    TrackEntry entry;
    CTrackTags::Read(input.Path(), entry);
    for (const std::string* text : {&entry.title, &entry.artist, &entry.album, &entry.comment})
        CFuzzInputFile::Check(text->size() <= TrackEntry::kTextBytes,
                              "a text field longer than an entry holds");

    entry.title = "Written";
    entry.tempo = 120.0f;
    const std::string before = Contents(input.Path());
    if (!CTrackTags::Write(input.Path(), entry)) {
        CFuzzInputFile::Check(Contents(input.Path()) == before, "a failed write changed the file");
        return 0;
    }
    TrackEntry again;
    CTrackTags::Read(input.Path(), again);
    return 0;
}
