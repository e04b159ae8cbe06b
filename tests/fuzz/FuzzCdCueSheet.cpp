// Fuzz entry for the two parsers that describe a disc: the cue sheet of a disc image, and the
// READ TOC answer a drive (or the image) gives. Both take the same bytes. Broken invariants
// abort, so the corpus replay in the normal build catches a regression without sanitizers.
#include "CdCueSheet.h"
#include "CdDrive.h"
#include "FuzzInputFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool condition, const char* what)
{
    CFuzzInputFile::Check(condition, what);
}

void CheckSheet(const uint8_t* data, size_t size)
{
    CCdCueSheet sheet;
    if (sheet.Parse(reinterpret_cast<const char*>(data), size) == 0) {
        Check(sheet.Tracks().empty() && sheet.FileName().empty(), "a refused sheet leaves state behind");
        return;
    }
    const auto& tracks = sheet.Tracks();
    Check(!sheet.FileName().empty(), "accepted without a file");
    Check(!tracks.empty() && tracks.size() <= CCdCueSheet::kMaxTracks, "track count out of range");
    for (size_t i = 0; i < tracks.size(); ++i) {
        Check(tracks[i].number == static_cast<int>(i) + 1, "tracks not numbered from 1");
        Check(i == 0 || tracks[i].firstSector > tracks[i - 1].firstSector, "starts do not increase");
        Check(tracks[i].firstSector < 1000u * 4500u, "start beyond three-digit minutes");
    }
}

void CheckToc(const uint8_t* data, size_t size)
{
    CdToc toc;
    if (CCdDrive::ParseToc(data, size, toc) != CCdDrive::kStatusOk) {
        Check(toc.trackCount == 0, "a refused table keeps tracks");
        return;
    }
    Check(toc.trackCount >= 0 && toc.trackCount <= CCdDrive::kMaxTracks, "track count out of range");
    for (int i = 0; i < toc.trackCount; ++i) {
        const auto t = static_cast<size_t>(i);
        const uint32_t start = CCdDrive::MsfSectors(toc.start[t]);
        const uint32_t next = CCdDrive::MsfSectors(toc.start[t + 1]);
        Check(start >= 150 && next > start, "tracks out of order");
        const uint32_t length = CCdDrive::MsfSectors(toc.length[t]);
        Check(length == 0 || length == next - start, "length is not the distance to the next start");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckSheet(data, size);
    CheckToc(data, size);
    return 0;
}
