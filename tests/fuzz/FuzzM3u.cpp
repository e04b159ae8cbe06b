// Fuzz entry for the M3U reader: the input becomes a .m3u file, which is loaded into a list that
// feeds a Time Line, then written out again.
#include "CdReader.h"
#include "FuzzInputFile.h"
#include "ListLoadReport.h"
#include "M3uPlaylist.h"
#include "MediaDrives.h"
#include "Playlist.h"
#include "TimeLine.h"
#include "TrackText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

void Check(bool condition, const char* what)
{
    CFuzzInputFile::Check(condition, what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CFuzzInputFile input("m3u", "m3u");
    static const CFuzzInputFile output("m3u-out", "m3u");
    static CCdReader reader;
    static CMediaDrives drives(reader);
    if (!input.Write(data, size))
        return 0;

    CTimeLine line;
    line.SetDisplayMode(CTimeLine::kAtLeastMin);
    CPlaylist list(drives);
    list.SetTimeLine(&line);
    ListLoadReport report;
    Check(CM3uPlaylist::LoadM3u(list, input.Path(), false, &report), "a readable M3U file was refused");
    Check(list.Count() <= CPlaylist::kMaxEntries, "more than 999 entries");
    Check(report.beyondLimit == 0 || list.Count() == CPlaylist::kMaxEntries,
          "counted beyond a list not full");
    const size_t lines = static_cast<size_t>(std::count(data, data + size, '\n')) + 1;
    Check(static_cast<size_t>(list.Count()) + report.dropped.size() +
                  static_cast<size_t>(report.beyondLimit) <=
              lines,
          "more entries and losses than lines");
    for (const ListLoadReport::Dropped& dropped : report.dropped)
        Check(!dropped.reason.empty() && !dropped.location.empty(), "a loss without a name or a reason");
    Check(line.Count() == list.Count(), "the Time Line lost step with the list");
    for (int i = 0; i < list.Count(); ++i) {
        const TrackEntry& entry = list.Entry(i);
        Check(entry.title.size() <= TrackEntry::kTextBytes, "a title past its width");
        Check(TrackText::IsValidUtf8(entry.title), "a title is not UTF-8");
        Check(line.Item(i)->length >= 0, "a negative Time Line length");
        Check(CPlaylist::IsTrackFile(entry.location), "an entry that is no track file");
    }
    Check(CM3uPlaylist::WriteM3u(list, output.Path()), "the list cannot be written");
    CPlaylist again(drives);
    Check(CM3uPlaylist::LoadM3u(again, output.Path(), false), "the written list cannot be read");
    return 0;
}
