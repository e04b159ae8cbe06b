// Fuzz entry for the XML list reader: the input becomes a .qzl file, which is loaded into a list
// that feeds a Time Line; whatever was read is saved and loaded again and must come back the
// same. Broken invariants abort, so the corpus replay catches a regression without sanitizers.
#include "CdReader.h"
#include "FuzzInputFile.h"
#include "ListLoadReport.h"
#include "MediaDrives.h"
#include "MixReference.h"
#include "Playlist.h"
#include "TimeLine.h"
#include "TrackText.h"
#include "XmlPlaylist.h"

#include <cstdint>
#include <set>
#include <string>

namespace {

void Check(bool condition, const char* what)
{
    CFuzzInputFile::Check(condition, what);
}

void CheckList(const CPlaylist& list, const CTimeLine& line)
{
    Check(list.Count() <= CPlaylist::kMaxEntries, "more than 999 entries");
    Check(line.Count() == list.Count(), "the Time Line lost step with the list");
    std::set<int32_t> ids;
    for (int i = 0; i < list.Count(); ++i) {
        const TrackEntry& entry = list.Entry(i);
        Check(ids.insert(entry.id).second, "two entries share an id");
        Check(entry.id >= 0, "a negative id");
        Check(line.Item(i)->track == entry.id, "a Time Line item names another entry");
        for (const std::string* text : {&entry.title, &entry.artist, &entry.album, &entry.comment}) {
            Check(text->size() <= TrackEntry::kTextBytes, "a text field past its width");
            Check(TrackText::IsValidUtf8(*text), "a text field is not UTF-8");
        }
        Check(entry.tempoQuality >= 0.0f && entry.tempoQuality <= 1.0f, "tempo quality out of range");
        Check(entry.media >= kMediaFixed && entry.media <= kMediaRemovable, "unknown media");
        Check(CPlaylist::IsTrackFile(entry.location), "an entry that is no track file");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CFuzzInputFile input("qzl", "qzl");
    static const CFuzzInputFile again("qzl-again", "qzl");
    static CCdReader reader;
    static CMediaDrives drives(reader);
    if (!input.Write(data, size))
        return 0;

    CTimeLine line;
    line.SetDisplayMode(CTimeLine::kAtLeastMin);
    CPlaylist list(drives);
    list.SetTimeLine(&line);
    MixReference mix;
    ListLoadReport report;
    if (!CXmlPlaylist::Load(list, input.Path(), false, &mix, {}, &report)) {
        Check(CXmlPlaylist::Peek(input.Path()) == CXmlPlaylist::kNotAList, "Peek and Load disagree");
        Check(report.Empty(), "a refused list reported entries");
        return 0;
    }
    CheckList(list, line);
    Check(report.beyondLimit == 0 || list.Count() == CPlaylist::kMaxEntries,
          "counted beyond a list not full");
    for (const ListLoadReport::Dropped& dropped : report.dropped)
        Check(dropped.reason == ListLoadReport::kNotTrackType, "an entry lost for another reason");
    Check(CXmlPlaylist::Peek(input.Path()) != CXmlPlaylist::kNotAList, "Peek refuses a loaded list");

    Check(CXmlPlaylist::Save(list, again.Path(), &mix), "a loaded list cannot be saved");
    CTimeLine lineAgain;
    CPlaylist reloaded(drives);
    reloaded.SetTimeLine(&lineAgain);
    MixReference mixAgain;
    ListLoadReport reportAgain;
    Check(CXmlPlaylist::Load(reloaded, again.Path(), false, &mixAgain, {}, &reportAgain),
          "a saved list does not load");
    CheckList(reloaded, lineAgain);
    Check(reportAgain.Empty(), "a saved list lost entries on loading");
    Check(reloaded.Count() == list.Count(), "entries lost on the way through a file");
    Check(reloaded.Title() == list.Title(), "the title changed on the way through a file");
    for (int i = 0; i < list.Count(); ++i) {
        Check(reloaded.Entry(i).title == list.Entry(i).title, "a title changed on the way through a file");
        Check(reloaded.Entry(i).location == list.Entry(i).location, "a location changed");
    }
    Check(mixAgain.path.empty() == mix.path.empty(), "the mix was lost on the way through a file");
    return 0;
}
