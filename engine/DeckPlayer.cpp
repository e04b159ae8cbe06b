#include "DeckPlayer.h"

#include "AudioBus.h"
#include "AudioSource.h"
#include "AudioThread.h"
#include "PlayClock.h"
#include "Tick.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Frames read beyond what the resampler consumes, so interpolation never runs dry.
constexpr uint32_t kLookAheadFrames = 8;
// Full bend held for 300 ticks (0.87 s) adds 1.0 to the speed.
constexpr float kBendTicks = 300.0f;
constexpr float kBendPerTick = 0.0033333334f;
constexpr float kMinWind = -3.0f;
constexpr float kMaxWind = 127 * 0.0234375f;

uint32_t FramesFrom(double frames) noexcept
{
    if (!(frames > 0))
        return 0;
    return frames >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(frames);
}

} // namespace

CDeckPlayer::CDeckPlayer()
    : m_decodeLeft(std::make_unique<int16_t[]>(CAudioSource::kMaxBlockFrames)),
      m_decodeRight(std::make_unique<int16_t[]>(CAudioSource::kMaxBlockFrames))
{
    for (auto& buffer : m_work)
        buffer.Init(2, 44100, kWorkFrames);
    for (int i = 0; i < kMarkers; ++i) {
        m_markersMs[i].store(0.0);
        m_markerReached[i].store(false);
        m_markerArmed[i].store(true);
    }
}

CDeckPlayer::~CDeckPlayer()
{
    if (m_source)
        m_source->Close();
}

float CDeckPlayer::TempoFromControl(int value) noexcept
{
    return static_cast<float>(std::clamp(value, 0, 4096)) * 0.7f / 4096.0f + 0.65f;
}

int CDeckPlayer::ControlFromTempo(float tempo) noexcept
{
    // 4096 / 0.7 control steps per unit of tempo.
    const float value = (tempo - 0.65f) * 5851.4287f + 0.5f;
    if (!(value > 0.0f))
        return 0;
    return value >= 4096.0f ? 4096 : static_cast<int>(value);
}

float CDeckPlayer::PitchBendFromControl(int value) noexcept
{
    return static_cast<float>(std::clamp(value, 0, 255)) * 2.0f / 256.0f - 1.0f;
}

float CDeckPlayer::WindFromControl(int value) noexcept
{
    return static_cast<float>(std::clamp(value, 0, 255) - 128) * 0.0234375f;
}

// ---- Loading ----------------------------------------------------------------------------

void CDeckPlayer::ResetPlayState() noexcept
{
    m_workFill = 0;
    for (auto& resampler : m_resamplers)
        resampler.Reset();
    m_pendingSeekSeconds.store(-1.0);
}

int CDeckPlayer::Load(const char* path)
{
    AssertNotAudioThread("CDeckPlayer::Load");
    return LoadSource(CAudioSource::CreateForPath(path), path);
}

int CDeckPlayer::LoadSource(std::unique_ptr<CAudioSource> source, const char* path)
{
    AssertNotAudioThread("CDeckPlayer::LoadSource");
    std::lock_guard load(m_loadLock);
    {
        std::scoped_lock storeAndRender(m_storeLock, m_renderLock);
        m_loaded.store(false, std::memory_order_release);
        m_endReached.store(false);
        m_store.Reset();
        m_aheadCount = 0;
        ResetPlayState();
    }
    for (auto& reached : m_markerReached)
        reached.store(false);
    // Render and refill check the loaded flag under their locks before they touch the source,
    // so from here on the old source is ours alone.
    // A detection of the old track must not carry over, not even when the new one fails to open.
    ForgetTrack();
    if (!source || path == nullptr || source->Open(path) == 0)
        return 0;

    const int blockFrames = source->GetBlockFrames();
    const int blockCount = source->GetBlockCount();
    const uint32_t rate = source->GetSampleRate();
    const float blockMs = source->GetBlockDuration();
    // The decode buffers hold one block of at most 8192 frames; anything else cannot be played.
    if (blockFrames <= 0 || blockFrames > CAudioSource::kMaxBlockFrames || blockCount < 0 || rate == 0 ||
        !(blockMs > 0.0f)) {
        source->Close();
        return 0;
    }
    {
        std::scoped_lock storeAndRender(m_storeLock, m_renderLock);
        m_store.Init(rate, static_cast<uint32_t>(blockFrames), static_cast<uint32_t>(blockCount), 0.2f);
    }
    m_beatTracker.Init(rate);
    // The blocks' frames, or fewer when the source knows its last block is short: Automix
    // times its change-overs by this.
    const uint64_t blockFrames64 = static_cast<uint64_t>(blockFrames) * static_cast<uint64_t>(blockCount);
    const int64_t exact = source->GetTotalFrames();
    m_trackFrames.store(static_cast<uint32_t>(std::min<uint64_t>(
        exact > 0 ? std::min<uint64_t>(static_cast<uint64_t>(exact), blockFrames64) : blockFrames64,
        UINT32_MAX)));
    m_source = std::move(source);
    if (const char* title = m_source->GetTitle())
        m_title = title;
    m_blockDurationMs.store(blockMs);
    m_loaded.store(true, std::memory_order_release);
    return 1;
}

void CDeckPlayer::Unload()
{
    AssertNotAudioThread("CDeckPlayer::Unload");
    std::lock_guard load(m_loadLock);
    if (!m_source)
        return;
    std::scoped_lock storeAndRender(m_storeLock, m_renderLock);
    m_loaded.store(false, std::memory_order_release);
    m_endReached.store(false);
    m_store.Reset();
    m_aheadCount = 0;
    ResetPlayState();
    ForgetTrack();
}

void CDeckPlayer::ForgetTrack()
{
    if (m_source) {
        m_source->Close();
        m_source.reset();
    }
    m_title.clear();
    m_blockDurationMs.store(0.0f);
    SetBpm(0.0f, 0.0f);
    m_beatTracker.Init(m_store.SampleRate());
}

namespace {

// Decoding may run at up to 8 times real time, at least 8 blocks a step.
constexpr int32_t kMinimumRefillBlocks = 8;

int32_t MaximumRefillBlocks(uint32_t elapsedMs, float blockMs) noexcept
{
    return static_cast<int32_t>(static_cast<float>(elapsedMs) * 8.0f / blockMs);
}

} // namespace

void CDeckPlayer::Refill(uint32_t elapsedMs)
{
    AssertNotAudioThread("CDeckPlayer::Refill");
    std::lock_guard store(m_storeLock);
    if (!m_loaded.load(std::memory_order_acquire) || !m_source)
        return;
    int32_t first = -1;
    const int32_t count =
        m_store.Plan(kMinimumRefillBlocks, MaximumRefillBlocks(elapsedMs, m_blockDurationMs.load()), first);
    bool complete = true;
    if (count > 0) {
        m_source->SeekBlock(first);
        for (int32_t i = 0; i < count; ++i) {
            if (m_source->ReadBlock(m_decodeLeft.get(), m_decodeRight.get()) == 0) {
                complete = false;
                break;
            }
            m_store.PutBlock(first + i, m_decodeLeft.get(), m_decodeRight.get());
        }
    }
    // A block that did not arrive leaves the window where it was: the same blocks are planned
    // and decoded again next step.
    if (complete)
        m_store.Commit();
    else
        m_store.Cancel();
}

bool CDeckPlayer::BeginRefillAhead(uint32_t elapsedMs)
{
    AssertNotAudioThread("CDeckPlayer::BeginRefillAhead");
    std::lock_guard store(m_storeLock);
    m_aheadCount = 0;
    if (!m_loaded.load(std::memory_order_acquire) || !m_source)
        return false;
    // A block at a time as the play position moves on, so that the decoding thread's share of
    // each step stays about one rendered block's worth instead of eight every eighth step.
    m_aheadCount =
        m_store.BeginAhead(1, MaximumRefillBlocks(elapsedMs, m_blockDurationMs.load()), m_aheadFirst);
    return m_aheadCount > 0;
}

bool CDeckPlayer::WantsRefillAhead() const noexcept
{
    // Refills come in batches of about three quarters of a second (at least 32768 frames short
    // of the look-ahead), a few hundred microseconds of decoding each.
    constexpr uint32_t kSlackFrames = 32768;
    return m_loaded.load(std::memory_order_acquire) && m_store.WantsBlocks(kSlackFrames);
}

void CDeckPlayer::DecodeAhead()
{
    AssertNotAudioThread("CDeckPlayer::DecodeAhead");
    std::lock_guard store(m_storeLock);
    if (m_aheadCount <= 0)
        return;
    if (!m_loaded.load(std::memory_order_acquire) || !m_source) {
        m_store.FailAhead();
        return;
    }
    m_source->SeekBlock(m_aheadFirst);
    for (int32_t i = 0; i < m_aheadCount; ++i) {
        if (m_source->ReadBlock(m_decodeLeft.get(), m_decodeRight.get()) == 0) {
            m_store.FailAhead();
            return;
        }
        m_store.PutAheadBlock(m_aheadFirst + i, m_decodeLeft.get(), m_decodeRight.get());
    }
}

void CDeckPlayer::EndRefillAhead()
{
    std::lock_guard store(m_storeLock);
    m_store.EndAhead();
    m_aheadCount = 0;
}

std::string CDeckPlayer::Title() const
{
    std::lock_guard load(m_loadLock);
    return m_title;
}

// ---- Transport ----------------------------------------------------------------------------

void CDeckPlayer::Play() noexcept
{
    if (!m_playing.load()) {
        m_playing.store(true);
        m_endReached.store(false);
        m_scratch.MarkReset();
    }
}

void CDeckPlayer::Pause() noexcept
{
    if (m_playing.load()) {
        m_playing.store(false);
        m_scratch.MarkReset();
    }
}

void CDeckPlayer::SetTempo(float tempo) noexcept
{
    if (std::isfinite(tempo))
        m_tempo.store(std::clamp(tempo, 0.0f, kMaxTempo), std::memory_order_relaxed);
}

void CDeckPlayer::SetPitchBend(float bend) noexcept
{
    if (std::isfinite(bend))
        m_bendInput.store(std::clamp(bend, -1.0f, 1.0f), std::memory_order_relaxed);
}

void CDeckPlayer::SetWind(float wind) noexcept
{
    if (std::isfinite(wind))
        m_wind.store(std::clamp(wind, kMinWind, kMaxWind), std::memory_order_relaxed);
}

void CDeckPlayer::SetScratchMode(int mode) noexcept
{
    const int previous = m_scratchMode.load(std::memory_order_relaxed);
    if (mode == previous)
        return;
    if (mode == static_cast<int>(ScratchMode::Platter))
        m_scratch.Enable(true);
    else if (previous == static_cast<int>(ScratchMode::Platter))
        m_scratch.Enable(false);
    else
        m_scratch.MarkReset();
    m_scratchMode.store(mode, std::memory_order_relaxed);
}

void CDeckPlayer::ScratchInput(float delta) noexcept
{
    if (!std::isfinite(delta))
        return;
    const int mode = m_scratchMode.load(std::memory_order_relaxed);
    if (mode == static_cast<int>(ScratchMode::Platter))
        m_scratch.Push(delta);
    else if (mode == static_cast<int>(ScratchMode::Direct))
        m_scratchDelta.store(delta * 0.00048828125f, std::memory_order_relaxed);
}

void CDeckPlayer::SetBeatGrid(float bpm, double firstBeatMs) noexcept
{
    const double frame = firstBeatMs * m_beatTracker.SampleRate() / 1000.0;
    if (!(bpm > 0.0f) || !(frame >= 0.0 && frame < 4294967295.0))
        return;
    // Full confidence: the grid was measured over the whole track, and a later detection
    // replaces it only where it is surer still.
    m_beatTracker.SetDetection(bpm, 1.0f);
    m_beatTracker.SetPhaseOrigin(static_cast<uint32_t>(std::llround(frame)));
}

void CDeckPlayer::SetBpm(float bpm, float quality) noexcept
{
    m_bpm.store(bpm, std::memory_order_relaxed);
    m_bpmQuality.store(quality, std::memory_order_relaxed);
}

void CDeckPlayer::SetMarker(int index, double ms) noexcept
{
    if (index >= 0 && index < kMarkers && std::isfinite(ms))
        m_markersMs[index].store(ms, std::memory_order_relaxed);
}

double CDeckPlayer::GetMarker(int index) const noexcept
{
    return index >= 0 && index < kMarkers ? m_markersMs[index].load(std::memory_order_relaxed) : 0.0;
}

bool CDeckPlayer::MarkerReached(int index) const noexcept
{
    return index >= 0 && index < kMarkers && m_markerReached[index].load(std::memory_order_relaxed);
}

bool CDeckPlayer::MarkerArmed(int index) const noexcept
{
    return index >= 0 && index < kMarkers && m_markerArmed[index].load(std::memory_order_relaxed);
}

void CDeckPlayer::ClearMarkerReached(int index) noexcept
{
    if (index >= 0 && index < kMarkers)
        m_markerReached[index].store(false, std::memory_order_relaxed);
}

void CDeckPlayer::SeekSeconds(double seconds) noexcept
{
    if (m_loaded.load(std::memory_order_acquire) && std::isfinite(seconds))
        m_pendingSeekSeconds.store(std::max(seconds, 0.0), std::memory_order_relaxed);
}

void CDeckPlayer::SeekFrames(uint32_t frame) noexcept
{
    m_store.SetPlayPosition(std::min(frame, m_store.EndFrame()));
}

void CDeckPlayer::SeekMs(double ms) noexcept
{
    SeekFrames(FramesFrom(m_store.SampleRate() * ms / 1000.0));
}

void CDeckPlayer::JumpToMarker(int index, double offsetMs) noexcept
{
    // The control also admits a value naming a sixth marker that does not exist: nothing to do.
    if (index < 0 || index >= kMarkers || !std::isfinite(offsetMs))
        return;
    SeekMs(m_markersMs[index].load(std::memory_order_relaxed) + offsetMs);
}

// ---- Tempo and beat phase -----------------------------------------------------------------

float CDeckPlayer::TrackBpm() noexcept
{
    const float confidence = m_beatTracker.Confidence();
    if (confidence > m_bpmQuality.load(std::memory_order_relaxed))
        SetBpm(m_beatTracker.Bpm(), confidence);
    return m_bpm.load(std::memory_order_relaxed);
}

float CDeckPlayer::CurrentBpm() noexcept
{
    return TrackBpm() * Tempo();
}

int CDeckPlayer::SetTempoFromBpm(float targetBpm) noexcept
{
    const float trackBpm = TrackBpm();
    if (targetBpm == 0.0f || trackBpm == 0.0f)
        return 0;
    float ratio = targetBpm / trackBpm;
    // Outside the pitch range the deck matches at half or double time: a 100 BPM track under a
    // 140 BPM master plays at 70, one beat to every two of the master's. 1.334 is twice 0.667,
    // so a halved ratio is never doubled back.
    if (ratio > 1.334f)
        ratio *= 0.5f;
    if (ratio < 0.667f)
        ratio *= 2.0f;
    if (!(ratio >= 0.65f && ratio <= 1.35f))
        return 0;
    SetTempo(ratio);
    return 1;
}

float CDeckPlayer::PhaseOffset() const noexcept
{
    if (!m_loaded.load(std::memory_order_acquire))
        return 0.0f;
    // Without a detection worth trusting, a fixed 120 BPM grid from the tracker's origin still
    // lets two decks lock onto each other: phase sync compares the decks, not the music.
    constexpr float kGridConfidence = 0.01f;
    constexpr double kFallbackBpm = 120.0;
    const double rate = m_beatTracker.SampleRate();
    const float trackerBpm = m_beatTracker.Bpm();
    const double bpm =
        m_beatTracker.Confidence() > kGridConfidence && trackerBpm > 0.0f ? trackerBpm : kFallbackBpm;
    const double beatFrames = std::round(60.0 * rate / bpm);
    if (!(beatFrames >= 1.0 && beatFrames <= 4294967295.0))
        return 0.0f;
    const auto beat = static_cast<int64_t>(beatFrames);
    int64_t offset = static_cast<int64_t>(PlayPosition()) - m_beatTracker.PhaseOrigin();
    // The remainder in (-beat/2, +beat/2]: what stepping by whole beats until the offset is at
    // most half a beat gives, without a loop that grows with the position.
    offset %= beat;
    if (offset < 0)
        offset += beat;
    if (2 * offset > beat)
        offset -= beat;
    const float phase = static_cast<float>(static_cast<double>(offset) / beatFrames);
    return Reverse() ? -phase : phase;
}

std::optional<double> CDeckPlayer::NextBeat(double ms) const noexcept
{
    const double rate = m_beatTracker.SampleRate();
    if (!(rate > 0.0))
        return std::nullopt;
    const int count = m_beatTracker.BeatCount(0);
    for (int i = 0; i < count; ++i) {
        const double beatMs = m_beatTracker.Beat(0, i) * 1000.0 / rate;
        if (beatMs > ms)
            return beatMs;
    }
    return std::nullopt;
}

// ---- Clock and time -----------------------------------------------------------------------

void CDeckPlayer::LatchClock() noexcept
{
    const CPlayClock* clock = m_clock.load(std::memory_order_acquire);
    m_latchClock.store(clock ? clock->PlayClockMs() : 0, std::memory_order_relaxed);
    m_latchPosition.store(m_store.PlayPosition(), std::memory_order_relaxed);
}

void CDeckPlayer::RecordClock(double blockMs) noexcept
{
    const uint32_t start = m_latchClock.load(std::memory_order_relaxed);
    m_previousClock.store(start, std::memory_order_relaxed);
    m_previousPosition.store(m_latchPosition.load(std::memory_order_relaxed), std::memory_order_relaxed);
    m_endClock.store(start + static_cast<uint32_t>(std::max(blockMs, 0.0)), std::memory_order_relaxed);
    m_endPosition.store(m_store.PlayPosition(), std::memory_order_relaxed);
}

double CDeckPlayer::PositionMs(bool exact) const noexcept
{
    double position = m_store.PlayPosition();
    const CPlayClock* clock = m_clock.load(std::memory_order_acquire);
    if (exact && clock != nullptr) {
        const double startClock = m_previousClock.load(std::memory_order_relaxed);
        const double endClock = m_endClock.load(std::memory_order_relaxed);
        if (endClock > startClock) {
            const double now = std::clamp<double>(clock->PlayClockMs(), startClock, endClock);
            const double startPosition = m_previousPosition.load(std::memory_order_relaxed);
            const double endPosition = m_endPosition.load(std::memory_order_relaxed);
            position =
                startPosition + (endPosition - startPosition) * (now - startClock) / (endClock - startClock);
        }
    }
    return position * 1000.0 / m_store.SampleRate();
}

uint32_t CDeckPlayer::MsToFrames(double ms) const noexcept
{
    return FramesFrom(m_store.SampleRate() * ms / 1000.0 + 0.5);
}

double CDeckPlayer::FramesToMs(double frames) const noexcept
{
    return frames * 1000.0 / m_store.SampleRate();
}

double CDeckPlayer::LengthSeconds() const noexcept
{
    const uint32_t rate = m_store.SampleRate();
    if (!m_loaded.load(std::memory_order_acquire) || rate == 0)
        return 0.0;
    return static_cast<double>(m_trackFrames.load(std::memory_order_relaxed)) / rate;
}

double CDeckPlayer::CoarseSeconds() const noexcept
{
    const double pending = m_pendingSeekSeconds.load(std::memory_order_relaxed);
    if (pending > 0.0)
        return pending;
    return static_cast<double>(m_blockDurationMs.load()) * m_store.CurrentBlock() / 1000.0;
}

double CDeckPlayer::RemainingSeconds() const noexcept
{
    const uint32_t rate = m_store.SampleRate();
    if (!m_loaded.load(std::memory_order_acquire) || rate == 0)
        return 0.0;
    const double pending = m_pendingSeekSeconds.load(std::memory_order_relaxed);
    const double elapsed = pending > 0.0 ? pending : static_cast<double>(PlayPosition()) / rate;
    return std::max(LengthSeconds() - elapsed, 0.0);
}

double CDeckPlayer::ReadOverview(double startMs, CSampleStore::OverviewPair* pairs, uint32_t count,
                                 float zoom) const noexcept
{
    const uint32_t rate = m_store.SampleRate();
    m_store.ReadOverview(FramesFrom(rate * startMs / 1000.0 + 0.5), pairs, count, zoom);
    return count * static_cast<double>(zoom) * 1024000.0 / rate;
}

// ---- Render -------------------------------------------------------------------------------

float CDeckPlayer::NextSpeed() noexcept
{
    const float tempo = m_tempo.load(std::memory_order_relaxed);
    const float wind = m_wind.load(std::memory_order_relaxed);
    float speed = tempo * (wind + (m_playing.load(std::memory_order_relaxed) ? 1.0f : 0.0f));
    const float bend = m_bendInput.load(std::memory_order_relaxed);
    // Releasing the bend drops its extra speed at once rather than winding it down.
    if (std::fabs(bend) < 0.001f)
        m_bendIntegrator = 0.0f;
    else
        m_bendIntegrator = std::clamp(m_bendIntegrator + bend, -kBendTicks, kBendTicks);
    speed += m_bendIntegrator * kBendPerTick;
    if (m_reverse.load(std::memory_order_relaxed))
        speed = -speed;
    switch (m_scratchMode.load(std::memory_order_relaxed)) {
    case static_cast<int>(ScratchMode::Off):
    case static_cast<int>(ScratchMode::Platter):
        speed = m_scratch.Run(speed);
        break;
    case static_cast<int>(ScratchMode::Direct):
        speed = m_scratchDelta.exchange(0.0f, std::memory_order_relaxed) * tempo;
        break;
    default:
        break;
    }
    m_speed.store(speed, std::memory_order_relaxed);
    return speed;
}

uint32_t CDeckPlayer::MarkerFrame(int index) const noexcept
{
    return FramesFrom(m_store.SampleRate() * m_markersMs[index].load(std::memory_order_relaxed) * 0.001 +
                      0.5);
}

void CDeckPlayer::CheckMarkers(uint32_t position) noexcept
{
    const uint64_t p = position;
    for (int i = 0; i < kMarkers; ++i) {
        if (!(m_markersMs[i].load(std::memory_order_relaxed) > 0.0))
            continue;
        const uint64_t m = MarkerFrame(i);
        // A marker fires once as the position passes it (32 frames early to 256 late) and arms
        // again only once the position is well clear of it, so a loop or a seek can fire it anew.
        if (m_markerArmed[i].load(std::memory_order_relaxed) && p + 32 >= m && p <= m + 256) {
            m_markerReached[i].store(true, std::memory_order_relaxed);
            m_markerArmed[i].store(false, std::memory_order_relaxed);
        } else if (p + 256 < m || p > m + 512) {
            m_markerArmed[i].store(true, std::memory_order_relaxed);
        }
    }
}

void CDeckPlayer::CheckLoop(uint32_t position) noexcept
{
    if (!m_loopActive.load(std::memory_order_relaxed) || !(m_markersMs[3].load() > 0.0) ||
        !(m_markersMs[4].load() > 0.0))
        return;
    const uint64_t start = MarkerFrame(3);
    const uint64_t end = MarkerFrame(4);
    const uint64_t p = position;
    if (start > end)
        return;
    // The windows around the loop's ends keep a seek far away from the loop from being pulled
    // back into it.
    if (!m_reverse.load(std::memory_order_relaxed)) {
        if (start < p + 1024 && p < end + 8192 && p + 32 > end)
            SeekFrames(static_cast<uint32_t>(start));
    } else {
        if (start < p + 4096 && p < end + 8192 && p < start + 32)
            SeekFrames(static_cast<uint32_t>(end));
    }
}

int CDeckPlayer::Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick, uint16_t tickCount) noexcept
{
    // Only a load or an unload holds this lock; the deck is silent for the ticks they take.
    std::unique_lock render(m_renderLock, std::try_to_lock);
    if (!render.owns_lock() || !m_loaded.load(std::memory_order_acquire)) {
        m_speed.store(0.0f, std::memory_order_relaxed);
        return 1;
    }
    const uint8_t left = bus.AllocChannel(firstTick, tickCount);
    const uint8_t right = bus.AllocChannel(firstTick, tickCount);
    if (left == CAudioBus::kNone || right == CAudioBus::kNone) {
        bus.ReleaseChannel(left, firstTick);
        return 1;
    }

    const double seekSeconds = m_pendingSeekSeconds.exchange(-1.0, std::memory_order_relaxed);
    if (seekSeconds >= 0.0) {
        const double blockMs = m_blockDurationMs.load(std::memory_order_relaxed);
        SeekFrames(FramesFrom(seekSeconds * 1000.0 / blockMs * m_store.FramesPerBlock()));
    }

    const uint32_t rate = m_store.SampleRate();
    const double busRate = bus.SampleRate();
    const uint32_t gain = static_cast<uint32_t>(record.gain) * 128; // 256 -> 0x8000
    const uint32_t endTick = std::min<uint32_t>(firstTick + tickCount, bus.TicksPerBlock());
    for (uint32_t tick = firstTick; tick < endTick; ++tick) {
        const float speed = NextSpeed();
        const uint32_t position = m_store.PlayPosition();
        CheckMarkers(position);
        CheckLoop(position);

        float velocity = speed + m_nudge.load(std::memory_order_relaxed);
        const bool backwards = velocity < 0.0f;
        velocity = std::min(std::fabs(velocity), kMaxSpeed);
        if (!std::isfinite(velocity))
            velocity = 0.0f;
        const float step = velocity * static_cast<float>(rate) * (1.0f / 44100.0f);
        // Also capped in fixed point: a source faster than 44100 Hz at speed 8 would otherwise
        // need more frames per tick than the work buffers hold.
        const auto fullStep = static_cast<uint32_t>(std::min(
            44100.0 * 65536.0 / busRate * step, static_cast<double>(CResampler::kUnityStep) * kMaxSpeed));
        for (auto& resampler : m_resamplers)
            resampler.SetStep(fullStep);

        const uint32_t needed = m_resamplers[0].Needed(kTickFrames);
        const uint32_t toRead =
            m_workFill <= needed + kLookAheadFrames ? needed + kLookAheadFrames - m_workFill : 0;
        m_store.SetDirection(backwards);
        int16_t* workLeft = m_work[0].Samples();
        int16_t* workRight = m_work[1].Samples();
        if (m_store.Read(toRead, workLeft + m_workFill, workRight + m_workFill) != 0) {
            m_endReached.store(true, std::memory_order_relaxed);
            m_workFill = 0;
            bus.ReleaseChannel(left, static_cast<uint16_t>(tick));
            bus.ReleaseChannel(right, static_cast<uint16_t>(tick));
            return 0;
        }

        CSampleBuffer& sliceLeft = bus.Slice(left, tick);
        CSampleBuffer& sliceRight = bus.Slice(right, tick);
        const uint32_t consumed = m_resamplers[0].Process(workLeft, sliceLeft.Samples(), kTickFrames);
        m_resamplers[1].Process(workRight, sliceRight.Samples(), kTickFrames);
        sliceLeft.SetGain(gain);
        sliceLeft.SetPan(-128);
        sliceRight.SetGain(gain);
        sliceRight.SetPan(127);

        m_workFill = m_workFill + toRead - consumed;
        std::memmove(workLeft, workLeft + consumed, m_workFill * sizeof(int16_t));
        std::memmove(workRight, workRight + consumed, m_workFill * sizeof(int16_t));
    }
    return 1;
}
