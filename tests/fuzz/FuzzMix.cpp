// Fuzz entry for Mix-Files: the input becomes a .qzx file. First the mix alone is loaded with its
// list and replayed tick by tick into a control table, with seeks and the Time Line build between:
// the reader must never read past the stream, keep its tick within the count, and leave every
// value it writes inside the channel it names. Then a player core opens the file as the offline
// renderer does and plays it tick by tick: whatever the stream says, the mix (or the list that
// plays in its place) must end, within its ticks plus a margin.
#include "AudioBus.h"
#include "AudioEngine.h"
#include "ControlTable.h"
#include "FuzzInputFile.h"
#include "MixStream.h"
#include "PlayerCore.h"
#include "Playlist.h"
#include "TimeLine.h"

#include <algorithm>
#include <cstdint>

namespace {

// A hostile count may promise billions of ticks; the stream's bytes bound what is read.
constexpr uint32_t kMaxReadTicks = 200000;
// The transport's first tick and the loads before a mix moves, with room to spare.
constexpr uint64_t kEndMarginTicks = 1000;
// An Automix list whose tracks do not load moves on by a few ticks per item.
constexpr uint64_t kTicksPerListEntry = 16;

void ReadAlone(const std::string& path)
{
    CControlTable table;
    CMixStream mix;
    mix.RegisterChannels(table);
    CPlaylist list;
    if (!mix.Load(path.c_str(), &list)) {
        CFuzzInputFile::Check(!mix.LoadError().empty(), "a failed load without a reason");
        return;
    }
    CFuzzInputFile::Check(mix.Markers().size() <= CMixStream::kMaxMarkers, "more than 128 markers");
    CFuzzInputFile::Check(mix.DamagedAtTick() == CMixStream::kIntact ||
                              mix.DamagedAtTick() == mix.TickCount(),
                          "a damaged mix that does not end where it became unreadable");
    CTimeLine line;
    mix.BuildTimeLine(line);
    CFuzzInputFile::Check(line.Count() <= CTimeLine::kMaxItems, "a Time Line past 999 items");
    mix.Play(true);
    uint32_t ticks = 0;
    int32_t a = 0;
    int32_t b = 0;
    while (ticks < kMaxReadTicks && mix.ReadTick(true, true, &a, &b)) {
        CFuzzInputFile::Check(mix.CurrentTick() <= mix.TickCount(), "the tick passed the count");
        ++ticks;
        if (ticks == 300) {
            mix.SeekTick(mix.TickCount() / 2);
            mix.SeekPreviousMarker();
            mix.SeekNextMarker();
        }
    }
    CFuzzInputFile::Check(!mix.Playing() || ticks == kMaxReadTicks, "playing on after the end");
}

// The core as a renderer watches it: "RUN-STOP" on once the Automix step has run is the start,
// "RUN-STOP" off after that (or a DJ-Mix that no longer plays) the end. A mix whose step turns
// "RUN-STOP" off before it was ever seen on would leave such a renderer waiting for ever.
class CWatchedCore : public CPlayerCore {
public:
    void ScheduleTimeLine() noexcept override
    {
        CPlayerCore::ScheduleTimeLine();
        m_started = m_started || RunStop();
    }
    bool Ended() noexcept
    {
        return m_started && (!RunStop() || (PlaybackModeValue() == kDjMix && !Mix().Playing()));
    }

private:
    bool m_started = false;
};

// The renderer's road: open, set the mode again after the tracks were looked at, RUN-STOP on,
// loads served synchronously before every tick.
void PlayThrough(const std::string& path)
{
    CWatchedCore core;
    core.Engine().SetSynchronousLoading(true);
    uint8_t flags = 0;
    core.Start(flags);
    if (!core.OpenDocument(path))
        return;
    const uint32_t damagedAt = core.Mix().DamagedAtTick();
    CFuzzInputFile::Check(damagedAt == CMixStream::kIntact || *core.MixNotice() != '\0',
                          "a damaged mix opened without a word");
    if (core.PlaybackModeValue() == CPlayerCore::kDjMix) {
        core.SetPlaybackMode(CPlayerCore::kDjMix);
        if (!core.MixTracksPresent()) {
            CFuzzInputFile::Check(*core.MixStartProblem() != '\0', "a mix refused without a reason");
            return;
        }
    } else {
        core.SetPlaybackMode(CPlayerCore::kAutomix);
        // Nothing to play: a renderer says so and does not start.
        if (core.List().Count() == 0)
            return;
    }
    const uint64_t limit = std::min(core.Mix().TickCount(), kMaxReadTicks) + kEndMarginTicks +
                           kTicksPerListEntry * static_cast<uint64_t>(core.List().Count());
    CAudioBus bus(44100, 1);
    ClientRecord record{};
    core.SetRunStop(true);
    for (uint64_t tick = 0;; ++tick) {
        core.Engine().ServeRequestsNow(20);
        bus.Clear(static_cast<int32_t>(tick * 128 / 44));
        core.Render(record, bus, 0, 1);
        if (core.Ended())
            break;
        CFuzzInputFile::Check(tick < limit, "the mix plays on past its end");
    }
    flags = 3;
    core.Stop(flags);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CFuzzInputFile input("mix", "qzx");
    if (!input.Write(data, size))
        return 0;
    ReadAlone(input.Path());
    PlayThrough(input.Path());
    return 0;
}
