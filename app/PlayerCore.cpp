#include "PlayerCore.h"

#include "AudioEngine.h"
#include "FileStatus.h"
#include "M3uPlaylist.h"
#include "MixReference.h"
#include "Tick.h"
#include "XmlPlaylist.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

std::string LowerExtension(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

} // namespace

CPlayerCore::CPlayerCore()
{
    m_mix.RegisterChannels(Controls());
}

CPlayerCore::~CPlayerCore() = default;

// ---- Audio thread --------------------------------------------------------------------------

void CPlayerCore::ScheduleTimeLine() noexcept
{
    m_automix.Step();
}

void CPlayerCore::ReplayMixTick() noexcept
{
    if (PlaybackModeValue() == kDjMix && !Busy())
        m_replay.Tick();
    if (m_recorder.Recording()) {
        // A deck without a track (or still loading one) has no position to hold a replay to.
        for (int deck = 0; deck < 2; ++deck) {
            const CDeckPlayer& player = Engine().Deck(deck);
            m_recordedPositions[deck] =
                player.Loaded() && !Engine().Loading(deck) ? static_cast<int32_t>(player.PlayPosition()) : -1;
        }
        m_recorder.BeginTick();
    }
}

bool CPlayerCore::MixReplayRunning() const noexcept
{
    return PlaybackModeValue() == kDjMix && m_mix.Playing();
}

void CPlayerCore::TickApplied() noexcept
{
    if (!m_recorder.Recording())
        return;
    // The cue points as applying left them travel in the stream as frames of their tracks.
    for (int deck = 0; deck < 2; ++deck) {
        const CDeckPlayer& player = Engine().Deck(deck);
        CControlFunction* cues =
            Controls().Internal(deck == 0 ? ControlId::MixCuePointsA : ControlId::MixCuePointsB);
        for (int i = 0; i < CDeckPlayer::kMarkers; ++i)
            cues->Set(i, static_cast<int32_t>(player.MsToFrames(player.GetMarker(i))), false, false);
    }
    m_recorder.EndTick(m_recordedPositions[0], m_recordedPositions[1]);
}

int CPlayerCore::OnRunStop(int value) noexcept
{
    if (value == 0) {
        m_mix.Play(false);
        for (int deck = 0; deck < 2; ++deck)
            Controls().SetValue(ControlId::DeckStartStop, deck, 0, true, true);
        return 0;
    }
    const int mode = PlaybackModeValue();
    if (mode == kDjMix) {
        if (!MixTracksPresent()) {
            m_message.store(m_mixStartProblem.data(), std::memory_order_release);
            return 0;
        }
        // A mix at its end starts from the top; if another thread holds the mix just now, the
        // start is refused and "RUN-STOP" stays off rather than ending at once.
        if (m_mix.CurrentTick() + 1 >= m_mix.TickCount() && !m_mix.TryRewind())
            return 0;
        m_mix.Play(true);
        m_replay.Start();
        return 1;
    }
    if (mode == kAutomix) {
        if (m_timeLine.CurrentIndex() >= m_timeLine.Count()) {
            m_timeLine.SetCurrentIndex(0);
            m_automix.SetCurrentDeck(0);
        }
        Controls().SetValue(ControlId::DeckStartStop, m_automix.CurrentDeck(), 1, true, true);
    }
    return value;
}

void CPlayerCore::LoadTrackToDeck(int deck, const char* path, int entryId)
{
    deck &= 1;
    CAudioEngine& engine = Engine();
    // The entry leaving the deck learns how long it plays.
    const int leaving = engine.LoadedEntry(deck);
    const CDeckPlayer& player = engine.Deck(deck);
    if (leaving >= 0 && player.Loaded() && player.LengthSeconds() > 0.0)
        m_list.LearnPlayTime(leaving, player.LengthSeconds());
    CControlFunction* tracks = Controls().Internal(ControlId::MixTrackEntry);
    if (path == nullptr) {
        tracks->Set(deck, 0, false, false);
        CControlHost::LoadTrackToDeck(deck, nullptr, -1);
        return;
    }
    // A file from outside the list (the user's drop on a deck) joins the list first.
    if (entryId == -1) {
        const int added = m_list.AddTrack(path, true);
        if (added >= 0)
            entryId = m_list.Entry(added).id;
    }
    float bpm = 0.0f;
    float bpmQuality = 0.0f;
    const int index = entryId >= 0 ? m_list.IndexOfId(entryId) : -1;
    CDeckPlayer& target = engine.Deck(deck);
    if (index >= 0) {
        TrackEntry& entry = m_list.Entry(index);
        if (m_mix.Playing())
            entry.lock = true;
        for (int i = 0; i < CDeckPlayer::kMarkers; ++i)
            target.SetMarker(i, entry.cuePoints[static_cast<size_t>(i)]);
        bpm = entry.tempo;
        bpmQuality = entry.tempoQuality;
    }
    tracks->Set(deck, index + 1, false, false);
    Controls().ResetDeckFunctions(deck);
    engine.LoadTrack(deck, path, entryId, bpm, bpmQuality, false);
}

// ---- Modes and documents -------------------------------------------------------------------

void CPlayerCore::SetPlaybackMode(int mode)
{
    const bool wasRunning = RunStop();
    if (wasRunning) {
        Controls().SetValue(ControlId::RunStop, 0, 0, true, false);
        OnRunStop(0);
    }
    if (PlaybackModeValue() == kDjMix && mode != kDjMix)
        m_mix.Play(false);
    // A change-over of the old mode must not carry into the new one.
    m_automix.Reset();
    SetBusy(true);
    if (mode == kAutomix) {
        m_timeLine.SetDisplayMode(m_timeLineModeFixed ? CTimeLine::kFixed : CTimeLine::kAtLeastMin);
        m_list.SetTimeLine(&m_timeLine);
        m_list.RebuildTimeLine();
        CControlTable& table = Controls();
        for (int deck = 0; deck < 2; ++deck) {
            table.SetValue(ControlId::DeckPitch, deck, 2048, true, true);
            table.SetValue(ControlId::DeckVolume, deck, 191, true, true);
            for (int32_t id : {ControlId::DeckEqLow, ControlId::DeckEqMid, ControlId::DeckEqHigh})
                table.SetValue(id, deck, 128, true, true);
            for (int32_t id : {ControlId::DeckEqLowKill, ControlId::DeckEqMidKill, ControlId::DeckEqHighKill})
                table.SetValue(id, deck, 0, true, true);
            table.SetValue(ControlId::DeckBpActive, deck, 0, true, true);
        }
    } else if (mode == kDjMix) {
        m_list.SetTimeLine(nullptr);
        m_timeLine.SetDisplayMode(CTimeLine::kRealLengths);
        m_mix.BuildTimeLine(m_timeLine);
        m_automix.SetRepeatSingle(false);
        CheckMixTracks();
    }
    m_playbackMode.store(mode, std::memory_order_release);
    if (mode == kDjMix) {
        m_mix.SeekTick(0);
    } else if (mode == kAutomix) {
        m_timeLine.SetCurrentIndex(0);
        m_automix.SetCurrentDeck(0);
    }
    SetBusy(false);
    if (wasRunning)
        SetRunStop(true);
}

void CPlayerCore::CheckMixTracks()
{
    m_mixStartProblem[0] = '\0';
    bool present = true;
    for (int32_t value : m_mix.TrackValues()) {
        const int index = value - 1;
        if (index < 0 || index >= m_list.Count()) {
            // Most likely a damaged value, not a lost track: the list may hold every track.
            if (present || std::strcmp(m_mixStartProblem.data(), kMixMissingTracks) == 0)
                std::snprintf(m_mixStartProblem.data(), m_mixStartProblem.size(),
                              "the mix names track %d, which its list does not hold", value);
            present = false;
            continue;
        }
        TrackEntry& entry = m_list.Entry(index);
        entry.lock = true;
        if (!m_list.Recheck(entry)) {
            if (present)
                std::snprintf(m_mixStartProblem.data(), m_mixStartProblem.size(), "%s", kMixMissingTracks);
            present = false;
        }
    }
    m_mixTracksPresent.store(present, std::memory_order_release);
}

int CPlayerCore::ModeForOpenedMix()
{
    m_mixNotice[0] = '\0';
    // A DJ-Mix without a track block on its Time Line, or of fewer than two ticks, would end
    // before its first tick plays: then its list is what can be played.
    bool plays = m_mix.TickCount() >= 2;
    if (plays) {
        const auto line = std::make_unique<CTimeLine>();
        m_mix.BuildTimeLine(*line);
        plays = line->Count() > 0;
    }
    const uint32_t damagedAt = m_mix.DamagedAtTick();
    if (plays && damagedAt == CMixStream::kIntact)
        return kDjMix;
    char what[96];
    if (damagedAt != CMixStream::kIntact) {
        const auto centiseconds = static_cast<uint64_t>(damagedAt * kTickMs / 10.0);
        std::snprintf(what, sizeof what, "the mix could not be read past tick %u (%llu:%02llu.%02llu)",
                      damagedAt, static_cast<unsigned long long>(centiseconds / 6000),
                      static_cast<unsigned long long>(centiseconds / 100 % 60),
                      static_cast<unsigned long long>(centiseconds % 100));
    } else {
        std::snprintf(what, sizeof what, "the mix plays no track");
    }
    const char* instead = plays                ? "it plays up to there"
                          : m_list.Count() > 0 ? "its list plays in Automix instead"
                                               : "nothing plays instead: its list is empty";
    std::snprintf(m_mixNotice.data(), m_mixNotice.size(), "%s; %s", what, instead);
    m_message.store(m_mixNotice.data(), std::memory_order_release);
    return plays ? kDjMix : kAutomix;
}

bool CPlayerCore::LoadMixFile(const std::string& path)
{
    return m_mix.Load(path.c_str(), nullptr);
}

bool CPlayerCore::OpenList(const std::string& path, ListLoadReport* report)
{
    // Busy before the mix goes: an empty mix in DJ-Mix would make the audio thread switch modes
    // while the list changes.
    SetBusy(true);
    m_mix.Clear();
    SetPlaybackMode(kAutomix);
    MixReference reference;
    const bool loaded = CXmlPlaylist::Load(m_list, path, false, &reference, {}, report);
    SetBusy(false);
    if (!loaded)
        return false;
    if (!reference.path.empty()) {
        // A mix saved with the list is looked for next to the list first.
        const std::filesystem::path beside =
            std::filesystem::path(path).parent_path() / std::filesystem::path(reference.path).filename();
        if (!LoadMixFile(beside.string()) && !LoadMixFile(reference.path))
            return false;
        if (!reference.title.empty())
            m_mix.SetTitle(reference.title);
        if (!reference.comment.empty())
            m_mix.SetComment(reference.comment);
    }
    SetPlaybackMode(reference.path.empty() ? kAutomix : ModeForOpenedMix());
    return true;
}

bool CPlayerCore::OpenDocument(const std::string& path, ListLoadReport* report)
{
    m_mixNotice[0] = '\0';
    const std::string extension = LowerExtension(path);
    if (extension == ".qzl")
        return OpenList(path, report);
    if (extension == ".qzx") {
        const bool wasRunning = RunStop();
        SetRunStop(false);
        OnRunStop(0);
        SetBusy(true);
        const bool loaded = m_mix.Load(path.c_str(), &m_list);
        SetBusy(false);
        if (!loaded)
            return false;
        SetPlaybackMode(ModeForOpenedMix());
        if (wasRunning)
            SetRunStop(true);
        return true;
    }
    bool loaded = false;
    SetBusy(true);
    m_mix.Clear();
    if (extension == ".m3u") {
        loaded = CM3uPlaylist::LoadM3u(m_list, path, false, report);
    } else if (FileStatus::IsFolder(path)) {
        m_list.Clear();
        loaded = m_list.AddFolder(path, true, report) > 0;
    } else {
        m_list.Clear();
        loaded = m_list.AddTrack(path, true) >= 0;
    }
    SetBusy(false);
    if (loaded)
        SetPlaybackMode(kAutomix);
    return loaded;
}

bool CPlayerCore::SaveDocument(const std::string& path)
{
    const std::string extension = LowerExtension(path);
    if (extension == ".qzx")
        return m_mix.Save(path.c_str(), m_list);
    if (extension == ".qzl") {
        if (m_mix.TickCount() > 0) {
            const std::string mixPath = std::filesystem::path(path).replace_extension(".qzx").string();
            if (m_mix.Save(mixPath.c_str(), m_list)) {
                const MixReference reference{m_mix.Title() == "untitled" ? "" : m_mix.Title(),
                                             m_mix.Comment(), mixPath};
                return CXmlPlaylist::Save(m_list, path, &reference);
            }
            // The list is kept without its mix, but the save is not reported as done: the mix
            // was not written.
            CXmlPlaylist::Save(m_list, path);
            return false;
        }
        return CXmlPlaylist::Save(m_list, path);
    }
    return CM3uPlaylist::WriteM3u(m_list, path);
}

// ---- Recording and messages ----------------------------------------------------------------

void CPlayerCore::StartRecording()
{
    m_recorder.Start();
}

uint32_t CPlayerCore::FinishRecording()
{
    return m_recorder.Finish();
}

std::string CPlayerCore::TakeMessage()
{
    const char* message = m_message.exchange(nullptr, std::memory_order_acq_rel);
    return message != nullptr ? message : "";
}
