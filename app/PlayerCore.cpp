#include "PlayerCore.h"

#include "AudioEngine.h"
#include "DocumentKind.h"
#include "ListCommands.h"
#include "ListLoadReport.h"
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

} // namespace

CPlayerCore::CPlayerCore()
{
    m_mix.RegisterChannels(Controls());
}

CPlayerCore::~CPlayerCore() = default;

// ---- Audio thread --------------------------------------------------------------------------

void CPlayerCore::Start(uint8_t& flags)
{
    CControlHost::Start(flags);
    // Lists filled before anything was published are what the first tick plays.
    if (m_snapshots.Latest() == nullptr)
        Publish();
}

void CPlayerCore::Stop(uint8_t& flags)
{
    CControlHost::Stop(flags);
    m_snapshots.SetReaderIdle();
}

void CPlayerCore::PostEvent(const CoreEvent& event) noexcept
{
    CoreEvent stamped = event;
    stamped.tick = m_tick;
    m_events.Push(stamped);
}

void CPlayerCore::ScheduleTimeLine() noexcept
{
    m_entered = m_snapshots.Enter();
    if (!m_stepped.load(std::memory_order_relaxed))
        m_stepped.store(true, std::memory_order_relaxed);
    m_automix.Step(m_entered);
    NoteTracksHeard();
    ++m_tick;
}

// A track is heard from the tick its deck started playing it: the start was applied after the
// previous tick's schedule, so that tick is the one it entered the mix on. In Automix a deck that
// stops forgets its track, so a repeated list is heard again; a mix may stop and restart a deck
// on the same track without that being a new track.
void CPlayerCore::NoteTracksHeard() noexcept
{
    const bool automix = PlaybackModeValue() == kAutomix;
    for (int deck = 0; deck < 2; ++deck) {
        const int entry = Engine().LoadedEntry(deck);
        // A load that was under way has ended: the deck holds its track, or it failed.
        const bool loading = Engine().Loading(deck);
        if (m_loading[static_cast<size_t>(deck)] && !loading && entry >= 0) {
            const bool loaded = Engine().Deck(deck).Loaded();
            PostEvent({loaded ? CoreEvent::Type::TrackLoaded : CoreEvent::Type::TrackFailed,
                       static_cast<int8_t>(deck), entry, 0, 0, loaded ? nullptr : kTrackUnreadable});
        }
        m_loading[static_cast<size_t>(deck)] = loading;
        if (!Engine().Deck(deck).Playing()) {
            if (automix)
                m_heard[static_cast<size_t>(deck)] = -1;
            continue;
        }
        if (entry >= 0 && entry != m_heard[static_cast<size_t>(deck)]) {
            m_heard[static_cast<size_t>(deck)] = entry;
            CoreEvent event{CoreEvent::Type::TrackStarted, static_cast<int8_t>(deck), entry, 0, 0, nullptr};
            event.tick = m_tick > 0 ? m_tick - 1 : 0;
            m_events.Push(event);
        }
    }
}

void CPlayerCore::ReplayMixTick() noexcept
{
    if (PlaybackModeValue() == kDjMix)
        m_replay.Tick(m_entered);
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
            cues->Set(i, static_cast<int32_t>(player.MsToFrames(player.GetMarker(i))), Marks::None);
    }
    m_recorder.EndTick(m_recordedPositions[0], m_recordedPositions[1]);
}

int CPlayerCore::OnRunStop(int value) noexcept
{
    if (value == 0) {
        m_mix.Play(false);
        for (int deck = 0; deck < 2; ++deck)
            Controls().SetValue(ControlId::DeckStartStop, deck, 0, Marks::ChangedAndApply);
        return 0;
    }
    const int mode = PlaybackModeValue();
    if (mode == kDjMix) {
        if (!MixTracksPresent()) {
            PostEvent({CoreEvent::Type::Message, -1, -1, 0, 0, m_mixStartProblem.data()});
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
        m_automix.OnStart();
        Controls().SetValue(ControlId::DeckStartStop, m_automix.CurrentDeck(), 1, Marks::ChangedAndApply);
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
        PostEvent({CoreEvent::Type::PlayTimeLearned, static_cast<int8_t>(deck), leaving, 0,
                   std::llround(player.LengthSeconds() * 1000.0), nullptr});
    // Before the first tick (a caller without an audio thread) the newest snapshot stands in.
    const CPlaySnapshot* snapshot = m_entered != nullptr ? m_entered : m_snapshots.Latest();
    const SnapshotTrack* entry = snapshot != nullptr && entryId >= 0 ? snapshot->TrackById(entryId) : nullptr;
    if (entry != nullptr && m_mix.Playing())
        PostEvent({CoreEvent::Type::MixEntryLocked, static_cast<int8_t>(deck), entryId, 0, 0, nullptr});
    StartDeckLoad(deck, path, entryId, entry, snapshot);
}

void CPlayerCore::StartDeckLoad(int deck, const char* path, int entryId, const SnapshotTrack* entry,
                                const CPlaySnapshot* snapshot)
{
    CControlFunction* tracks = Controls().Internal(ControlId::MixTrackEntry);
    if (path == nullptr) {
        tracks->Set(deck, 0, Marks::None);
        CControlHost::LoadTrackToDeck(deck, nullptr, -1);
        return;
    }
    CDeckPlayer& target = Engine().Deck(deck);
    float bpm = 0.0f;
    float bpmQuality = 0.0f;
    double firstBeatMs = -1.0;
    int index = -1;
    if (entry != nullptr) {
        for (int i = 0; i < CDeckPlayer::kMarkers; ++i)
            target.SetMarker(i, entry->cuePoints[static_cast<size_t>(i)]);
        bpm = entry->tempo;
        bpmQuality = entry->tempoQuality;
        firstBeatMs = entry->firstBeatMs;
        index = snapshot != nullptr ? snapshot->IndexOfId(entryId) : -1;
    }
    tracks->Set(deck, index + 1, Marks::None);
    Controls().ResetDeckFunctions(deck);
    Engine().LoadTrack(deck, path, entryId, bpm, bpmQuality, false, firstBeatMs);
}

void CPlayerCore::LoadFileToDeck(int deck, const std::string& path)
{
    deck &= 1;
    const int leaving = Engine().LoadedEntry(deck);
    const CDeckPlayer& player = Engine().Deck(deck);
    if (leaving >= 0 && player.Loaded() && player.LengthSeconds() > 0.0)
        m_list.LearnPlayTime(leaving, player.LengthSeconds());
    const int added = m_list.AddTrack(path, true);
    const int32_t id = added >= 0 ? m_list.Entry(added).id : -2;
    Publish();
    StartDeckLoad(deck, path.c_str(), id, m_snapshots.Latest()->TrackById(id), m_snapshots.Latest());
}

// ---- List edits ----------------------------------------------------------------------------

int CPlayerCore::AddToList(const std::string& path, int index)
{
    const int added = m_list.AddTrack(path, true);
    if (added >= 0 && index >= 0 && index < added)
        MoveInList(added, index);
    Publish();
    return added >= 0 && index >= 0 && index < added ? index : added;
}

bool CPlayerCore::RemoveFromList(int index, bool force)
{
    const bool removed = index >= 0 && index < m_list.Count() && m_list.Remove(index, force) != 0;
    if (removed)
        Publish();
    return removed;
}

void CPlayerCore::MoveInList(int from, int to)
{
    if (from < 0 || from >= m_list.Count() || to < 0 || to >= m_list.Count() || from == to)
        return;
    const int32_t id = m_list.Entry(from).id;
    m_list.Move(from, to);
    if (m_list.TimeLine() != nullptr)
        m_list.TimeLine()->Move(id, to);
    Publish();
}

void CPlayerCore::EditListEntry(int index, const TrackEntry& fields)
{
    if (index < 0 || index >= m_list.Count())
        return;
    TrackEntry& entry = m_list.Entry(index);
    const int32_t id = entry.id;
    entry = fields;
    entry.id = id;
    entry.changed = true;
    m_list.SetChanged(true);
    Publish();
}

void CPlayerCore::ClearList()
{
    m_list.Clear();
    Publish(true);
}

// ---- Snapshots and events ------------------------------------------------------------------

namespace {

// FNV-1a over the bytes of each value.
class CFingerprint {
public:
    template <typename T> void Add(const T& value)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
        for (size_t i = 0; i < sizeof(T); ++i)
            Mix(bytes[i]);
    }
    void Add(const std::string& text)
    {
        Add(text.size());
        for (const char c : text)
            Mix(static_cast<unsigned char>(c));
    }
    uint64_t Value() const { return m_value; }

private:
    void Mix(unsigned char byte) { m_value = (m_value ^ byte) * 0x100000001b3ull; }
    uint64_t m_value = 0xcbf29ce484222325ull;
};

} // namespace

// What the audio thread would see of the lists: a change to any of it is a reason to publish.
uint64_t CPlayerCore::ListFingerprint() const
{
    CFingerprint print;
    print.Add(PlaybackModeValue());
    print.Add(m_list.Count());
    for (int i = 0; i < m_list.Count(); ++i) {
        const TrackEntry& entry = m_list.Entry(i);
        print.Add(entry.id);
        print.Add(entry.location);
        print.Add(entry.cuePoints);
        print.Add(entry.tempo);
        print.Add(entry.tempoQuality);
        print.Add(entry.firstBeatMs);
        print.Add(entry.audibleStartMs);
        print.Add(entry.audibleEndMs);
        print.Add(entry.loudnessLufs);
    }
    print.Add(m_timeLine.Count());
    for (int i = 0; i < m_timeLine.Count(); ++i) {
        const TimeLineItem& item = *m_timeLine.Item(i);
        print.Add(item.deck);
        print.Add(item.track);
        print.Add(item.start);
        print.Add(item.length);
        print.Add(item.displayLength);
    }
    return print.Value();
}

void CPlayerCore::Publish(bool newTimeLine)
{
    if (newTimeLine)
        ++m_generation;
    m_publishedFingerprint = ListFingerprint();
    m_snapshots.Publish(CPlaySnapshot::Build(m_list, m_timeLine, PlaybackModeValue(), m_generation,
                                             m_timeLine.CurrentIndex(), ++m_serial));
}

void CPlayerCore::PollEvents(std::vector<CoreEvent>* out)
{
    CoreEvent event;
    while (m_events.Pop(event)) {
        switch (event.type) {
        case CoreEvent::Type::PlayTimeLearned:
            m_list.LearnPlayTime(event.entryId, static_cast<double>(event.value) / 1000.0);
            break;
        case CoreEvent::Type::MixEntryLocked:
            if (TrackEntry* entry = m_list.EntryById(event.entryId))
                entry->lock = true;
            break;
        case CoreEvent::Type::Message:
            if (event.text != nullptr)
                m_pendingMessage = event.text;
            break;
        case CoreEvent::Type::TrackFailed:
            // The user hears nothing from that deck: the message names the track.
            if (event.text != nullptr) {
                m_pendingMessage = event.text;
                if (const TrackEntry* entry = m_list.EntryById(event.entryId))
                    m_pendingMessage += "\n\n" + entry->location;
            }
            break;
        default:
            break;
        }
        if (out != nullptr)
            out->push_back(event);
    }
    // The displays follow the item and position the step plays.
    if (m_snapshots.Latest() != nullptr && m_stepped.load(std::memory_order_relaxed) &&
        !m_automix.ItemAsked()) {
        if (m_timeLine.CurrentIndex() != m_automix.CurrentIndex())
            m_timeLine.SetCurrentIndex(m_automix.CurrentIndex());
        m_timeLine.SetPosition(m_automix.PositionMs());
    }
    if (m_snapshots.Latest() == nullptr || ListFingerprint() != m_publishedFingerprint)
        Publish();
    m_snapshots.Reclaim();
}

// ---- Modes and documents -------------------------------------------------------------------

void CPlayerCore::SetPlaybackMode(int mode)
{
    // An empty mix has nothing to drive: its list plays in Automix.
    if (mode == kDjMix && m_mix.TickCount() == 0)
        mode = kAutomix;
    const bool wasRunning = RunStop();
    if (wasRunning) {
        Controls().SetValue(ControlId::RunStop, 0, 0, Marks::Changed);
        OnRunStop(0);
    }
    if (PlaybackModeValue() == kDjMix && mode != kDjMix)
        m_mix.Play(false);
    // A change-over of the old mode must not carry into the new one.
    m_automix.Reset();
    if (mode == kAutomix) {
        m_timeLine.SetDisplayMode(m_timeLineModeFixed ? CTimeLine::kFixed : CTimeLine::kAtLeastMin);
        m_list.SetTimeLine(&m_timeLine);
        m_list.RebuildTimeLine();
        CControlTable& table = Controls();
        for (int deck = 0; deck < 2; ++deck) {
            table.SetValue(ControlId::DeckPitch, deck, 2048, Marks::ChangedAndApply);
            table.SetValue(ControlId::DeckVolume, deck, 191, Marks::ChangedAndApply);
            for (int32_t id : {ControlId::DeckEqLow, ControlId::DeckEqMid, ControlId::DeckEqHigh})
                table.SetValue(id, deck, 128, Marks::ChangedAndApply);
            for (int32_t id : {ControlId::DeckEqLowKill, ControlId::DeckEqMidKill, ControlId::DeckEqHighKill})
                table.SetValue(id, deck, 0, Marks::ChangedAndApply);
            table.SetValue(ControlId::DeckBpActive, deck, 0, Marks::ChangedAndApply);
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
    }
    // The new Time Line, played from its first item.
    Publish(true);
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
    m_pendingMessage = m_mixNotice.data();
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
    m_mix.Clear();
    SetPlaybackMode(kAutomix);
    MixReference reference;
    const bool loaded = CXmlPlaylist::Load(m_list, path, false, &reference, {}, report);
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
    const DocumentKind kind = DocumentKindOf(path);
    if (kind == DocumentKind::XmlList)
        return OpenList(path, report);
    if (kind == DocumentKind::MixFile) {
        const bool wasRunning = RunStop();
        SetRunStop(false);
        OnRunStop(0);
        const bool loaded = m_mix.Load(path.c_str(), &m_list);
        if (!loaded)
            return false;
        SetPlaybackMode(ModeForOpenedMix());
        if (wasRunning)
            SetRunStop(true);
        return true;
    }
    bool loaded = false;
    m_mix.Clear();
    if (kind == DocumentKind::M3uList) {
        loaded = CM3uPlaylist::LoadM3u(m_list, path, false, report);
    } else if (kind == DocumentKind::Folder) {
        m_list.Clear();
        loaded = m_list.AddFolder(path, true, report) > 0;
    } else {
        m_list.Clear();
        loaded = m_list.AddTrack(path, true) >= 0;
    }
    if (loaded)
        SetPlaybackMode(kAutomix);
    return loaded;
}

int CPlayerCore::AppendDocument(const std::string& path, ListLoadReport* report)
{
    const int before = m_list.Count();
    bool read = true;
    switch (DocumentKindOf(path)) {
    case DocumentKind::XmlList:
        read = CXmlPlaylist::Load(m_list, path, true, nullptr, {}, report);
        break;
    case DocumentKind::M3uList:
        read = CM3uPlaylist::LoadM3u(m_list, path, true, report);
        break;
    case DocumentKind::Folder:
        m_list.AddFolder(path, true, report);
        break;
    case DocumentKind::MixFile:
        return -1;
    case DocumentKind::Track: {
        const int added = m_list.AddTrack(path, true);
        if (added == CPlaylist::kFull && report != nullptr)
            ++report->beyondLimit;
        else if (added == CPlaylist::kNotAccepted && report != nullptr)
            report->Drop(path, ListLoadReport::kNotTrackType);
        read = added != CPlaylist::kNotAccepted;
        break;
    }
    }
    Publish();
    return read ? m_list.Count() - before : -1;
}

bool CPlayerCore::SaveDocument(const std::string& path)
{
    const CListCommands::SaveFormat format = CListCommands::FormatForSave(path);
    if (format == CListCommands::SaveFormat::MixFile)
        return m_mix.Save(path.c_str(), m_list);
    if (format == CListCommands::SaveFormat::XmlList) {
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
    PollEvents();
    std::string message;
    message.swap(m_pendingMessage);
    return message;
}
