#pragma once

#include <array>
#include <cstdint>
#include <cstring>

// A deck's DC blocker and three-band equaliser for one channel, eight frames at a time, for a deck
// that plays while the other rests. Frame by frame the chain is five recurrences in a row, and
// their chain of dependent operations, not the arithmetic, sets its speed. With the equaliser's
// gains held the chain is linear, so eight frames of output and the states eight frames on follow
// from the states and the eight inputs by fixed sums of products, worked out once per set of
// gains: the dependent chain is one such sum per eight frames. The outputs are those of the
// frame-by-frame chain with the rounding in other places: about 1e-7 of the signal apart.
//
// Thread: the audio thread (inside the mixer's Process); Build does not allocate.
class CLoneDeckChain {
public:
    static constexpr int kBlock = 8;
    // Eight lanes: the frames of a block, or the states (the DC blocker's, then s1 and s2 of each
    // crossover stage, in lanes 0 .. 4).
    using Lanes = std::array<float, kBlock>;

    // The per-frame constants of the chain (the mixer's).
    struct Constants {
        float dcCoefficient;
        float stage1;
        float stage2;
        float tiny;
    };

    explicit CLoneDeckChain(const Constants& constants) noexcept : m_constants(constants) {}

    // Works out the sums for these equaliser gains (low, mid doubled, high), unless they are the
    // gains last built.
    void Build(float low, float mid, float high) noexcept;

    // Up to eight frames of one channel: gives their outputs in the first count lanes and moves
    // the states on by count frames. Wide is PlainLanes or WideLanes (see PlainLanes.h); both give
    // the same bits. Inline: the caller's code path compiles it.
    template <typename Wide>
    [[gnu::always_inline]] inline Wide Run(const float* in, uint32_t count, Lanes& states) const noexcept;

private:
    Constants m_constants;
    // Lane j of column k: what state k gives output j; of column i, what input i gives it.
    alignas(32) std::array<Lanes, 5> m_outputOfState{};
    alignas(32) std::array<Lanes, kBlock> m_outputOfInput{};
    alignas(32) Lanes m_outputConstant{};
    // For r = count - 1: lane k of column j, what state j gives state k after count frames; of
    // column i, what input i gives it.
    alignas(32) std::array<std::array<Lanes, 5>, kBlock> m_stateOfState{};
    alignas(32) std::array<std::array<Lanes, kBlock>, kBlock> m_stateOfInput{};
    alignas(32) std::array<Lanes, kBlock> m_stateConstant{};
    std::array<float, 3> m_gains{-1.0f, -1.0f, -1.0f};
};

template <typename Wide>
inline Wide CLoneDeckChain::Run(const float* in, uint32_t count, Lanes& states) const noexcept
{
    const auto load = [](const Lanes& lanes) __attribute__((always_inline))
    {
        return Wide::Load(lanes.data());
    };
    Lanes padded{};
    std::memcpy(padded.data(), in, count * sizeof(float));
    const auto& stateOfState = m_stateOfState[count - 1];
    const auto& stateOfInput = m_stateOfInput[count - 1];
    Wide output = load(m_outputConstant);
    Wide fromInputs = load(m_stateConstant[count - 1]);
    for (int i = 0; i < kBlock; ++i) {
        output = output + load(m_outputOfInput[i]) * padded[i];
        fromInputs = fromInputs + load(stateOfInput[i]) * padded[i];
    }
    const Lanes s = states;
    output = output + (((load(m_outputOfState[0]) * s[0] + load(m_outputOfState[1]) * s[1]) +
                        (load(m_outputOfState[2]) * s[2] + load(m_outputOfState[3]) * s[3])) +
                       load(m_outputOfState[4]) * s[4]);
    // The states' own terms last and paired, so the chain from one block's states to the next
    // is as short as the sums allow.
    const Wide next = ((load(stateOfState[0]) * s[0] + load(stateOfState[1]) * s[1]) +
                       (load(stateOfState[2]) * s[2] + load(stateOfState[3]) * s[3])) +
                      (load(stateOfState[4]) * s[4] + fromInputs);
    next.Store(states.data());
    return output;
}
