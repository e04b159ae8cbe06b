#include "Mp3Source.h"

#include "MpegDecoder.h"
#include "MpegLayer3Decoder.h"
#include "MpegLayerDecoder.h"
#include "MpegStream.h"

#include <algorithm>
#include <cmath>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr size_t kMaxTitleChars = 255;

} // namespace

CMp3Source::CMp3Source() = default;

CMp3Source::~CMp3Source()
{
    Close();
}

std::unique_ptr<CMpegDecoder> CMp3Source::CreateDecoder(int layer)
{
    // Layers I and II share one decoder; Layer III has its own.
    switch (layer) {
    case 1:
    case 2:
        return std::make_unique<CMpegLayerDecoder>();
    case 3:
        return std::make_unique<CMpegLayer3Decoder>();
    default:
        return nullptr;
    }
}

const char* CMp3Source::GetTitle() const
{
    return m_open ? m_title.c_str() : nullptr;
}

uint16_t CMp3Source::GetSampleRate() const
{
    return m_sampleRate;
}

int CMp3Source::Open(const char* path)
{
    Close();
    if (path == nullptr)
        return 0;
    try {
        m_stream = std::make_unique<CMpegStream>();
        // No indexed frame: nothing the decks could play, whatever a search might still find.
        if (m_stream->OpenFile(path) == 0 || m_stream->FrameCount() == 0 || m_stream->ReadFrame() == 0) {
            Close();
            return 0;
        }
        m_title = TitleOf(path).substr(0, kMaxTitleChars);
        m_decoder = CreateDecoder(m_stream->Layer());
    } catch (const std::bad_alloc&) {
        Close();
        return 0;
    }
    if (m_decoder == nullptr) {
        Close();
        return 0;
    }
    m_decoder->ClearOutput();
    m_sampleRate = static_cast<uint16_t>(m_stream->SamplingRate());
    m_blockFrames = m_stream->SamplesPerFrame();
    m_blockDurationMs = m_stream->FrameDuration();
    m_seekTarget = -1;
    m_open = true;
    m_frameAvailable = true;
    return 1;
}

void CMp3Source::Close()
{
    m_decoder.reset();
    m_stream.reset();
    m_title.clear();
    m_sampleRate = 44100;
    m_blockFrames = 1152;
    m_blockDurationMs = 0.0f;
    m_seekTarget = -1;
    m_open = false;
    m_frameAvailable = false;
}

int CMp3Source::GetBlockFrames() const
{
    return m_blockFrames;
}

int CMp3Source::GetBlockCount() const
{
    return m_stream ? m_stream->FrameCount() : 0;
}

void CMp3Source::SeekBlock(int index)
{
    index = std::max(index, 0);
    const int current = m_stream ? m_stream->CurrentFrame() : 0;
    // Past the end the stream's current frame is stale: only a real seek brings it back.
    m_seekTarget = index == current && m_frameAvailable ? -1 : index;
    if (m_open)
        m_frameAvailable = true;
}

int CMp3Source::GetCurrentBlock() const
{
    if (m_seekTarget >= 0)
        return m_seekTarget;
    return m_stream ? m_stream->CurrentFrame() : 0;
}

float CMp3Source::GetBlockDuration() const
{
    return m_blockDurationMs;
}

void CMp3Source::ConvertToPcm16(const float* samples, int count, int16_t* out)
{
    int i = 0;
#if defined(__SSE2__)
    // Eight at a time with the same result: NaN to 0, the rest clamped to the 16-bit range and
    // rounded to nearest, ties to even, as lrint does under the default rounding mode.
    const __m128 top = _mm_set1_ps(32767.0f);
    const __m128 bottom = _mm_set1_ps(-32768.0f);
    const auto convert = [&](const float* four) {
        __m128 scaled = _mm_mul_ps(_mm_loadu_ps(four), top);
        scaled = _mm_and_ps(scaled, _mm_cmpord_ps(scaled, scaled));
        return _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(scaled, bottom), top));
    };
    for (; i + 8 <= count; i += 8) {
        const __m128i packed = _mm_packs_epi32(convert(samples + i), convert(samples + i + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), packed);
    }
#endif
    for (; i < count; ++i) {
        const float scaled = samples[i] * 32767.0f;
        if (scaled >= 32767.0f)
            out[i] = 32767;
        else if (scaled <= -32768.0f)
            out[i] = -32768;
        else if (scaled == scaled)
            out[i] = static_cast<int16_t>(std::lrint(scaled));
        else
            out[i] = 0; // NaN: a decoder fault must not reach the speakers as full scale
    }
}

int CMp3Source::ReadBlock(int16_t* left, int16_t* right) noexcept
{
    if (!m_open || !m_frameAvailable)
        return 0;
    if (m_seekTarget >= 0) {
        const int target = m_seekTarget;
        m_seekTarget = -1;
        // The frames before the target rebuild the decoder's history; their output is dropped.
        bool reached = m_stream->SeekFrame(std::max(target - kPreRollFrames, 0)) != 0;
        m_decoder->Reset();
        while (reached && m_stream->CurrentFrame() < target) {
            m_decoder->DecodeFrame(*m_stream);
            reached = m_stream->ReadFrame() != 0;
        }
        if (!reached) {
            m_frameAvailable = false;
            std::fill_n(left, m_blockFrames, int16_t{0});
            std::fill_n(right, m_blockFrames, int16_t{0});
            return 1;
        }
    }
    m_decoder->ClearOutput();
    m_decoder->DecodeFrame(*m_stream);
    m_frameAvailable = m_stream->ReadFrame() != 0;
    ConvertToPcm16(m_decoder->Left(), m_blockFrames, left);
    ConvertToPcm16(m_decoder->Right(), m_blockFrames, right);
    // Delivered, the last frame included: the deck's refill drops a whole step on a 0, so a
    // last frame reported with 0 would keep the end of every track from ever being stored.
    return 1;
}
