#include "SampleBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

int16_t Saturate16(int64_t value) noexcept
{
    return static_cast<int16_t>(std::clamp<int64_t>(value, -32768, 32767));
}

// One 16-bit sample in the device's layout; returns the bytes written.
void PutDeviceSample(uint8_t* out, int16_t sample, DeviceFormat format) noexcept
{
    switch (format) {
    case DeviceFormat::S16:
        std::memcpy(out, &sample, 2);
        break;
    case DeviceFormat::U16: {
        const uint16_t value = static_cast<uint16_t>(sample) ^ 0x8000u;
        std::memcpy(out, &value, 2);
        break;
    }
    case DeviceFormat::S8:
        out[0] = static_cast<uint8_t>(static_cast<int8_t>(sample / 256));
        break;
    case DeviceFormat::U8:
        out[0] = static_cast<uint8_t>(sample / 256 + 128);
        break;
    case DeviceFormat::S24: {
        const uint16_t value = static_cast<uint16_t>(sample);
        out[0] = 0;
        out[1] = static_cast<uint8_t>(value & 0xFF);
        out[2] = static_cast<uint8_t>(value >> 8);
        break;
    }
    case DeviceFormat::S32: {
        const int32_t value = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(sample)) << 16);
        std::memcpy(out, &value, 4);
        break;
    }
    case DeviceFormat::Float: {
        const float value = static_cast<float>(sample) * (1.0f / 32768.0f);
        std::memcpy(out, &value, 4);
        break;
    }
    }
}

} // namespace

int BytesPerSample(DeviceFormat format) noexcept
{
    switch (format) {
    case DeviceFormat::S8:
    case DeviceFormat::U8:
        return 1;
    case DeviceFormat::S16:
    case DeviceFormat::U16:
        return 2;
    case DeviceFormat::S24:
        return 3;
    case DeviceFormat::S32:
    case DeviceFormat::Float:
        return 4;
    }
    return 2;
}

CSampleBuffer::~CSampleBuffer() = default;

void CSampleBuffer::Init(uint8_t width, uint32_t rate, uint32_t length)
{
    m_width = (width == 1 || width == 4) ? width : 2;
    m_rate = rate;
    m_gain = kUnityGain;
    m_storage.reset();
    m_data = nullptr;
    m_length = 0;
    SetLength(length);
}

void CSampleBuffer::SetLength(uint32_t length)
{
    if (length == 0) {
        m_storage.reset();
        m_data = nullptr;
        m_length = 0;
        return;
    }
    // Storage always fits 4-byte samples so that ChangeWidth can work in place.
    auto storage = std::make_unique<int32_t[]>(length);
    if (m_data != nullptr)
        std::memcpy(storage.get(), m_data, static_cast<size_t>(std::min(length, m_length)) * m_width);
    m_storage = std::move(storage);
    m_data = m_storage.get();
    m_length = length;
}

void CSampleBuffer::AttachView(int16_t* data, uint32_t length, uint32_t rate) noexcept
{
    m_storage.reset();
    m_data = data;
    m_length = length;
    m_width = 2;
    m_rate = rate;
    m_gain = 0;
    m_pan = 0;
}

void CSampleBuffer::FlipSign() noexcept
{
    if (m_data == nullptr)
        return;
    if (m_width == 1) {
        auto* s = static_cast<uint8_t*>(m_data);
        for (uint32_t i = 0; i < m_length; ++i)
            s[i] ^= 0x80u;
    } else if (m_width == 2) {
        auto* s = static_cast<uint16_t*>(m_data);
        for (uint32_t i = 0; i < m_length; ++i)
            s[i] ^= 0x8000u;
    } else {
        auto* s = static_cast<uint32_t*>(m_data);
        for (uint32_t i = 0; i < m_length; ++i)
            s[i] ^= 0x80000000u;
    }
}

void CSampleBuffer::ChangeWidth(uint8_t width) noexcept
{
    if (m_data == nullptr || width == m_width)
        return;
    if (m_width == 2 && width == 1) {
        const auto* in = static_cast<const int16_t*>(m_data);
        auto* out = static_cast<int8_t*>(m_data);
        for (uint32_t i = 0; i < m_length; ++i)
            out[i] = static_cast<int8_t>(in[i] / 256);
        m_width = 1;
    } else if (m_width == 1 && width == 2 && m_storage) {
        // Backwards, so that widening in place never overwrites a sample not yet read.
        const auto* in = static_cast<const int8_t*>(m_data);
        auto* out = static_cast<int16_t*>(m_data);
        for (uint32_t i = m_length; i-- > 0;)
            out[i] = static_cast<int16_t>(static_cast<uint16_t>(in[i]) << 8);
        m_width = 2;
    }
}

void CSampleBuffer::ApplyGain() noexcept
{
    if (m_gain == kUnityGain || m_data == nullptr)
        return;
    if (m_gain == 0) {
        std::memset(m_data, 0, static_cast<size_t>(m_length) * m_width);
        m_gain = kUnityGain;
        return;
    }
    // Q15 gain as a 16.16 factor; products saturate, so a gain above unity clips once, here.
    const int64_t factor = static_cast<int64_t>(m_gain) << 1;
    if (m_width == 2) {
        auto* s = Samples();
        for (uint32_t i = 0; i < m_length; ++i)
            s[i] = Saturate16((s[i] * factor) >> 16);
    } else if (m_width == 1) {
        auto* s = static_cast<int8_t*>(m_data);
        for (uint32_t i = 0; i < m_length; ++i)
            s[i] = static_cast<int8_t>(std::clamp<int64_t>((s[i] * factor) >> 16, -128, 127));
    } else {
        auto* s = static_cast<int32_t*>(m_data);
        for (uint32_t i = 0; i < m_length; ++i)
            s[i] = static_cast<int32_t>(std::clamp<int64_t>((s[i] * factor) >> 16, INT32_MIN, INT32_MAX));
    }
    m_gain = kUnityGain;
}

void CSampleBuffer::WriteMono(void* device, DeviceFormat format) noexcept
{
    ApplyGain();
    auto* out = static_cast<uint8_t*>(device);
    const int step = BytesPerSample(format);
    const int16_t* s = Samples();
    for (uint32_t i = 0; i < m_length; ++i, out += step)
        PutDeviceSample(out, s[i], format);
}

void CSampleBuffer::WritePair(CSampleBuffer& right, void* device, DeviceFormat format) noexcept
{
    ApplyGain();
    right.ApplyGain();
    auto* out = static_cast<uint8_t*>(device);
    const int step = BytesPerSample(format);
    const uint32_t frames = std::min(m_length, right.m_length);
    const int16_t* l = Samples();
    const int16_t* r = right.Samples();
    for (uint32_t i = 0; i < frames; ++i) {
        PutDeviceSample(out, l[i], format);
        PutDeviceSample(out + step, r[i], format);
        out += 2 * step;
    }
}

void CSampleBuffer::ReadChannel(const int16_t* interleaved, uint32_t frames, int channel) noexcept
{
    const uint32_t count = std::min(frames, m_length);
    int16_t* s = Samples();
    const int offset = channel == 0 ? 0 : 1;
    for (uint32_t i = 0; i < count; ++i)
        s[i] = interleaved[2 * i + offset];
}

void CSampleBuffer::ReadPair(CSampleBuffer& right, const int16_t* interleaved, uint32_t frames) noexcept
{
    ReadChannel(interleaved, frames, 0);
    right.ReadChannel(interleaved, frames, 1);
}

void CSampleBuffer::ToFloat(float* out) const noexcept
{
    const int16_t* s = Samples();
    for (uint32_t i = 0; i < m_length; ++i)
        out[i] = static_cast<float>(s[i]) * (1.0f / 32768.0f);
}

void CSampleBuffer::FromFloat(const float* in) noexcept
{
    int16_t* s = Samples();
    uint32_t i = 0;
#if defined(__SSE2__)
    // Four at a time through doubles, rounded to nearest as lrint does, the low 16 bits kept:
    // the same samples for every value the mixer gives (anything within +-65536 full scale).
    const __m128d scale = _mm_set1_pd(32767.0);
    for (; i + 4 <= m_length; i += 4) {
        const __m128 four = _mm_loadu_ps(in + i);
        const __m128i low = _mm_cvtpd_epi32(_mm_mul_pd(_mm_cvtps_pd(four), scale));
        const __m128i high = _mm_cvtpd_epi32(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(four, four)), scale));
        __m128i values = _mm_unpacklo_epi64(low, high);
        values = _mm_srai_epi32(_mm_slli_epi32(values, 16), 16); // the low 16 bits, sign-extended
        _mm_storel_epi64(reinterpret_cast<__m128i*>(s + i), _mm_packs_epi32(values, values));
    }
#endif
    for (; i < m_length; ++i) {
        // The mixer has clipped to full scale already; the low 16 bits are what the bus stores.
        // The product is taken in double so that samples below half scale survive the round trip
        // from x / 32768 exactly (a float product rounds some of them down).
        const long value = std::lrint(static_cast<double>(in[i]) * 32767.0);
        s[i] = static_cast<int16_t>(static_cast<uint16_t>(value));
    }
}

void CSampleBuffer::CopyRange(const CSampleBuffer& source, uint32_t sourceFirst, uint32_t first,
                              uint32_t count) noexcept
{
    if (sourceFirst >= source.m_length || first >= m_length)
        return;
    count = std::min({count, source.m_length - sourceFirst, m_length - first});
    std::memmove(Samples() + first, source.Samples() + sourceFirst, static_cast<size_t>(count) * 2);
}

void CSampleBuffer::ClearRange(uint32_t first, uint32_t count) noexcept
{
    if (first >= m_length)
        return;
    count = std::min(count, m_length - first);
    std::memset(static_cast<uint8_t*>(m_data) + static_cast<size_t>(first) * m_width, 0,
                static_cast<size_t>(count) * m_width);
}

void CSampleBuffer::MixFrom(const CSampleBuffer& source, uint32_t sourceGain, uint32_t first,
                            uint32_t count) noexcept
{
    if (sourceGain == 0 || first >= m_length || first >= source.m_length)
        return;
    count = std::min({count, m_length - first, source.m_length - first});
    int16_t* dst = Samples() + first;
    const int16_t* src = source.Samples() + first;
    const uint32_t ownGain = m_gain;
    if (ownGain == 0) {
        std::memcpy(dst, src, static_cast<size_t>(count) * 2);
        m_gain = sourceGain;
        return;
    }
    // Both weights are below 65536 because both gains are above zero.
    const uint64_t total = static_cast<uint64_t>(ownGain) + sourceGain;
    const int64_t ownWeight = static_cast<int64_t>((static_cast<uint64_t>(ownGain) << 16) / total);
    const int64_t sourceWeight = static_cast<int64_t>((static_cast<uint64_t>(sourceGain) << 16) / total);
    for (uint32_t i = 0; i < count; ++i)
        dst[i] = Saturate16((ownWeight * dst[i] + sourceWeight * src[i]) >> 16);
    m_gain = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
}
