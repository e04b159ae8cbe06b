#pragma once

#include "MidiDispatcher.h"
#include "MidiMapping.h"
#include "MidiWake.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

class CControlTable;
class CMidiDevice;

// Which MIDI system the controllers are looked for on.
enum class MidiSystem : uint8_t { Alsa, Jack };

struct MidiControllersOptions {
    std::vector<MidiSystem> systems{MidiSystem::Alsa, MidiSystem::Jack};
    std::string clientName = "Quandel Player"; // our ports' client; ports of it are never opened
    // Folders of .midimap files: the shipped ones first, then the user's (whose files win on the
    // same name). generic names the mapping of a device no file matches by its port name.
    std::vector<std::string> mappingFolders;
    std::string generic = "generic-two-deck";
    std::chrono::milliseconds scanInterval{1000}; // how often ports coming and going are looked for
    std::chrono::milliseconds tickInterval{10};   // lamps and jog bends, at least this often
    // Called on the MIDI thread before any device's cross-fader message is applied; must outlive
    // Stop (see CControllerFaderHold).
    std::function<void()> crossFaderTouched;
};

// A binding made in learn mode, for the mapping of the device it came from.
struct MidiLearned {
    std::string port;
    std::string mapping;
    MidiBinding binding;
};

struct MidiDeviceInfo {
    std::string port;
    std::string mapping; // the mapping's name (its file name without .midimap)
    bool open = false;   // false: the port went away; its bindings are idle
};

// The DJ controllers: finds the MIDI input ports of the chosen systems, opens each with its
// mapping, and runs the MIDI thread that reads them. A port that appears while the program runs
// is opened; one that goes away is closed, and its bindings do nothing more. Messages become
// control function writes (values and both marks: the control host applies them on its next
// tick) and commands the window takes with TakeCommand. Lamps are sent on each device's output
// port of the same client.
//
// Threads: construction, Start, Stop and the public operations on the user-interface thread;
// the MIDI thread of its own reads ports, writes control functions and sends lamps; the ports'
// callbacks run on the MIDI library's threads (for JACK its process thread) and only fill a ring.
class CMidiControllers {
public:
    static constexpr size_t kMaxCommands = 64;
    // Learn reads what the element sends over this long before it decides what the element is:
    // a 14-bit pair sends both halves and an encoder repeats its step within it.
    static constexpr std::chrono::milliseconds kLearnWindow{300};
    static constexpr size_t kMaxLearnMessages = 256; // more in one window are not looked at

    CMidiControllers(CControlTable& controls, MidiControllersOptions options);
    ~CMidiControllers();
    CMidiControllers(const CMidiControllers&) = delete;
    CMidiControllers& operator=(const CMidiControllers&) = delete;

    // Reads the mappings, opens what is there and starts the thread. Systems that cannot be used
    // (no sequencer device, no JACK server) are left out, each with its reason in Problems().
    void Start();
    void Stop();

    // The ports seen, opened or gone, in the order they came.
    std::vector<MidiDeviceInfo> Devices() const;
    // Mapping names found in the folders.
    std::vector<std::string> MappingNames() const;
    // Uses mapping for port from now on (reopening it); false for an unknown mapping.
    bool ChooseMapping(const std::string& port, const std::string& mapping);
    // Rows refused in the mapping files and systems that could not be opened, one line each.
    std::vector<std::string> Problems() const;
    // Looks for ports now instead of at the next scan.
    void ScanNow();
    // The oldest command a controller asked for; false when none waits.
    bool TakeCommand(MidiCommand& command);

    // Messages read and pieces lost to full rings, over all devices, since Start.
    uint64_t MessagesRead() const noexcept { return m_messagesRead.load(std::memory_order_relaxed); }
    uint64_t PiecesDropped() const noexcept { return m_piecesDropped.load(std::memory_order_relaxed); }
    // Arrival (steady clock ns) of the last message read and when its writes were done.
    int64_t LastArrivalNs() const noexcept { return m_lastArrivalNs.load(std::memory_order_acquire); }
    int64_t LastAppliedNs() const noexcept { return m_lastAppliedNs.load(std::memory_order_acquire); }
    // Messages of any device bound to the cross-fader since Start (see CControllerFaderHold).
    uint64_t CrossFaderMessages() const noexcept
    {
        return m_crossFaderMessages.load(std::memory_order_acquire);
    }

    // Learn: while on, controllers move nothing; the element of any device moved first after
    // LearnTarget (its messages over kLearnWindow) becomes a binding of that control, which
    // SaveLearned writes into the user's mapping file.
    void SetLearning(bool on);
    bool Learning() const;
    // The control function (and deck for per-deck functions) the user clicked.
    void LearnTarget(int32_t controlId, int deck);
    // Writes what was learned since the last call into the user's mapping files (the last
    // mapping folder; a shipped mapping is copied there first), atomically, and opens the
    // devices again with them. The bindings written; problems found on the way go to Problems().
    std::vector<MidiLearned> SaveLearned();
    // The binding the messages of one element, in the order they came within kLearnWindow, make
    // for a control: notes toggle 0/1 functions and press others; control changes and pitch bend
    // move with soft take-over, a control change below 32 with its partner 32 higher as a 14-bit
    // pair, and one that repeats small steps (1..15 up, 127..113 down, or around 64) as a
    // relative encoder. False when only releases came and for a target the messages cannot move.
    static bool LearnedBinding(std::span<const MidiMessage> messages, const CControlTable& controls,
                               int32_t controlId, int deck, MidiBinding& binding);
    static bool LearnedBinding(const MidiMessage& message, const CControlTable& controls, int32_t controlId,
                               int deck, MidiBinding& binding)
    {
        return LearnedBinding(std::span<const MidiMessage>(&message, 1), controls, controlId, deck, binding);
    }

    // A device fed by the caller instead of a port (tools and benchmarks): Receive on the
    // returned device, from one thread, as a port's callback would. Lives until Stop.
    CMidiDevice* AttachDevice(const std::string& name, const std::string& mapping);

private:
    struct Port;
    struct System;

    void Run();
    void Scan();
    void LoadMappings();
    const CMidiMapping* MappingFor(const std::string& port, std::string& name) const;
    void Open(System& system, unsigned index, const std::string& port);
    void Close(Port& port);
    void PushCommand(MidiCommand command);

    CControlTable& m_controls;
    MidiControllersOptions m_options;

    mutable std::mutex m_lock; // the lists below, between the threads
    std::map<std::string, CMidiMapping> m_mappings;
    std::map<std::string, std::string> m_chosen; // port -> mapping name
    std::vector<std::string> m_problems;
    std::vector<std::unique_ptr<System>> m_systems;
    std::vector<std::unique_ptr<Port>> m_ports;
    std::deque<MidiCommand> m_commands;
    std::vector<MidiLearned> m_learned;
    bool m_learning = false;
    int32_t m_learnId = -1; // -1: no control clicked yet
    int m_learnDeck = MidiBinding::kNoDeck;
    // The messages of the element being learned, from the first one's port, until m_learnUntil.
    std::vector<MidiMessage> m_learnMessages;
    std::string m_learnPort;
    std::string m_learnMapping;
    std::chrono::steady_clock::time_point m_learnUntil;
    bool m_scanRequested = true;
    bool m_stopping = false;

    CMidiWake m_wake; // signalled by the callbacks and by the user thread
    std::thread m_thread;
    std::atomic<uint64_t> m_messagesRead{0};
    std::atomic<uint64_t> m_piecesDropped{0};
    std::atomic<int64_t> m_lastArrivalNs{0};
    std::atomic<int64_t> m_lastAppliedNs{0};
    std::atomic<uint64_t> m_crossFaderMessages{0};
};
