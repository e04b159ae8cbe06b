#include "MidiControllers.h"

#include "AudioLibraryMessages.h"
#include "ControlTable.h"
#include "MidiDevice.h"

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kMappingExtension = ".midimap";
constexpr const char* kSequencerDevice = "/dev/snd/seq";
constexpr std::chrono::milliseconds kLampSettle{200};
// Sent again later: a server that skipped the late client's periods meanwhile dropped them.
constexpr int kLampRounds = 3;
constexpr std::chrono::milliseconds kLampRepeat{1000};

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The client part of a port name: "Client:port" for JACK, "Client:Port 20:0" for ALSA.
std::string ClientOf(const std::string& port)
{
    return port.substr(0, port.find(':'));
}

RtMidi::Api ApiOf(MidiSystem system)
{
    return system == MidiSystem::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

const char* SystemName(MidiSystem system)
{
    return system == MidiSystem::Alsa ? "ALSA sequencer" : "JACK";
}

// The library reports through this instead of throwing or printing; the last text is kept for
// the one asking.
void KeepError(RtMidiError::Type type, const std::string& text, void* userData)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        *static_cast<std::string*>(userData) = text;
    else if (static_cast<std::string*>(userData)->empty())
        *static_cast<std::string*>(userData) = text;
}

// The MIDI library tells a missing JACK server on standard error while it is made, before it
// can be given a callback: the server is looked for first, quietly.
bool JackServerRuns()
{
    CAudioLibraryMessages::Quieten();
    jack_status_t status{};
    jack_client_t* client = jack_client_open("Quandel Player probe", JackNoStartServer, &status);
    if (client == nullptr)
        return false;
    jack_client_close(client);
    return true;
}

// What else a control change seen while learning is, from the others of the window: the MSB of
// a 14-bit pair when its partner 32 higher came too (an LSB seen first names its MSB), or a
// relative encoder when it repeated a step of one of the two forms (a fader or knob never sends
// the same value twice in a row, an encoder does at every detent the same way).
void LearnControlChangeKind(std::span<const MidiMessage> messages, MidiBinding& binding)
{
    const auto sent = [&](uint8_t number) {
        return std::any_of(messages.begin(), messages.end(), [&](const MidiMessage& m) {
            return m.type == MidiMessageType::ControlChange && m.channel == binding.channel &&
                   m.number == number;
        });
    };
    const uint8_t number = binding.number;
    if (number < 32 && sent(static_cast<uint8_t>(number + 32))) {
        binding.kind = MidiMessageKind::ControlChange14;
        binding.lsbNumber = static_cast<uint8_t>(number + 32);
        return;
    }
    if (number >= 32 && number < 64 && sent(static_cast<uint8_t>(number - 32))) {
        binding.kind = MidiMessageKind::ControlChange14;
        binding.number = static_cast<uint8_t>(number - 32);
        binding.lsbNumber = number;
        return;
    }
    bool twos = true;
    bool offset = true;
    bool repeated = false;
    int previous = -1;
    for (const MidiMessage& m : messages) {
        if (m.type != MidiMessageType::ControlChange || m.channel != binding.channel || m.number != number)
            continue;
        const int value = m.value;
        twos = twos && ((value >= 1 && value <= 15) || (value >= 113 && value <= 127));
        offset = offset && value >= 49 && value <= 79 && value != 64;
        repeated = repeated || value == previous;
        previous = value;
    }
    if (!repeated)
        return;
    if (twos)
        binding.behaviour = MidiBehaviour::RelativeTwos;
    else if (offset)
        binding.behaviour = MidiBehaviour::RelativeOffset;
}

} // namespace

struct CMidiControllers::System {
    MidiSystem kind = MidiSystem::Jack;
    std::unique_ptr<RtMidiIn> probeIn;   // lists the ports that send
    std::unique_ptr<RtMidiOut> probeOut; // lists the ports that take lamps
    std::string error;
};

struct CMidiControllers::Port {
    std::string name;
    MidiSystem system = MidiSystem::Jack;
    std::string chosenMapping;
    std::unique_ptr<RtMidiIn> in;   // destroyed before device: its callback writes into device
    std::unique_ptr<RtMidiOut> out; // null when the controller has no lamp port
    std::unique_ptr<CMidiDevice> device;
    std::string error;
    bool open = false;
    bool attached = false; // fed by AttachDevice, not by a port
    int lampsDue = 0;      // times every lamp is still to be sent, next at lampsAt
    CMidiDispatcher::Clock::time_point lampsAt;
};

namespace {

// RtMidi's input callback, on the library's thread: the bytes go into the device's ring.
void OnMidiBytes(double /*deltaSeconds*/, std::vector<unsigned char>* message, void* userData)
{
    if (message != nullptr && !message->empty())
        static_cast<CMidiDevice*>(userData)->Receive(message->data(), message->size(), NowNs());
}

} // namespace

CMidiControllers::CMidiControllers(CControlTable& controls, MidiControllersOptions options)
    : m_controls(controls), m_options(std::move(options))
{
}

CMidiControllers::~CMidiControllers()
{
    Stop();
}

void CMidiControllers::LoadMappings()
{
    m_mappings.clear();
    for (const std::string& folder : m_options.mappingFolders) {
        DIR* dir = opendir(folder.c_str());
        if (dir == nullptr)
            continue;
        std::vector<std::string> files;
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            const size_t extension = std::char_traits<char>::length(kMappingExtension);
            if (name.size() > extension &&
                name.compare(name.size() - extension, extension, kMappingExtension) == 0)
                files.push_back(name);
        }
        closedir(dir);
        std::sort(files.begin(), files.end());
        for (const std::string& file : files) {
            const std::string path = folder + "/" + file;
            CMidiMapping mapping;
            std::vector<MidiMappingProblem> problems;
            std::string error;
            if (!CMidiMapping::LoadFile(path, m_controls, mapping, problems, error)) {
                m_problems.push_back(error);
                continue;
            }
            for (const MidiMappingProblem& problem : problems)
                m_problems.push_back(path + ":" + std::to_string(problem.line) + ": " + problem.message);
            m_mappings[file.substr(0, file.size() - std::char_traits<char>::length(kMappingExtension))] =
                std::move(mapping);
        }
    }
}

void CMidiControllers::Start()
{
    Stop();
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_problems.clear();
        LoadMappings();
        for (MidiSystem kind : m_options.systems) {
            auto system = std::make_unique<System>();
            system->kind = kind;
            if (kind == MidiSystem::Alsa && access(kSequencerDevice, R_OK | W_OK) != 0) {
                m_problems.push_back(std::string(SystemName(kind)) + ": " + kSequencerDevice +
                                     " is not there (no kernel sequencer)");
                continue;
            }
            if (kind == MidiSystem::Jack && !JackServerRuns()) {
                m_problems.push_back(std::string(SystemName(kind)) + ": no server is running");
                continue;
            }
            try {
                system->probeIn = std::make_unique<RtMidiIn>(ApiOf(kind), m_options.clientName);
                system->probeIn->setErrorCallback(KeepError, &system->error);
                system->probeOut = std::make_unique<RtMidiOut>(ApiOf(kind), m_options.clientName);
                system->probeOut->setErrorCallback(KeepError, &system->error);
                system->probeIn->getPortCount();
            } catch (const RtMidiError& error) {
                system->error = error.getMessage();
                system->probeIn.reset();
                system->probeOut.reset();
            }
            if (system->probeIn == nullptr || !system->error.empty()) {
                m_problems.push_back(std::string(SystemName(kind)) + ": " + system->error);
                continue;
            }
            m_systems.push_back(std::move(system));
        }
        m_stopping = false;
        m_scanRequested = true;
    }
    m_thread = std::thread([this] { Run(); });
}

void CMidiControllers::Stop()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stopping = true;
    }
    m_wake.Signal();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> hold(m_lock);
    for (auto& port : m_ports)
        Close(*port);
    m_ports.clear();
    m_systems.clear();
    m_commands.clear();
}

const CMidiMapping* CMidiControllers::MappingFor(const std::string& port, std::string& name) const
{
    const auto chosen = m_chosen.find(port);
    if (chosen != m_chosen.end() && m_mappings.count(chosen->second) != 0) {
        name = chosen->second;
        return &m_mappings.at(name);
    }
    for (const auto& [mappingName, mapping] : m_mappings) {
        if (!mapping.DeviceMatch().empty() && port.find(mapping.DeviceMatch()) != std::string::npos) {
            name = mappingName;
            return &mapping;
        }
    }
    const auto generic = m_mappings.find(m_options.generic);
    if (generic == m_mappings.end())
        return nullptr;
    name = generic->first;
    return &generic->second;
}

void CMidiControllers::Open(System& system, unsigned index, const std::string& name)
{
    auto found = std::find_if(m_ports.begin(), m_ports.end(), [&](const auto& p) { return p->name == name; });
    if (found == m_ports.end()) {
        m_ports.push_back(std::make_unique<Port>());
        found = std::prev(m_ports.end());
        (*found)->name = name;
        (*found)->system = system.kind;
    }
    Port& port = **found;
    std::string mappingName;
    const CMidiMapping* mapping = MappingFor(name, mappingName);
    static const CMidiMapping kNoMapping;
    port.chosenMapping = mapping != nullptr ? mappingName : std::string();
    port.device = std::make_unique<CMidiDevice>(name, port.chosenMapping, mapping ? *mapping : kNoMapping,
                                                m_controls, m_wake);
    port.device->Dispatcher().SetCrossFaderTouch(m_options.crossFaderTouched);
    port.error.clear();
    try {
        port.in =
            std::make_unique<RtMidiIn>(ApiOf(system.kind), m_options.clientName, CMidiByteRing::kCapacity);
        port.in->setErrorCallback(KeepError, &port.error);
        // Nothing is filtered by the library: it looks at the first byte of a delivery only, and
        // the reader must see where an exclusive block ends and skips real-time bytes itself.
        port.in->ignoreTypes(false, false, false);
        port.in->setCallback(OnMidiBytes, port.device.get());
        port.in->openPort(index, "controller in");
        // The lamps go to the first port of the same client that takes messages.
        const std::string client = ClientOf(name);
        const unsigned outputs = system.probeOut->getPortCount();
        for (unsigned i = 0; i < outputs; ++i) {
            if (ClientOf(system.probeOut->getPortName(i)) != client)
                continue;
            port.out = std::make_unique<RtMidiOut>(ApiOf(system.kind), m_options.clientName);
            port.out->setErrorCallback(KeepError, &port.error);
            port.out->openPort(i, "controller lamps");
            break;
        }
    } catch (const RtMidiError& error) {
        port.error = error.getMessage();
    }
    port.open = port.in != nullptr && port.in->isPortOpen();
    if (!port.open) {
        // Tried again at every scan: told once.
        const std::string problem = name + ": " + port.error;
        if (std::find(m_problems.begin(), m_problems.end(), problem) == m_problems.end())
            m_problems.push_back(problem);
        Close(port);
        return;
    }
    // Every lamp once the connection to the controller carries messages: a sound server makes a
    // new connection part of its graph only from a later period on.
    port.lampsDue = kLampRounds;
    port.lampsAt = CMidiDispatcher::Clock::now() + kLampSettle;
}

void CMidiControllers::Close(Port& port)
{
    // The input first: once it is closed no callback writes into the device.
    if (port.in != nullptr) {
        port.in->cancelCallback();
        port.in->closePort();
    }
    port.in.reset();
    port.out.reset();
    if (port.device != nullptr)
        m_piecesDropped.fetch_add(port.device->Dropped(), std::memory_order_relaxed);
    port.device.reset();
    port.open = false;
}

void CMidiControllers::Scan()
{
    for (auto& system : m_systems) {
        std::vector<std::string> names;
        const unsigned count = system->probeIn->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            names.push_back(system->probeIn->getPortName(i));
        for (auto& port : m_ports) {
            if (port->open && !port->attached && port->system == system->kind &&
                std::find(names.begin(), names.end(), port->name) == names.end())
                Close(*port);
        }
        for (unsigned i = 0; i < names.size(); ++i) {
            if (names[i].rfind(m_options.clientName, 0) == 0)
                continue; // our own lamp ports
            const auto known = std::find_if(m_ports.begin(), m_ports.end(),
                                            [&](const auto& p) { return p->name == names[i]; });
            if (known == m_ports.end() || !(*known)->open)
                Open(*system, i, names[i]);
        }
    }
}

void CMidiControllers::Run()
{
    using Clock = CMidiDispatcher::Clock;
    Clock::time_point nextScan = Clock::now();
    for (;;) {
        m_wake.Wait(m_options.tickInterval);
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_stopping)
            return;
        const Clock::time_point now = Clock::now();
        if (m_scanRequested || now >= nextScan) {
            m_scanRequested = false;
            Scan();
            nextScan = now + m_options.scanInterval;
        }
        for (auto& port : m_ports) {
            if (!port->open)
                continue;
            CMidiDevice& device = *port->device;
            const auto learn = [&](const MidiMessage& message) {
                if (!m_learning)
                    return false;
                // A release left over from before the click starts nothing.
                const bool starts = m_learnMessages.empty() && message.type != MidiMessageType::NoteOff;
                const bool continues = !m_learnMessages.empty() && m_learnPort == port->name;
                if (m_learnId >= 0 && (starts || continues) && m_learnMessages.size() < kMaxLearnMessages) {
                    if (starts) {
                        m_learnPort = port->name;
                        m_learnMapping = port->chosenMapping;
                        m_learnUntil = now + kLearnWindow;
                    }
                    m_learnMessages.push_back(message);
                }
                return true; // while learning, the controller moves nothing
            };
            const size_t read = device.Drain([&](MidiCommand command) { PushCommand(command); }, learn, now);
            device.Dispatcher().Tick(now);
            if (const uint32_t moves = device.Dispatcher().TakeCrossFaderMessages(); moves > 0)
                m_crossFaderMessages.fetch_add(moves, std::memory_order_release);
            if (read > 0) {
                m_messagesRead.fetch_add(read, std::memory_order_relaxed);
                m_lastArrivalNs.store(device.LastArrivalNs(), std::memory_order_release);
                m_lastAppliedNs.store(NowNs(), std::memory_order_release);
            }
            if (port->out != nullptr) {
                try {
                    const bool all = port->lampsDue > 0 && now >= port->lampsAt;
                    if (all && --port->lampsDue > 0)
                        port->lampsAt = now + kLampRepeat;
                    device.Dispatcher().CollectLamps(
                        all, [&](const uint8_t* bytes, size_t size) { port->out->sendMessage(bytes, size); });
                } catch (const RtMidiError&) {
                    // A lamp port that went away: the next scan closes the device.
                }
            }
        }
        if (!m_learnMessages.empty() && now >= m_learnUntil) {
            MidiBinding binding;
            if (LearnedBinding(m_learnMessages, m_controls, m_learnId, m_learnDeck, binding)) {
                m_learned.push_back({m_learnPort, m_learnMapping, binding});
                m_learnId = -1; // one element per click
            }
            m_learnMessages.clear();
        }
    }
}

void CMidiControllers::PushCommand(MidiCommand command)
{
    if (m_commands.size() < kMaxCommands)
        m_commands.push_back(command);
}

bool CMidiControllers::TakeCommand(MidiCommand& command)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_commands.empty())
        return false;
    command = m_commands.front();
    m_commands.pop_front();
    return true;
}

std::vector<MidiDeviceInfo> CMidiControllers::Devices() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<MidiDeviceInfo> devices;
    for (const auto& port : m_ports)
        devices.push_back({port->name, port->chosenMapping, port->open});
    return devices;
}

std::vector<std::string> CMidiControllers::MappingNames() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<std::string> names;
    for (const auto& entry : m_mappings)
        names.push_back(entry.first);
    return names;
}

bool CMidiControllers::ChooseMapping(const std::string& port, const std::string& mapping)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_mappings.count(mapping) == 0)
            return false;
        m_chosen[port] = mapping;
        for (auto& open : m_ports) {
            if (open->name == port && open->open && !open->attached)
                Close(*open); // the scan below opens it again with the new mapping
        }
        m_scanRequested = true;
    }
    m_wake.Signal();
    return true;
}

std::vector<std::string> CMidiControllers::Problems() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_problems;
}

void CMidiControllers::ScanNow()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_scanRequested = true;
    }
    m_wake.Signal();
}

CMidiDevice* CMidiControllers::AttachDevice(const std::string& name, const std::string& mapping)
{
    std::lock_guard<std::mutex> hold(m_lock);
    auto port = std::make_unique<Port>();
    port->name = name;
    port->attached = true;
    port->open = true;
    static const CMidiMapping kNoMapping;
    const auto found = m_mappings.find(mapping);
    port->chosenMapping = found != m_mappings.end() ? mapping : std::string();
    port->device = std::make_unique<CMidiDevice>(name, port->chosenMapping,
                                                 found != m_mappings.end() ? found->second : kNoMapping,
                                                 m_controls, m_wake);
    port->device->Dispatcher().SetCrossFaderTouch(m_options.crossFaderTouched);
    CMidiDevice* device = port->device.get();
    m_ports.push_back(std::move(port));
    return device;
}

void CMidiControllers::SetLearning(bool on)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_learning = on;
    m_learnId = -1;
    m_learnMessages.clear();
}

bool CMidiControllers::Learning() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_learning;
}

void CMidiControllers::LearnTarget(int32_t controlId, int deck)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_learnId = controlId;
    m_learnDeck = deck;
    m_learnMessages.clear(); // an element moved before this click belongs to no control
}

bool CMidiControllers::LearnedBinding(std::span<const MidiMessage> messages, const CControlTable& controls,
                                      int32_t controlId, int deck, MidiBinding& binding)
{
    const CControlFunction* function = controls.FindFunction(controlId);
    if (function == nullptr || (function->ChannelCount() == 2) != (deck == 0 || deck == 1))
        return false;
    const auto first = std::find_if(messages.begin(), messages.end(),
                                    [](const MidiMessage& m) { return m.type != MidiMessageType::NoteOff; });
    if (first == messages.end())
        return false;
    const MidiMessage& message = *first;
    binding = MidiBinding();
    binding.channel = message.channel;
    binding.number = message.number;
    binding.controlId = controlId;
    binding.deck = function->ChannelCount() == 2 ? deck : MidiBinding::kNoDeck;
    const bool onOff = function->Maximum() == 1;
    switch (message.type) {
    case MidiMessageType::NoteOff:
        return false;
    case MidiMessageType::NoteOn:
        binding.kind = MidiMessageKind::Note;
        binding.behaviour = onOff ? MidiBehaviour::Toggle : MidiBehaviour::Button;
        return true;
    case MidiMessageType::ControlChange:
        binding.kind = MidiMessageKind::ControlChange;
        binding.behaviour = onOff ? MidiBehaviour::Toggle : MidiBehaviour::TakeOver;
        if (!onOff)
            LearnControlChangeKind(messages, binding);
        return true;
    case MidiMessageType::PitchBend:
        binding.kind = MidiMessageKind::PitchBend;
        binding.number = 0;
        binding.behaviour = MidiBehaviour::TakeOver;
        return true;
    }
    return false;
}

std::vector<MidiLearned> CMidiControllers::SaveLearned()
{
    std::vector<MidiLearned> learned;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        learned.swap(m_learned);
    }
    if (learned.empty() || m_options.mappingFolders.empty())
        return learned;
    const std::string folder = m_options.mappingFolders.back();
    mkdir(folder.c_str(), 0755);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (MidiLearned& item : learned) {
            if (item.mapping.empty()) {
                // A device no mapping was found for gets a file of its own.
                item.mapping = "learned";
                m_chosen[item.port] = item.mapping;
            }
            const std::string path = folder + "/" + item.mapping + kMappingExtension;
            CMidiMapping mapping;
            std::vector<MidiMappingProblem> problems;
            std::string error;
            if (access(path.c_str(), F_OK) == 0) {
                // The user's file as it is now, refused rows and all: they stay in it.
                if (!CMidiMapping::LoadFile(path, m_controls, mapping, problems, error)) {
                    m_problems.push_back(error);
                    continue;
                }
                for (const MidiMappingProblem& problem : problems)
                    m_problems.push_back(path + ":" + std::to_string(problem.line) + ": " + problem.message);
            } else if (m_mappings.count(item.mapping) != 0) {
                mapping = m_mappings.at(item.mapping);
            }
            mapping.Bind(item.binding);
            if (!mapping.SaveFile(path)) {
                m_problems.push_back(path + ": the learned binding could not be saved");
                continue;
            }
            m_mappings[item.mapping] = std::move(mapping);
            for (auto& port : m_ports) {
                if (!port->open || (port->chosenMapping != item.mapping && port->name != item.port))
                    continue;
                if (port->attached) {
                    // Fed by the caller, who keeps the device: its bindings change in place.
                    port->chosenMapping = item.mapping;
                    port->device->Dispatcher().Remap(m_mappings.at(item.mapping));
                } else {
                    Close(*port); // opened again by the next scan, with the new binding
                }
            }
            m_scanRequested = true;
        }
    }
    m_wake.Signal();
    return learned;
}
