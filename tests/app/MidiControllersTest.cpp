#include "MidiControllers.h"
#include "AudioEngine.h"
#include "ControlTable.h"
#include "CoreTestSupport.h"
#include "JackMidiTestClient.h"
#include "MidiDevice.h"
#include "PlayerCore.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kTestMapping = "device Midi Test\n"
                                     "in cc 1 7 control 5 absolute\n"
                                     "in cc14 1 9 41 control 101 A absolute\n"
                                     "in cc 1 16 control 301 A relative-twos step=2\n"
                                     "in cc 1 17 control 302 A relative-offset\n"
                                     "in cc 1 1 control 303 A takeover\n"
                                     "in cc 1 20 control 103 A relative-twos\n"
                                     "in note 1 11 control 100 A toggle\n"
                                     "in note 1 11 control 112 A toggle layer=shift\n"
                                     "in note 1 63 shift button\n"
                                     "in note 1 54 jog A jog-touch\n"
                                     "in cc 1 33 jog A jog-turn-twos step=64\n"
                                     "in note 1 60 next press\n"
                                     "out note 1 11 control 100 A\n"
                                     "in cc 1 99 control 999 absolute\n";

// Generous: under ThreadSanitizer the first report of a race inside the sound server's library
// (suppressed, but only once its stack is read) holds the process, and with it the server's
// graph, for many seconds on a loaded machine.
template <class Condition>
bool WaitUntil(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(60))
{
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

const char* JackServer()
{
    return std::getenv("JACK_DEFAULT_SERVER");
}

// The player's controllers on the test JACK server with one test controller plugged in.
class MidiControllersOnJack : public testing::Test {
protected:
    void SetUp() override
    {
        if (JackServer() == nullptr)
            GTEST_SKIP() << "no JACK server named in JACK_DEFAULT_SERVER (the ctest fixture starts one)";
        // The library must never start a server of its own.
        setenv("JACK_NO_START_SERVER", "1", 1);
        std::ofstream(m_dir.Path("test-controller.midimap")) << kTestMapping;
        m_clientName = "Midi Test " + std::to_string(getpid());
        m_client = std::make_unique<CJackMidiTestClient>(JackServer(), m_clientName);
        ASSERT_TRUE(m_client->Ready());
        MidiControllersOptions options;
        options.systems = {MidiSystem::Jack};
        options.clientName = "Quandel Test " + std::to_string(getpid());
        options.mappingFolders = {QUANDEL_MAPPINGS, m_dir.Root()};
        options.scanInterval = std::chrono::milliseconds(100);
        m_controllers = std::make_unique<CMidiControllers>(Controls(), options);
        m_controllers->Start();
        ASSERT_NO_FATAL_FAILURE(WaitUntilLive());
    }

    // Opened is not enough: the server carries the new connection's messages only from a later
    // period on, and one sent before is gone; so is one sent in a period the server gives up on a
    // late client, as the new clients' first periods under ThreadSanitizer often are. A message no
    // binding uses, sent again every 100 ms until one arrives, proves the path; then the rest of
    // them are let through before a test sends its own.
    void WaitUntilLive()
    {
        ASSERT_TRUE(WaitUntil([&] { return Opened(); })) << "the test controller was not opened";
        ASSERT_TRUE(WaitUntil([&] { return m_client->OutConnected(); })) << "the controller is not connected";
        const uint64_t before = m_controllers->MessagesRead();
        Clock::time_point sent{};
        ASSERT_TRUE(WaitUntil([&] {
            if (m_controllers->MessagesRead() > before)
                return true;
            if (m_client->Idle() && Clock::now() - sent > std::chrono::milliseconds(100)) {
                m_client->Send({0xBF, 3, 0});
                sent = Clock::now();
            }
            return false;
        })) << "no message came through";
        uint64_t seen = m_controllers->MessagesRead();
        Clock::time_point quietSince = Clock::now();
        ASSERT_TRUE(WaitUntil([&] {
            if (m_controllers->MessagesRead() != seen || !m_client->Idle()) {
                seen = m_controllers->MessagesRead();
                quietSince = Clock::now();
            }
            return Clock::now() - quietSince > std::chrono::milliseconds(300);
        }));
    }

    // The MIDI thread writes into Controls(), which a derived fixture may own: it stops first.
    void TearDown() override
    {
        if (m_controllers != nullptr)
            m_controllers->Stop();
    }

    virtual CControlTable& Controls() { return m_controls; }

    bool Opened() const
    {
        for (const MidiDeviceInfo& device : m_controllers->Devices()) {
            if (device.port.rfind(m_clientName, 0) == 0)
                return device.open;
        }
        return false;
    }

    // Sends and waits until the MIDI thread has read every message sent so far.
    void Send(std::initializer_list<std::vector<uint8_t>> events, uint64_t messages)
    {
        const uint64_t before = m_controllers->MessagesRead();
        for (const auto& event : events)
            ASSERT_TRUE(m_client->Send(event));
        ASSERT_TRUE(WaitUntil([&] { return m_controllers->MessagesRead() >= before + messages; }))
            << "read " << m_controllers->MessagesRead() - before << " of " << messages;
    }
    int32_t Value(int32_t id, int deck = 0) { return Controls().GetValue(id, deck); }

    CTempDir m_dir;
    CControlTable m_controls;
    std::string m_clientName;
    std::unique_ptr<CJackMidiTestClient> m_client;
    std::unique_ptr<CMidiControllers> m_controllers;
};

} // namespace

TEST_F(MidiControllersOnJack, ControlChangeMovesTheCrossFaderForTheNextTick)
{
    EXPECT_TRUE(Controls().FindFunction(ControlId::XFader)->TakeApplyPending(0));
    Send({{0xB0, 7, 32}}, 1);
    EXPECT_EQ(Value(ControlId::XFader), 64);
    EXPECT_TRUE(Controls().FindFunction(ControlId::XFader)->TakeApplyPending(0));
    // Running status inside one event and across events, a clock byte in between.
    Send({{0xB0, 7, 10, 7, 20}, {0xF8, 7, 127}}, 3);
    EXPECT_EQ(Value(ControlId::XFader), 255);
    for (const MidiDeviceInfo& device : m_controllers->Devices()) {
        if (device.port.rfind(m_clientName, 0) == 0) {
            EXPECT_EQ(device.mapping, "test-controller");
        }
    }
}

TEST_F(MidiControllersOnJack, FourteenBitPitchFaderReachesEveryStepItIsSent)
{
    for (int step : {0, 1, 2, 1023, 2047, 2048, 2049, 4095, 4096}) {
        const int value = (step * 16383 + 2048) / 4096;
        Send({{0xB0, 9, static_cast<uint8_t>(value >> 7)}, {0xB0, 41, static_cast<uint8_t>(value & 0x7F)}},
             2);
        EXPECT_EQ(Value(ControlId::DeckPitch), step);
    }
}

TEST_F(MidiControllersOnJack, RelativeEncodersInBothForms)
{
    Send({{0xB0, 16, 3}, {0xB0, 16, 127}}, 2);
    EXPECT_EQ(Value(ControlId::DeckEqLow), 128 + 6 - 2);
    Send({{0xB0, 17, 70}, {0xB0, 17, 60}}, 2);
    EXPECT_EQ(Value(ControlId::DeckEqMid), 128 + 6 - 4);
}

TEST_F(MidiControllersOnJack, SoftTakeOverRefusesAJumpAndThenFollows)
{
    Send({{0xB0, 1, 127}}, 1);
    EXPECT_EQ(Value(ControlId::DeckEqHigh), 128);
    Send({{0xB0, 1, 80}, {0xB0, 1, 60}}, 2); // 161 to 120 passes 128
    EXPECT_EQ(Value(ControlId::DeckEqHigh), 120);
    Send({{0xB0, 1, 0}}, 1);
    EXPECT_EQ(Value(ControlId::DeckEqHigh), 0);
}

TEST_F(MidiControllersOnJack, PlayButtonStartsTheDeckAndItsLampComesBack)
{
    // Every lamp is sent when the controller is opened.
    std::vector<std::vector<uint8_t>> lamps;
    ASSERT_TRUE(WaitUntil([&] {
        for (auto& event : m_client->TakeReceived())
            lamps.push_back(event);
        return !lamps.empty();
    }));
    EXPECT_EQ(lamps.front(), (std::vector<uint8_t>{0x90, 11, 0}));

    Send({{0x90, 11, 127}, {0x80, 11, 0}}, 2);
    EXPECT_EQ(Value(ControlId::DeckStartStop), 1);
    lamps.clear();
    ASSERT_TRUE(WaitUntil([&] {
        for (auto& event : m_client->TakeReceived())
            lamps.push_back(event);
        return !lamps.empty();
    }));
    EXPECT_EQ(lamps.front(), (std::vector<uint8_t>{0x90, 11, 127}));

    Send({{0x90, 60, 127}}, 1);
    MidiCommand command{};
    ASSERT_TRUE(m_controllers->TakeCommand(command));
    EXPECT_EQ(command, MidiCommand::Next);
    EXPECT_FALSE(m_controllers->TakeCommand(command));
}

TEST_F(MidiControllersOnJack, ShiftLayerSendsThePlayButtonToSync)
{
    Send({{0x90, 63, 127}, {0x90, 11, 127}, {0x90, 11, 0}, {0x90, 63, 0}}, 4);
    EXPECT_EQ(Value(ControlId::DeckBpmSync), 1);
    EXPECT_EQ(Value(ControlId::DeckStartStop), 0);
    Send({{0x90, 11, 127}}, 1);
    EXPECT_EQ(Value(ControlId::DeckStartStop), 1);
    EXPECT_EQ(Value(ControlId::DeckBpmSync), 1);
}

TEST_F(MidiControllersOnJack, FloodWithExclusiveBlocksAndStrayBytesAppliesEveryMessageOnce)
{
    // 10,000 messages a second for a second: +1 steps on "Deck Seek Position", most of them in
    // running status, with exclusive blocks and stray bytes between them.
    constexpr int kMessages = 4000;
    const uint64_t before = m_controllers->MessagesRead();
    std::vector<uint8_t> sysEx(200, 0x42);
    sysEx.front() = 0xF0;
    sysEx.back() = 0xF7;
    const auto start = Clock::now();
    int sent = 0;
    for (int period = 0; sent < kMessages; ++period) {
        for (int i = 0; i < 25 && sent < kMessages; ++i, ++sent)
            ASSERT_TRUE(m_client->Send(sent % 50 == 0 ? std::vector<uint8_t>{0xB0, 20, 1}
                                                      : std::vector<uint8_t>{20, 1}));
        ASSERT_TRUE(m_client->Send(sysEx));
        ASSERT_TRUE(m_client->Send({0x33, 0x34})); // stray: after an exclusive block no status runs
        ASSERT_TRUE(m_client->Send({0xB0, 20, 1}));
        ++sent;
        std::this_thread::sleep_until(start + std::chrono::microseconds(2600) * (period + 1));
    }
    // Until everything arrived, or nothing more did for a second.
    uint64_t seen = 0;
    auto quietSince = Clock::now();
    WaitUntil([&] {
        const uint64_t now = m_controllers->MessagesRead();
        if (now != seen)
            quietSince = Clock::now();
        seen = now;
        return now >= before + sent || Clock::now() - quietSince > std::chrono::seconds(1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const uint64_t read = m_controllers->MessagesRead() - before;
    // Every message read was applied once.
    EXPECT_EQ(Value(ControlId::DeckSeekPosition), static_cast<int32_t>(read));
    EXPECT_LE(read, static_cast<uint64_t>(sent));
#if !defined(__SANITIZE_THREAD__)
    // Under ThreadSanitizer the sound server may skip a late client's period, and its messages
    // with it; otherwise every one arrives.
    EXPECT_EQ(read, static_cast<uint64_t>(sent));
#endif
    EXPECT_EQ(m_controllers->PiecesDropped(), 0u);
}

TEST_F(MidiControllersOnJack, UnpluggedControllerGoesIdleAndComesBackWhenPluggedIn)
{
    m_client->Close();
    ASSERT_TRUE(WaitUntil([&] { return !Opened(); }));
    Controls().SetValue(ControlId::XFader, 0, 17, Marks::ChangedAndApply);
    m_client = std::make_unique<CJackMidiTestClient>(JackServer(), m_clientName);
    ASSERT_TRUE(m_client->Ready());
    ASSERT_NO_FATAL_FAILURE(WaitUntilLive());
    EXPECT_EQ(Value(ControlId::XFader), 17);
    Send({{0xB0, 7, 127}}, 1);
    EXPECT_EQ(Value(ControlId::XFader), 255);
}

TEST_F(MidiControllersOnJack, LearnWritesTheMovedElementIntoTheUsersMappingAndUsesIt)
{
    m_controllers->SetLearning(true);
    // Before a control is clicked, and while learning, the controller moves nothing.
    Send({{0xB0, 7, 0}}, 1);
    EXPECT_EQ(Value(ControlId::XFader), 128);
    m_controllers->LearnTarget(ControlId::DeckEqLow, 1);
    Send({{0xB1, 50, 3}}, 1);
    // Decided once the element's window has passed.
    std::vector<MidiLearned> learned;
    ASSERT_TRUE(WaitUntil([&] {
        learned = m_controllers->SaveLearned();
        return !learned.empty();
    }));
    ASSERT_EQ(learned.size(), 1u);
    EXPECT_EQ(learned[0].mapping, "test-controller");
    EXPECT_EQ(CMidiMapping::FormatBinding(learned[0].binding), "in cc 2 50 control 301 B takeover");
    m_controllers->SetLearning(false);

    // Saved through a rename into the user's file, its refused row kept and named by its line.
    std::ifstream in(m_dir.Path("test-controller.midimap"));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), std::string(kTestMapping) + "in cc 2 50 control 301 B takeover\n");
    const auto problems = m_controllers->Problems();
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), [](const std::string& p) {
        return p.find("test-controller.midimap:15: unknown control id 999") != std::string::npos;
    }));

    // The device is opened again with the new row.
    ASSERT_TRUE(WaitUntil([&] {
        m_client->Send({0xB1, 50, 64});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return Value(ControlId::DeckEqLow, 1) == 129;
    }));
}

TEST(MidiControllers, LearnMakesTheBindingTheMessageAndTheControlCallFor)
{
    CControlTable controls;
    struct Case {
        MidiMessage message;
        int32_t id;
        int deck;
        const char* row; // null: nothing learned
    };
    const Case cases[] = {
        {{MidiMessageType::NoteOn, 0, 11, 127},
         ControlId::DeckStartStop,
         0,
         "in note 1 11 control 100 A toggle"},
        {{MidiMessageType::NoteOn, 2, 12, 100},
         ControlId::DeckJumpToCue,
         1,
         "in note 3 12 control 200 B button"},
        {{MidiMessageType::ControlChange, 0, 7, 5}, ControlId::XFader, -1, "in cc 1 7 control 5 takeover"},
        {{MidiMessageType::ControlChange, 0, 8, 127},
         ControlId::DeckEqLowKill,
         0,
         "in cc 1 8 control 304 A toggle"},
        {{MidiMessageType::PitchBend, 1, 0, 9000},
         ControlId::DeckPitch,
         1,
         "in bend 2 control 101 B takeover"},
        {{MidiMessageType::NoteOff, 0, 11, 0}, ControlId::DeckStartStop, 0, nullptr},
        {{MidiMessageType::NoteOn, 0, 11, 127}, ControlId::DeckStartStop, -1, nullptr},
        {{MidiMessageType::NoteOn, 0, 11, 127}, ControlId::XFader, 0, nullptr},
        {{MidiMessageType::NoteOn, 0, 11, 127}, 4242, -1, nullptr},
    };
    for (const Case& c : cases) {
        MidiBinding binding;
        const bool learned = CMidiControllers::LearnedBinding(c.message, controls, c.id, c.deck, binding);
        EXPECT_EQ(learned, c.row != nullptr) << c.id;
        if (learned && c.row != nullptr) {
            EXPECT_EQ(CMidiMapping::FormatBinding(binding), c.row);
        }
    }
}

TEST(MidiControllers, LearnTellsPairsAndEncodersFromTheWindowOfMessages)
{
    CControlTable controls;
    using M = MidiMessage;
    constexpr auto CC = MidiMessageType::ControlChange;
    struct Case {
        std::vector<MidiMessage> messages;
        int32_t id;
        const char* row;
    };
    const Case cases[] = {
        // A 14-bit fader: each move sends the MSB and then the LSB 32 higher.
        {{M{CC, 0, 9, 60}, M{CC, 0, 41, 5}, M{CC, 0, 9, 61}, M{CC, 0, 41, 90}},
         ControlId::DeckPitch,
         "in cc14 1 9 41 control 101 A takeover"},
        // The LSB seen first (the window opened between the two halves) still names the MSB.
        {{M{CC, 0, 41, 5}, M{CC, 0, 9, 61}}, ControlId::DeckPitch, "in cc14 1 9 41 control 101 A takeover"},
        // Encoders repeat their step: two's complement up and down, and offset around 64.
        {{M{CC, 1, 16, 1}, M{CC, 1, 16, 1}, M{CC, 1, 16, 2}},
         ControlId::DeckEqLow,
         "in cc 2 16 control 301 A relative-twos"},
        {{M{CC, 1, 16, 127}, M{CC, 1, 16, 127}},
         ControlId::DeckEqLow,
         "in cc 2 16 control 301 A relative-twos"},
        {{M{CC, 1, 17, 65}, M{CC, 1, 17, 65}, M{CC, 1, 17, 66}},
         ControlId::DeckEqMid,
         "in cc 2 17 control 302 A relative-offset"},
        {{M{CC, 1, 17, 63}, M{CC, 1, 17, 63}},
         ControlId::DeckEqMid,
         "in cc 2 17 control 302 A relative-offset"},
        // A knob turned slowly through the same values never repeats one: absolute.
        {{M{CC, 1, 17, 63}, M{CC, 1, 17, 64}, M{CC, 1, 17, 65}},
         ControlId::DeckEqMid,
         "in cc 2 17 control 302 A takeover"},
        {{M{CC, 1, 16, 1}, M{CC, 1, 16, 2}, M{CC, 1, 16, 3}},
         ControlId::DeckEqLow,
         "in cc 2 16 control 301 A takeover"},
        // One step alone cannot be told from a knob.
        {{M{CC, 1, 16, 1}}, ControlId::DeckEqLow, "in cc 2 16 control 301 A takeover"},
        // Another element's messages in the window do not count; a release before the press is
        // passed over.
        {{M{CC, 0, 9, 60}, M{CC, 1, 41, 5}}, ControlId::DeckPitch, "in cc 1 9 control 101 A takeover"},
        {{M{MidiMessageType::NoteOff, 0, 11, 0}, M{MidiMessageType::NoteOn, 0, 11, 127}},
         ControlId::DeckStartStop,
         "in note 1 11 control 100 A toggle"},
        // An on/off function stays a toggle whatever the element sent.
        {{M{CC, 0, 8, 1}, M{CC, 0, 8, 1}}, ControlId::DeckEqLowKill, "in cc 1 8 control 304 A toggle"},
        {{M{MidiMessageType::NoteOff, 0, 11, 0}}, ControlId::DeckStartStop, nullptr},
    };
    for (const Case& c : cases) {
        MidiBinding binding;
        const bool learned = CMidiControllers::LearnedBinding(c.messages, controls, c.id, 0, binding);
        ASSERT_EQ(learned, c.row != nullptr) << (c.row != nullptr ? c.row : "nothing");
        if (learned) {
            EXPECT_EQ(CMidiMapping::FormatBinding(binding), c.row);
        }
    }
}

// Learn through a device fed as a port's callback would, without any MIDI system.
TEST(MidiControllers, LearnedPairIsWrittenAfterItsWindowAndMovesTheFunctionAtOnce)
{
    CTempDir dir;
    CControlTable controls;
    MidiControllersOptions options;
    options.systems = {};
    options.mappingFolders = {QUANDEL_MAPPINGS, dir.Root()};
    CMidiControllers controllers(controls, options);
    controllers.Start();
    CMidiDevice* device = controllers.AttachDevice("fed", "generic-two-deck");
    const auto send = [&](std::initializer_list<uint8_t> bytes) {
        const std::vector<uint8_t> message(bytes);
        device->Receive(message.data(), message.size(), 0);
    };
    controllers.SetLearning(true);
    controllers.LearnTarget(ControlId::DeckPitch, 0);
    const auto firstAt = Clock::now();
    send({0xBF, 3, 64});
    send({0xBF, 35, 0});
    std::vector<MidiLearned> learned;
    ASSERT_TRUE(WaitUntil([&] {
        learned = controllers.SaveLearned();
        return !learned.empty();
    }));
    EXPECT_GE(Clock::now() - firstAt, CMidiControllers::kLearnWindow);
    ASSERT_EQ(learned.size(), 1u);
    EXPECT_EQ(learned[0].mapping, "generic-two-deck");
    const std::string row = "in cc14 16 3 35 control 101 A takeover";
    EXPECT_EQ(CMidiMapping::FormatBinding(learned[0].binding), row);
    controllers.SetLearning(false);

    // The shipped mapping copied into the user's folder with the row added at its end.
    std::ifstream in(dir.Path("generic-two-deck.midimap"));
    std::stringstream text;
    text << in.rdbuf();
    ASSERT_GE(text.str().size(), row.size() + 1);
    EXPECT_EQ(text.str().substr(text.str().size() - row.size() - 1), row + "\n");

    // The fed device answers with the new row: meet the pitch where it is, then move it.
    const int32_t maximum = controls.FindFunction(ControlId::DeckPitch)->Maximum();
    const int32_t rest = controls.GetValue(ControlId::DeckPitch, 0);
    const auto fourteen = [&](int32_t value) {
        return static_cast<uint32_t>((value * 16383 + maximum / 2) / maximum);
    };
    const uint32_t at = fourteen(rest);
    send({0xBF, 3, static_cast<uint8_t>(at >> 7)});
    send({0xBF, 35, static_cast<uint8_t>(at & 0x7F)});
    const uint32_t target = fourteen(rest + maximum / 16);
    send({0xBF, 3, static_cast<uint8_t>(target >> 7)});
    send({0xBF, 35, static_cast<uint8_t>(target & 0x7F)});
    EXPECT_TRUE(WaitUntil([&] {
        return std::abs(controls.GetValue(ControlId::DeckPitch, 0) - (rest + maximum / 16)) <= 1;
    })) << controls.GetValue(ControlId::DeckPitch, 0);
    controllers.Stop();
}

TEST(MidiControllers, SystemsThatCannotBeUsedAreLeftOutWithTheirReason)
{
    // A server name nothing serves: JACK is left out. The sequencer only where the kernel has
    // none (this machine may have one).
    const std::string saved = JackServer() != nullptr ? JackServer() : "";
    setenv("JACK_DEFAULT_SERVER", ("quandel-none-" + std::to_string(getpid())).c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    CControlTable controls;
    MidiControllersOptions options;
    options.mappingFolders = {QUANDEL_MAPPINGS};
    CMidiControllers controllers(controls, options);
    controllers.Start();
    const auto problems = controllers.Problems();
    const bool sequencer = access("/dev/snd/seq", F_OK) == 0;
    ASSERT_EQ(problems.size(), sequencer ? 1u : 2u);
    if (!sequencer) {
        EXPECT_EQ(problems[0], "ALSA sequencer: /dev/snd/seq is not there (no kernel sequencer)");
    }
    EXPECT_EQ(problems.back(), "JACK: no server is running");
    EXPECT_TRUE(controllers.Devices().empty());
    EXPECT_EQ(controllers.MappingNames(), (std::vector<std::string>{"generic-two-deck"}));
    controllers.Stop();
    if (!saved.empty())
        setenv("JACK_DEFAULT_SERVER", saved.c_str(), 1);
}

// The jog wheel against the decks: a player core renders while the wheel turns.
class MidiJogOnJack : public MidiControllersOnJack {
protected:
    CControlTable& Controls() override { return m_core.Controls(); }
    CPlayerCore m_core;
};

TEST_F(MidiJogOnJack, TouchedWheelScratchesTheDeckForwardAndBackAsItTurns)
{
    const std::string track = WriteToneTrack(m_dir.Path("tone.wav"), 440.0, 10.0);
    m_core.LoadFileToDeck(0, track);
    CCoreRun run{m_core};
    CDeckPlayer& deck = m_core.Engine().Deck(0);
    ASSERT_TRUE(WaitUntil([&] {
        run.Tick();
        return deck.Loaded();
    }));
    deck.SeekSeconds(5.0);
    run.Ticks(20);

    Send({{0x90, 54, 127}}, 1);
    run.Ticks(4);
    const auto move = [&](uint8_t detents, int times) {
        const double before = deck.PositionMs(true);
        for (int i = 0; i < times; ++i) {
            Send({{0xB0, 33, detents}}, 1);
            run.Ticks(8);
        }
        run.Ticks(100);
        return deck.PositionMs(true) - before;
    };
    const size_t loudFrom = run.left.size();
    const double forward = move(4, 10);
    const double moreForward = move(4, 20);
    const double backward = move(124, 20); // -4 detents each
    EXPECT_GT(forward, 10.0);
    EXPECT_GT(moreForward, 1.5 * forward);
    EXPECT_LT(backward, -1.5 * forward);
    EXPECT_GT(WindowAmplitude(run.left, 440.0 * 1.0, loudFrom, run.left.size() - loudFrom) +
                  *std::max_element(run.left.begin() + static_cast<long>(loudFrom), run.left.end()),
              1000.0)
        << "the scratch was not heard";

    Send({{0x80, 54, 0}}, 1);
    run.Ticks(4);
    EXPECT_EQ(Value(ControlId::DeckScratchOn), 0);
}
