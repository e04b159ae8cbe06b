#include "RenderCore.h"

#include "AudioEngine.h"

#include <algorithm>
#include <cmath>

void CRenderCore::Prime(uint32_t refillMs)
{
    CPlayerCore::ScheduleTimeLine();
    Engine().ServeRequestsNow(refillMs);
}

void CRenderCore::EndAt(uint64_t frame) noexcept
{
    uint64_t end = m_endFrame.load();
    while (frame < end && !m_endFrame.compare_exchange_weak(end, frame)) {
    }
}

// While the last track of a list that does not repeat plays, its end (or its last sound, when
// silence is skipped) is the end of the mix: what follows is the change-over to an empty deck.
void CRenderCore::FollowLastTrack(uint64_t tickFrame) noexcept
{
    if (PlaybackModeValue() != kAutomix || Automix().RepeatAll())
        return;
    const TimeLineCursor cursor = Automix().Cursor();
    if (cursor.index < 0 || cursor.nextTrack >= 0 || cursor.deck < 0)
        return;
    const CDeckPlayer& deck = Engine().Deck(cursor.deck);
    if (!deck.Playing() || Engine().LoadedEntry(cursor.deck) != cursor.track)
        return;
    // Once nothing is left the end lies inside the tick before, as measured there. The deck's
    // position runs a few frames ahead of what it has played (its resampler reads ahead), so the
    // end found is within 0.2 ms of the true one.
    const double remaining = Automix().RemainingOfSound(cursor.deck);
    if (remaining > 0.0)
        m_lastTrackEnd = tickFrame + static_cast<uint64_t>(std::llround(remaining * 44100.0));
    // Skipping silence, the mix ends with the last sound of its last track rather than after
    // the silence that follows it.
    if (Automix().SkipSilence() && m_lastTrackEnd != kOpenEnd)
        EndAt(m_lastTrackEnd);
}

void CRenderCore::ScheduleTimeLine() noexcept
{
    const uint32_t tick = m_tick.load(std::memory_order_relaxed);
    const uint64_t tickFrame = static_cast<uint64_t>(tick) * kTickFrames;
    CPlayerCore::ScheduleTimeLine();
    FollowLastTrack(tickFrame);
    // The run starts with RUN-STOP on: once it is off, by the end of the list or of the mix or
    // because nothing could start, the mix is over.
    if (!RunStop())
        EndAt(std::min(tickFrame, m_lastTrackEnd));
    if (StopRequested())
        EndAt(tickFrame);
    m_tick.store(tick + 1, std::memory_order_relaxed);
}

int CRenderCore::Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick, uint16_t tickCount) noexcept
{
    // The block that holds the end is rendered and written whole (the writer keeps what lies
    // before the end); the call after it ends the run.
    if (Finished())
        return 0;
    CPlayerCore::Render(record, bus, firstTick, tickCount);
    return 1;
}
