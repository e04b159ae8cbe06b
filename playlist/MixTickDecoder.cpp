#include "MixTickDecoder.h"

namespace {

constexpr uint16_t kTickEnd = 0x8000;
constexpr uint16_t kFirstTick = 0x4000;
constexpr uint16_t kUnusedMarkerBits = 0x3F00;

} // namespace

CMixTickDecoder::Step CMixTickDecoder::Next(Event& event, std::array<int32_t, 2>& positions) noexcept
{
    uint32_t word = 0;
    if (!m_reader.Read(2, word))
        return Step::Unreadable;
    if ((word & kTickEnd) != 0)
        return EndTick(word, positions);
    uint32_t tag = 0;
    if (!m_reader.Read(1, tag))
        return Step::Unreadable;
    const uint32_t width = tag & 0xF0;
    uint32_t raw = 0;
    if (width == 0x10   ? !m_reader.Read(1, raw)
        : width == 0x20 ? !m_reader.Read(2, raw)
        : width == 0x00 ? !m_reader.Read(4, raw)
                        : true)
        return Step::Unreadable;
    event.id = static_cast<int32_t>(word);
    event.channel = static_cast<int>(tag & 0x0F);
    event.value = static_cast<int32_t>(raw);
    return Step::Event;
}

bool CMixTickDecoder::SkipTick(std::array<int32_t, 2>& positions) noexcept
{
    Event event;
    Step step = Step::Event;
    while (step == Step::Event)
        step = Next(event, positions);
    return step == Step::TickEnd;
}

CMixTickDecoder::Step CMixTickDecoder::EndTick(uint32_t marker, std::array<int32_t, 2>& positions) noexcept
{
    // A marker with bits no recorder sets, or a "first tick" mark later in the stream, is most
    // likely an event's id read out of step: what follows would be read as garbage.
    const bool firstTick = (marker & kFirstTick) != 0;
    if ((marker & kUnusedMarkerBits) != 0 || (firstTick && m_tickStart != 0))
        return Step::Unreadable;
    // Positions: codes 1/2/3 for deck A in bits 0..3, 0x10/0x20/0x30 for deck B in bits 4..7.
    // They are followed whether or not the tick is applied, so that a seek arrives with the
    // positions of the tick before its target.
    for (int deck = 0; deck < 2; ++deck) {
        const uint32_t code = (marker >> (4 * deck)) & 0x0F;
        uint32_t payload = 0;
        switch (code) {
        case 0:
            break;
        case 1:
            if (!m_reader.Read(4, payload))
                return Step::Unreadable;
            positions[deck] = static_cast<int32_t>(payload);
            break;
        case 2:
        case 3:
            if (!m_reader.Read(1, payload))
                return Step::Unreadable;
            positions[deck] = static_cast<int32_t>(
                static_cast<uint32_t>(positions[deck]) +
                (code == 2 ? payload : static_cast<uint32_t>(-static_cast<int32_t>(payload))));
            break;
        default:
            return Step::Unreadable;
        }
    }
    return Step::TickEnd;
}
