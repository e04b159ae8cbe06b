#pragma once

#include "PulseConnection.h"

#include <pulse/stream.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// Owns one playback stream on a sound-server connection, holding up to a few blocks (two for a
// master) ahead of what is audible; it starts playing once it holds all but one and goes on as
// long as blocks keep coming. The server asks for frames a block at a time as the sink plays them. The frames
// handed over since the stream was made are the write cursor; what is audible comes from the
// server's timing reports: the frames the sink has taken less those it still holds.
//
// Threads: Open, Reconnect and Close on the user-interface thread; the rest on the thread that
// owns the connection's loop (the pacing thread once it runs).
class CPulseStream {
public:
    CPulseStream() = default;
    ~CPulseStream() { Close(); }
    CPulseStream(const CPulseStream&) = delete;
    CPulseStream& operator=(const CPulseStream&) = delete;

    // User-interface thread.
    // Plays on the named sink (empty: the server's default) in spec's format, holding
    // bufferBlocks blocks; four channels are laid out front left, front right, rear left, rear
    // right. 0, kServerFormat, kStreamRefused, kStreamFailed, or kServerUnreachable when the
    // connection went away.
    int Open(CPulseConnection& connection, const std::string& sinkName, const pa_sample_spec& spec,
             uint32_t blockFrames, uint32_t bufferBlocks, CPulseConnection::Clock::time_point deadline);
    // A fresh stream with the parameters of Open, after Drop; 0 at once when one is there.
    int Reconnect(CPulseConnection::Clock::time_point deadline);
    // Drop, and forget the parameters.
    void Close() noexcept;
    bool IsOpen() const noexcept { return m_stream != nullptr; }

    // The thread that owns the loop: no allocation of ours, no waiting.
    // Bytes the server has asked for and not yet been given: the room in the buffer.
    size_t WritableBytes() const noexcept;
    // Hands the bytes over whole; 1 when the stream failed.
    int Write(const void* data, size_t bytes) noexcept;
    // Ends the stream at once; the server discards what it still holds. Reconnect makes the
    // next one.
    void Drop() noexcept;
    // Asks the server for a fresh timing report, unless one is on its way.
    void RequestTiming() noexcept;
    // Frames handed over since the stream was made: the write cursor.
    uint32_t FramesWritten() const noexcept { return m_framesWritten; }
    // Frames audible since the stream was made, at most the write cursor, from the last timing
    // report carried forward to now. false before the first report.
    bool PlayedFrames(uint32_t& frames) const noexcept;
    // The last report found the server passing the stream's frames on to the sink (started
    // and not run dry).
    bool Playing() const noexcept;
    // The stream and its connection still serve.
    bool Alive() const noexcept;

    // Any thread.
    uint32_t Underruns() const noexcept { return m_underruns.load(std::memory_order_relaxed); }
    uint32_t FrameBytes() const noexcept { return m_frameBytes; }
    uint32_t RateHz() const noexcept { return m_spec.rate; }

private:
    static void OnUnderflow(pa_stream* stream, void* self) noexcept;
    static void OnTiming(pa_stream* stream, int success, void* self) noexcept;

    CPulseConnection* m_connection = nullptr; // outlives the stream
    std::string m_sinkName;                   // empty: the server's default
    pa_sample_spec m_spec{};
    uint32_t m_blockFrames = 0;
    uint32_t m_bufferBlocks = 2;
    pa_stream* m_stream = nullptr;
    uint32_t m_frameBytes = 0;
    uint32_t m_framesWritten = 0; // the write cursor since the stream was made; wraps after 27 h
    bool m_timingPending = false; // a timing request is on its way
    std::atomic<uint32_t> m_underruns{0};
};
