#pragma once

#include "OutputDriver.h"
#include "PolyphaseResampler.h"
#include "SwitchBuffer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// Plays through a running JACK server (identifier 512; the server is never started for us).
// The server's process callback is the buffer switch: it asks the manager for just enough
// ticks to fill one server buffer, and the frames a block has beyond that are carried to the
// next switch. The master instance feeds the server's first two physical playback ports, a
// secondary the third and fourth (nothing when the server has fewer). When the server does not
// run at the record's rate, each instance resamples its blocks.
//
// The master's Open makes a server connection of its own: the JACK client, the channel
// assignment table, the registered ports and the counters. A secondary opened on the same
// manager joins the connection of that manager's master, so two devices (two managers, or a
// server tried in the setup while another plays) never touch each other's connection. libjack
// itself serves one server per process: two devices at once must be on the same server.
class CJackOutput : public COutputDriver {
public:
    static constexpr int kMaxChannels = 16; // physical playback ports taken into account
    // Entries of the channel assignment table.
    enum Entry { MasterLeft = 0, MasterRight = 1, SecondaryLeft = 2, SecondaryRight = 3, kEntries = 4 };
    // Open codes.
    static constexpr int kNoServer = 1;      // no server, a query failed, or nothing to play to
    static constexpr int kBadSampleType = 2; // an assigned port takes samples we cannot write
    static constexpr int kBadRate = 3;       // the server's rate (and buffer) is beyond the resampler

    CJackOutput() = default;
    // Connects to the named server instead of the default one (tests and tools).
    explicit CJackOutput(std::string serverName) : m_serverName(std::move(serverName)) {}
    ~CJackOutput() override;

    // User-interface thread.
    // Master: connects, reads the physical playback ports, the rate and the buffer size, and
    // sets the record's block frames. Secondary: needs an open master. 0 or an Open code.
    int Open(COutputDeviceInfo& record, COutputManager& manager) override;
    int Close() override;
    // Master: registers the ports (first Start), activates the client and connects the ports
    // to the physical playback ports in table order. 0 also when that fails (nothing plays).
    int Start() override;
    // Any thread; on the process thread or after the server went away it only stops rendering
    // (the client is deactivated by the next Start, Stop or Close from this thread).
    int Stop() override;

    // Process thread: no allocation, no blocking lock. Appends the block (resampled when
    // needed) to what this instance holds for the server.
    int Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept override;

    // Any thread.
    // Frames written since Start (at the record's rate).
    int GetPosition(uint32_t& frames) noexcept override;
    // Frames this instance has put into server ports since Open.
    uint32_t FramesToPorts() const noexcept { return m_framesToPorts.load(std::memory_order_relaxed); }
    uint32_t Carried() const noexcept { return m_carried.load(std::memory_order_relaxed); }
    // Of this instance's connection, since its master's Open (0, false, -1 or empty while the
    // instance is not open): xruns the server reported, switches that could not be filled, and
    // whether the server went away.
    uint32_t Xruns() const noexcept;
    uint32_t ShortSwitches() const noexcept;
    bool ServerLost() const noexcept;
    // The physical playback port of a table entry (0-based), -1 when unassigned.
    int Channel(Entry entry) const noexcept;
    int OutputChannels() const noexcept;
    uint32_t ServerRate() const noexcept;
    uint32_t ServerBufferFrames() const noexcept;
    bool Resampling() const noexcept;
    // The full name of our port for a table entry ("client:port"), empty before Start.
    std::string PortName(Entry entry) const;

private:
    struct ServerConnection;
    // The callbacks' argument is the connection.
    static int Process(uint32_t frames, void* arg) noexcept;
    static int OnXrun(void* arg) noexcept;
    static void OnShutdown(void* arg) noexcept;
    static void OnThreadInit(void* arg) noexcept;
    bool IsMaster() const noexcept;
    int OpenMaster(COutputDeviceInfo& record);
    int SetUpBuffers(uint32_t serverBufferFrames);
    // Process thread: moves one server buffer into this instance's ports.
    void Deliver(ServerConnection& connection, uint32_t frames) noexcept;

    std::string m_serverName; // empty: the default server
    // Made by the master's Open, shared by the secondary's; null while not open.
    std::shared_ptr<ServerConnection> m_connection;
    CSwitchBuffer m_buffer;
    CPolyphaseResampler m_resamplers[2]; // left, right; configured only when resampling
    bool m_resample = false;
    Entry m_left = MasterLeft; // table entries this instance writes, set by Start
    Entry m_right = MasterRight;
    std::atomic<bool> m_playing{false};
    std::atomic<uint32_t> m_framesWritten{0}; // since Start, at the record's rate
    std::atomic<uint32_t> m_framesToPorts{0};
    std::atomic<uint32_t> m_carried{0}; // frames held after the last switch
};
