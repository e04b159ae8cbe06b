#include "AudioEngine.h"

#include "AudioBus.h"
#include "AudioThread.h"
#include "PlayClock.h"
#include "Tick.h"

#include <algorithm>
#include <chrono>
#include <climits>

namespace {

// The refill runs at least this often, and at most every 40 ms however often blocks render.
constexpr auto kRefillWait = std::chrono::milliseconds(50);
constexpr uint32_t kRefillMinGapMs = 40;
constexpr uint32_t kRefillMaxStepMs = 100;
constexpr auto kPauseAfterLoad = std::chrono::milliseconds(5000);

uint32_t SteadyMs()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

CAudioEngine::CAudioEngine()
{
    for (int d = 0; d < kDecks; ++d) {
        m_loadSerial[d].store(0);
        m_servedSerial[d].store(0);
        m_loadedEntry[d].store(-1);
    }
}

CAudioEngine::~CAudioEngine()
{
    {
        std::lock_guard lock(m_threadLock);
        m_running.store(false);
    }
    m_loaderEvent.Set();
    m_refillEvent.Set();
    m_stopEvent.Set();
    if (m_loader.joinable())
        m_loader.join();
    if (m_refill.joinable())
        m_refill.join();
}

void CAudioEngine::Stop(uint8_t& flags)
{
    CAudioClient::Stop(flags);
    m_groupsRegistered = false;
}

void CAudioEngine::SetMixerControl(int number, int controlValue) noexcept
{
    if (number == CMixerDsp::MasterVolume)
        m_masterVolumeValue.store(std::clamp(controlValue, 0, 255), std::memory_order_relaxed);
    m_mixer.SetParam(number, CMixerDsp::ValueFromControl(number, controlValue));
}

void CAudioEngine::SetPlayClock(const CPlayClock* clock) noexcept
{
    m_clock.store(clock, std::memory_order_release);
    for (auto& deck : m_decks)
        deck.SetDriver(clock);
}

int CAudioEngine::MeterLevel(Meter meter) noexcept
{
    const int k = static_cast<int>(meter);
    if (k < 0 || k >= kLevelQueues)
        return 0;
    const CPlayClock* clock = m_clock.load(std::memory_order_acquire);
    const int32_t now = clock ? static_cast<int32_t>(clock->PlayClockMs()) : INT32_MAX;
    int32_t level = 0;
    if (m_levelQueues[k].PopUntil(now, true, level))
        m_lastMeterLevels[k] = level;
    return m_lastMeterLevels[k];
}

std::string CAudioEngine::TrackTitle(int deck) const
{
    return Deck(deck).Title();
}

// ---- Loading ------------------------------------------------------------------------------

int CAudioEngine::LoadTrack(int deck, const char* path, int entryIndex, float bpm, float bpmQuality,
                            bool pause, double firstBeatMs) noexcept
{
    deck &= 1;
    // Nothing to load: a loading flag set now would never be cleared.
    if (path == nullptr || *path == '\0')
        return 0;
    // Loading from here on, even before the request has its serial.
    const uint32_t before = m_loadSerial[deck].exchange(kPosting, std::memory_order_acq_rel);
    // An older request not yet taken is replaced by this one.
    const uint32_t serial = m_requests[deck].Post(path, entryIndex, bpm, bpmQuality, pause, firstBeatMs);
    if (serial == 0) {
        m_loadSerial[deck].store(before, std::memory_order_release);
        return 0;
    }
    m_loadSerial[deck].store(serial, std::memory_order_release);
    m_loadedEntry[deck].store(entryIndex, std::memory_order_relaxed);
    WakeLoader();
    return 1;
}

void CAudioEngine::UnloadTrack(int deck) noexcept
{
    deck &= 1;
    // Silent at once; the loader frees the track. A request not yet taken is replaced, so it
    // cannot load a track right back into the ejected deck.
    m_decks[deck].Pause();
    m_requests[deck].Post(nullptr, -1, 0.0f, 0.0f, false);
    m_loadSerial[deck].store(0, std::memory_order_release);
    m_loadedEntry[deck].store(-1, std::memory_order_relaxed);
    WakeLoader();
}

void CAudioEngine::WakeLoader() noexcept
{
    if (m_synchronous.load(std::memory_order_relaxed))
        return;
    // Threads are started off the audio thread (Start, or a load from another thread); the
    // audio thread only wakes them.
    if (!IsAudioThread())
        StartThreads();
    m_loaderEvent.Set();
}

void CAudioEngine::SetSynchronousLoading(bool synchronous) noexcept
{
    m_synchronous.store(synchronous, std::memory_order_relaxed);
}

void CAudioEngine::Start(uint8_t& flags)
{
    flags |= 3;
    if (!m_synchronous.load(std::memory_order_relaxed))
        StartThreads();
}

void CAudioEngine::StartThreads()
{
    std::lock_guard lock(m_threadLock);
    if (m_running.load())
        return;
    m_running.store(true);
    m_loader = std::thread([this] { LoaderThread(); });
    m_refill = std::thread([this] { RefillThread(); });
}

bool CAudioEngine::ServeRequest(int deck, bool allowPause)
{
    CLoadRequestBox::Request& request = m_takenRequest;
    if (!m_requests[deck].Take(request))
        return false;
    if (request.path[0] == '\0') {
        m_decks[deck].Unload();
        m_servedSerial[deck].store(request.serial, std::memory_order_release);
        return true;
    }
    m_decks[deck].Load(request.path);
    m_decks[deck].SetBpm(request.bpm, request.bpmQuality);
    if (request.firstBeatMs >= 0.0)
        m_decks[deck].SetBeatGrid(request.bpm, request.firstBeatMs);
    m_loadsCompleted.fetch_add(1, std::memory_order_release);
    // The new track is silent until its first refill: ask for it now.
    m_refillEvent.Set();
    if (allowPause && request.pause)
        m_stopEvent.WaitFor(kPauseAfterLoad);
    // The deck is loading while a load newer than this one waits.
    m_servedSerial[deck].store(request.serial, std::memory_order_release);
    return true;
}

int CAudioEngine::ServeRequestsNow(uint32_t refillMs)
{
    int served = 0;
    for (int d = 0; d < kDecks; ++d)
        served += ServeRequest(d, false) ? 1 : 0;
    for (auto& deck : m_decks) {
        if (deck.Loaded())
            deck.Refill(refillMs);
    }
    return served;
}

int CAudioEngine::ServeRequestsAhead(uint32_t refillMs)
{
    m_aheadElapsedMs += refillMs;
    // A step is due when a request waits or a deck wants a refill; between steps the decoding
    // handed over runs on while block after block renders.
    bool due = false;
    for (int d = 0; d < kDecks; ++d)
        due = due || m_requests[d].Waiting() || m_decks[d].WantsRefillAhead();
    if (!due)
        return 0;
    FinishDecodeAhead();
    int served = 0;
    for (int d = 0; d < kDecks; ++d)
        served += ServeRequest(d, false) ? 1 : 0;
    // Refills are limited to what this much play would want: a plan that restarts the window
    // after a seek begins a quarter of it behind the play position.
    constexpr uint32_t kMostElapsedMs = 250;
    for (int d = 0; d < kDecks; ++d) {
        if (m_decks[d].Loaded() && m_decks[d].BeginRefillAhead(std::min(m_aheadElapsedMs, kMostElapsedMs)))
            m_aheadMask |= 1u << d;
    }
    m_aheadElapsedMs = 0;
    if (m_decodeWorker != nullptr)
        m_decodeWorker->Post(m_aheadMask);
    else
        DecodeAhead(m_aheadMask);
    return served;
}

void CAudioEngine::FinishDecodeAhead()
{
    if (m_decodeWorker != nullptr)
        m_decodeWorker->Wait();
    for (int d = 0; d < kDecks; ++d) {
        if ((m_aheadMask & (1u << d)) != 0)
            m_decks[d].EndRefillAhead();
    }
    m_aheadMask = 0;
}

void CAudioEngine::SetDecodeAhead(bool secondThread)
{
    FinishDecodeAhead();
    if (!secondThread)
        m_decodeWorker.reset();
    else if (m_decodeWorker == nullptr)
        m_decodeWorker = std::make_unique<CDecodeWorker>([this](uint32_t mask) { DecodeAhead(mask); });
}

void CAudioEngine::DecodeAhead(uint32_t deckMask)
{
    for (int d = 0; d < kDecks; ++d) {
        if ((deckMask & (1u << d)) != 0)
            m_decks[d].DecodeAhead();
    }
}

void CAudioEngine::LoaderThread()
{
    while (m_running.load()) {
        m_loaderEvent.Reset();
        for (;;) {
            bool tookAny = false;
            for (int d = 0; d < kDecks && m_running.load(); ++d)
                tookAny = ServeRequest(d, true) || tookAny;
            if (!tookAny || !m_running.load())
                break;
        }
        if (!m_running.load())
            break;
        m_loaderEvent.Wait();
    }
}

void CAudioEngine::RefillThread()
{
    uint32_t lastRefill = SteadyMs() - 1000;
    while (m_running.load()) {
        m_refillEvent.Reset();
        const uint32_t now = SteadyMs();
        const uint32_t elapsed = now - lastRefill;
        if (elapsed > kRefillMinGapMs) {
            // The step counts from the last time a deck was refilled, so a deck just loaded
            // gets its first blocks at once rather than up to 40 ms later.
            for (auto& deck : m_decks) {
                if (deck.Loaded()) {
                    deck.Refill(std::min(elapsed, kRefillMaxStepMs));
                    lastRefill = now;
                }
            }
        }
        m_refillEvent.WaitFor(kRefillWait);
    }
}

// ---- Render -------------------------------------------------------------------------------

int CAudioEngine::Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick,
                         uint16_t tickCount) noexcept
{
    if (!m_groupsRegistered) {
        m_mainGroup = bus.RegisterGroup(1);
        m_monitorGroup = bus.RegisterGroup(2);
        m_groupsRegistered = true;
    }
    const uint8_t savedGroup = bus.CurrentGroup();
    const auto endTick =
        static_cast<uint16_t>(std::min<uint32_t>(firstTick + tickCount, bus.TicksPerBlock()));

    bus.SelectGroup(m_mainGroup);
    m_decks[0].Render(m_deckRecords[0], bus, firstTick, tickCount);
    bus.CollapseGroup(endTick);
    bus.SelectGroup(m_monitorGroup);
    m_decks[1].Render(m_deckRecords[1], bus, firstTick, tickCount);
    bus.CollapseGroup(endTick);

    const uint8_t* mainPair = bus.GroupChannels(m_mainGroup);
    const uint8_t* monitorPair = bus.GroupChannels(m_monitorGroup);
    const std::array<uint8_t, 4> channels = {mainPair[0], mainPair[1], monitorPair[0], monitorPair[1]};
    const std::array<const float*, 4> inputs = {m_planes[0].data(), m_planes[1].data(), m_planes[2].data(),
                                                m_planes[3].data()};
    // The monitor mix is left out while no device plays it.
    const bool monitor =
        (record.heard & 2) != 0 && channels[2] != CAudioBus::kNone && channels[3] != CAudioBus::kNone;
    const std::array<float*, 4> outputs = {m_planes[4].data(), m_planes[5].data(),
                                           monitor ? m_planes[6].data() : nullptr,
                                           monitor ? m_planes[7].data() : nullptr};
    for (uint32_t tick = firstTick; tick < endTick; ++tick) {
        for (int c = 0; c < 4; ++c) {
            if (channels[c] == CAudioBus::kNone) {
                m_planes[c].fill(0.0f);
                continue;
            }
            CSampleBuffer& slice = bus.Slice(channels[c], tick);
            slice.ApplyGain();
            slice.ToFloat(m_planes[c].data());
        }
        m_mixer.Process(inputs, outputs, kTickFrames);
        for (int c = 0; c < 4; ++c) {
            if (channels[c] == CAudioBus::kNone || outputs[c] == nullptr)
                continue;
            CSampleBuffer& slice = bus.Slice(channels[c], tick);
            slice.FromFloat(outputs[c]);
            slice.SetGain(CSampleBuffer::kUnityGain);
            slice.SetPan(c % 2 == 0 ? -128 : 127);
        }
        const auto stamp =
            static_cast<int32_t>(static_cast<double>(tick) * bus.TickDurationMs() + bus.TickStartMs());
        for (Meter meter :
             {Meter::Master, Meter::DeckAToMain, Meter::DeckBToMain, Meter::DeckA, Meter::DeckB})
            m_levelQueues[static_cast<int>(meter)].Push(
                stamp, static_cast<int32_t>(m_mixer.LevelReading(meter) * 255.0f));
    }
    bus.SelectGroup(savedGroup);
    m_refillEvent.Set();
    return 1;
}
