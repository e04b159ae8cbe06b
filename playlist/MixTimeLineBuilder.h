#pragma once

#include <cstdint>
#include <vector>

class CMixTickReader;
class CTimeLine;

// What a whole mix tells about its tracks: the markers at which either deck's track changes,
// one Time Line block per track a deck played audibly, and every track the mix loads. Each walk
// reads the stream through the tick reader from tick 0 without applying it, then seeks back to
// where the reader was (rounded down to its seek step), as any seek does.
//
// Threads: under the mix's lock, off the audio thread; the reader outlives the builder.
class CMixTimeLineBuilder {
public:
    static constexpr double kTickMs = 2.9024943310657596; // 128 frames at 44100 Hz

    explicit CMixTimeLineBuilder(CMixTickReader& reader) noexcept : m_reader(reader) {}

    // Under the lock, no allocation: hands the reader the ticks at which a track changes, at
    // most its marker count.
    void BuildMarkers() noexcept;

    // Under the lock, may allocate.
    // One block per track a deck played audibly in the mix.
    void BuildTimeLine(CTimeLine& timeLine);
    // Every track value (playlist index + 1) the mix loads, once each, in the order it loads them.
    std::vector<int32_t> TrackValues();

private:
    CMixTickReader& m_reader; // the mix's; it outlives the builder
};
