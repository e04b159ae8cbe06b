#include "MixTimeLineBuilder.h"

#include "MixTickReader.h"
#include "TimeLine.h"

#include <algorithm>
#include <array>

namespace {

bool ReadWithoutApplying(CMixTickReader& reader) noexcept
{
    return reader.ReadTick(true, false, nullptr, nullptr) == CMixTickReader::TickResult::Tick;
}

} // namespace

void CMixTimeLineBuilder::BuildMarkers() noexcept
{
    const uint32_t earlier = m_reader.CurrentTick();
    m_reader.Rewind();
    CMixTickReader::Markers markers{};
    int count = 0;
    if (ReadWithoutApplying(m_reader)) {
        auto previous = m_reader.Tracks();
        while (count < CMixTickReader::kMaxMarkers && m_reader.CurrentTick() < m_reader.TickCount()) {
            const uint32_t tick = m_reader.CurrentTick();
            if (!ReadWithoutApplying(m_reader))
                break;
            if (m_reader.Tracks() != previous)
                markers[count++] = tick;
            previous = m_reader.Tracks();
        }
    }
    m_reader.SetMarkers(markers, count);
    m_reader.Seek(earlier);
}

void CMixTimeLineBuilder::BuildTimeLine(CTimeLine& timeLine)
{
    struct Run {
        int32_t track = -1;
        int64_t firstAudible = -1; // ticks
        int64_t lastAudible = -1;
    };
    struct Block {
        int32_t deck;
        int32_t index;
        double startMs;
        double lengthMs;
    };
    std::vector<Block> blocks;
    const uint32_t earlier = m_reader.CurrentTick();
    m_reader.Rewind();
    std::array<Run, 2> runs;
    auto flush = [&](int deck) {
        const Run& run = runs[deck];
        if (run.firstAudible >= 0 && run.track > 0) {
            const double startMs = static_cast<double>(run.firstAudible) * kTickMs;
            blocks.push_back(
                {deck, run.track - 1, startMs, static_cast<double>(run.lastAudible) * kTickMs - startMs});
        }
    };
    while (m_reader.CurrentTick() < m_reader.TickCount()) {
        const uint32_t tick = m_reader.CurrentTick();
        if (!ReadWithoutApplying(m_reader))
            break;
        for (int deck = 0; deck < 2; ++deck) {
            Run& run = runs[deck];
            if (m_reader.Track(deck) != run.track) {
                flush(deck);
                run = Run{m_reader.Track(deck), -1, -1};
            }
            // Deck A is heard below 240 on the cross-fader, deck B above 16.
            const int32_t crossFader = m_reader.CrossFader();
            const bool audible = deck == 0 ? crossFader < 240 : crossFader > 16;
            if (audible) {
                if (run.firstAudible < 0)
                    run.firstAudible = tick;
                run.lastAudible = tick;
            }
        }
    }
    flush(0);
    flush(1);
    std::stable_sort(blocks.begin(), blocks.end(),
                     [](const Block& a, const Block& b) { return a.startMs < b.startMs; });
    timeLine.Clear();
    for (const Block& block : blocks)
        timeLine.InsertAt(timeLine.Count(), block.deck, block.index, static_cast<int32_t>(block.startMs),
                          static_cast<int32_t>(block.lengthMs));
    m_reader.Seek(earlier);
}

std::vector<int32_t> CMixTimeLineBuilder::TrackValues()
{
    std::vector<int32_t> values;
    const uint32_t earlier = m_reader.CurrentTick();
    m_reader.Rewind();
    while (m_reader.CurrentTick() < m_reader.TickCount()) {
        if (!ReadWithoutApplying(m_reader))
            break;
        for (int32_t track : m_reader.Tracks()) {
            if (track > 0 && std::find(values.begin(), values.end(), track) == values.end())
                values.push_back(track);
        }
    }
    m_reader.Seek(earlier);
    return values;
}
