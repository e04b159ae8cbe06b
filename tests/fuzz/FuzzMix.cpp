// Fuzz entry for Mix-Files: the input becomes a .qzx file, which is loaded with its list and
// replayed tick by tick into a control table, with seeks and the Time Line build between. The
// reader must never read past the stream, keep its tick within the count, and leave every
// value it writes inside the channel it names.
#include "ControlTable.h"
#include "FuzzInputFile.h"
#include "MixStream.h"
#include "Playlist.h"
#include "TimeLine.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CFuzzInputFile input("mix", "qzx");
    if (!input.Write(data, size))
        return 0;
    CControlTable table;
    CMixStream mix;
    mix.RegisterChannels(table);
    CPlaylist list;
    if (!mix.Load(input.Path().c_str(), &list))
        return 0;
    CFuzzInputFile::Check(mix.Markers().size() <= CMixStream::kMaxMarkers, "more than 128 markers");
    CTimeLine line;
    mix.BuildTimeLine(line);
    CFuzzInputFile::Check(line.Count() <= CTimeLine::kMaxItems, "a Time Line past 999 items");
    mix.Play(true);
    uint32_t ticks = 0;
    int32_t a = 0;
    int32_t b = 0;
    // A hostile count may promise billions of ticks; the stream's bytes bound what is read.
    while (ticks < 200000 && mix.ReadTick(true, true, &a, &b)) {
        CFuzzInputFile::Check(mix.CurrentTick() <= mix.TickCount(), "the tick passed the count");
        ++ticks;
        if (ticks == 300) {
            mix.SeekTick(mix.TickCount() / 2);
            mix.SeekPreviousMarker();
            mix.SeekNextMarker();
        }
    }
    CFuzzInputFile::Check(!mix.Playing() || ticks == 200000, "playing on after the end");
    return 0;
}
