#include "PulseStream.h"

#include "AudioThread.h"

#include <pulse/channelmap.h>
#include <pulse/sample.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <cstring>

namespace {

bool Settled(pa_stream* stream) noexcept
{
    const pa_stream_state_t state = pa_stream_get_state(stream);
    return state == PA_STREAM_READY || state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED;
}

} // namespace

int CPulseStream::Open(CPulseConnection& connection, const std::string& sinkName, const pa_sample_spec& spec,
                       uint32_t blockFrames, uint32_t bufferBlocks,
                       CPulseConnection::Clock::time_point deadline)
{
    AssertNotAudioThread("CPulseStream::Open");
    Close();
    if ((spec.format != PA_SAMPLE_S16LE && spec.format != PA_SAMPLE_U8) || !pa_sample_spec_valid(&spec) ||
        (spec.channels != 1 && spec.channels != 2 && spec.channels != 4) || blockFrames == 0 ||
        bufferBlocks < 2)
        return OutputErrors::kServerFormat;
    m_connection = &connection;
    m_sinkName = sinkName;
    m_spec = spec;
    m_blockFrames = blockFrames;
    m_bufferBlocks = bufferBlocks;
    m_frameBytes = static_cast<uint32_t>(pa_frame_size(&spec));
    return Reconnect(deadline);
}

int CPulseStream::Reconnect(CPulseConnection::Clock::time_point deadline)
{
    AssertNotAudioThread("CPulseStream::Reconnect");
    using namespace OutputErrors;
    if (m_stream != nullptr)
        return 0;
    if (m_connection == nullptr || !m_connection->Alive())
        return kServerUnreachable;
    pa_channel_map map;
    if (m_spec.channels == 4) {
        // The second pair goes to the rear speakers, never mixed into the front by the server.
        pa_channel_map_init(&map);
        map.channels = 4;
        map.map[0] = PA_CHANNEL_POSITION_FRONT_LEFT;
        map.map[1] = PA_CHANNEL_POSITION_FRONT_RIGHT;
        map.map[2] = PA_CHANNEL_POSITION_REAR_LEFT;
        map.map[3] = PA_CHANNEL_POSITION_REAR_RIGHT;
    } else if (m_spec.channels == 2) {
        pa_channel_map_init_stereo(&map);
    } else {
        pa_channel_map_init_mono(&map);
    }
    m_stream = pa_stream_new(m_connection->Context(), "Quandel Player", &m_spec, &map);
    if (m_stream == nullptr)
        return m_connection->Alive() ? kStreamRefused : kServerUnreachable;
    pa_stream_set_underflow_callback(m_stream, OnUnderflow, this);
    m_framesWritten = 0;
    m_timingPending = false;

    // Asked for a block at a time. With the latency adjusted the server splits the buffer
    // between the stream's queue and the sink's own buffer, giving the sink what is left over
    // two requests: for two blocks nothing, so it takes the frames in small pieces as it plays
    // them. (Left to the server, the request was a fraction of a block and the sink took most
    // of a block at once: waiting for a block of requests then let it run dry.) The start
    // threshold is left to the server: all but a block, and a frame.
    const uint32_t blockBytes = m_blockFrames * m_frameBytes;
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = m_bufferBlocks * blockBytes;
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = blockBytes;
    attr.fragsize = static_cast<uint32_t>(-1);
    // Timing reports come when the pacing asks for them, once a tick; the library's own
    // interpolation is not used, as it runs on before a null sink has started.
    const auto flags = PA_STREAM_ADJUST_LATENCY;
    const char* sink = m_sinkName.empty() ? nullptr : m_sinkName.c_str();
    if (pa_stream_connect_playback(m_stream, sink, &attr, flags, nullptr, nullptr) < 0) {
        Drop();
        return m_connection->Alive() ? kStreamFailed : kServerUnreachable;
    }
    m_connection->RunUntil([this] { return Settled(m_stream); }, deadline);
    if (pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        Drop();
        return m_connection->Alive() ? kStreamFailed : kServerUnreachable;
    }
    RequestTiming();
    return 0;
}

void CPulseStream::Drop() noexcept
{
    if (m_stream == nullptr)
        return;
    pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
    if (pa_stream_get_state(m_stream) == PA_STREAM_READY)
        pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
    m_timingPending = false;
}

void CPulseStream::Close() noexcept
{
    Drop();
    m_connection = nullptr;
    m_sinkName.clear();
}

size_t CPulseStream::WritableBytes() const noexcept
{
    if (m_stream == nullptr)
        return 0;
    const size_t bytes = pa_stream_writable_size(m_stream);
    return bytes == static_cast<size_t>(-1) ? 0 : bytes;
}

int CPulseStream::Write(const void* data, size_t bytes) noexcept
{
    if (m_stream == nullptr || m_frameBytes == 0 || !Alive())
        return 1;
    const auto* in = static_cast<const uint8_t*>(data);
    bytes -= bytes % m_frameBytes;
    while (bytes > 0) {
        // The library's own memory is written into directly: one copy, and no buffer of ours.
        void* buffer = nullptr;
        size_t chunk = bytes;
        if (pa_stream_begin_write(m_stream, &buffer, &chunk) < 0 || buffer == nullptr)
            return 1;
        chunk = std::min(chunk, bytes);
        chunk -= chunk % m_frameBytes;
        if (chunk == 0) {
            pa_stream_cancel_write(m_stream);
            return 1;
        }
        std::memcpy(buffer, in, chunk);
        if (pa_stream_write(m_stream, buffer, chunk, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return 1;
        m_framesWritten += static_cast<uint32_t>(chunk / m_frameBytes);
        in += chunk;
        bytes -= chunk;
    }
    return 0;
}

void CPulseStream::RequestTiming() noexcept
{
    if (m_stream == nullptr || m_timingPending || !Alive())
        return;
    if (pa_operation* operation = pa_stream_update_timing_info(m_stream, OnTiming, this)) {
        m_timingPending = true;
        pa_operation_unref(operation);
    }
}

bool CPulseStream::PlayedFrames(uint32_t& frames) const noexcept
{
    frames = 0;
    const pa_timing_info* timing = m_stream != nullptr ? pa_stream_get_timing_info(m_stream) : nullptr;
    if (timing == nullptr || timing->read_index_corrupt != 0 || m_frameBytes == 0)
        return false;
    // The sink has taken the frames up to the read index; those it holds are not heard yet.
    // While playing, the report ages at the sink's rate (a second at most: reports come once a
    // tick).
    const int64_t rate = m_spec.rate;
    int64_t played =
        timing->read_index / m_frameBytes - static_cast<int64_t>(timing->sink_usec) * rate / 1000000;
    if (timing->playing != 0) {
        const int64_t ageUs =
            std::min<int64_t>(static_cast<int64_t>(pa_timeval_age(&timing->timestamp)), 1000000);
        played += ageUs * rate / 1000000;
    }
    frames = static_cast<uint32_t>(std::clamp<int64_t>(played, 0, m_framesWritten));
    return true;
}

bool CPulseStream::Playing() const noexcept
{
    const pa_timing_info* timing = m_stream != nullptr ? pa_stream_get_timing_info(m_stream) : nullptr;
    return timing != nullptr && timing->playing != 0;
}

bool CPulseStream::Alive() const noexcept
{
    if (m_stream == nullptr || m_connection == nullptr || !m_connection->Alive())
        return false;
    return pa_stream_get_state(m_stream) == PA_STREAM_READY;
}

void CPulseStream::OnUnderflow(pa_stream* /*stream*/, void* self) noexcept
{
    static_cast<CPulseStream*>(self)->m_underruns.fetch_add(1, std::memory_order_relaxed);
}

void CPulseStream::OnTiming(pa_stream* /*stream*/, int /*success*/, void* self) noexcept
{
    static_cast<CPulseStream*>(self)->m_timingPending = false;
}
