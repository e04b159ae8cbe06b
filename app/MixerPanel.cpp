#include "MixerPanel.h"

#include "AudioEngine.h"
#include "ControlTable.h"
#include "DeckPlayer.h"
#include "PlayerCore.h"
#include "SelectorControl.h"
#include "ShadeArea.h"
#include "SkinEvent.h"
#include "SkinForm.h"
#include "SwitchControl.h"
#include "TextControl.h"
#include "WaveDisplayControl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace {

constexpr std::array<int32_t, 8> kListened = {
    CMixerPanel::kCrossFader,    CMixerPanel::kFadeDown,    CMixerPanel::kFadeUp, CMixerPanel::kPresetBlend,
    CMixerPanel::kPresetNoBlend, CMixerPanel::kPresetPause, CMixerPanel::kWaveA,  CMixerPanel::kWaveA + 1};
// The controls only Automix has use for.
constexpr std::array<int32_t, 5> kAutomixOnly = {CMixerPanel::kPresetBlend, CMixerPanel::kPresetNoBlend,
                                                 CMixerPanel::kPresetPause, CMixerPanel::kFadeUp,
                                                 CMixerPanel::kFadeDown};

constexpr uint32_t kShadeColour = 0x00001020u;
constexpr uint32_t kWaveColour = 0x00B3F2E4u;
constexpr uint32_t kTrailStartColour = 0x005F5030u;
constexpr uint32_t kTrailEndColour = 0x009C2121u;
constexpr int32_t kMarkerPicture = 39;

// The marker strip draws the play position and the cue point centred on a line 6 pixels into
// their frames, the fade-out point and the loop start left of a line at 10, the fade-in point and
// the loop end right of a line at 0: the offsets put each line on its column.
constexpr int32_t kCurrentMarkerOffset = -6;
constexpr std::array<int32_t, CDeckPlayer::kMarkers> kMarkerOffsets = {-6, -10, 0, -10, 0};

// Lamp brightness: six frames, the brightest held while more than 24 refreshes are left.
constexpr int kLampFadeRefreshes = 24;
constexpr int kLampBrightest = 5;
// The wave window is redrawn at least this often while nothing moves.
constexpr uint32_t kWaveRefreshPeriod = 8;
constexpr uint32_t kOverviewFrames = 1024; // frames per overview column at zoom 1

constexpr float kPresetBlendSeconds = 10.0f;
constexpr float kPresetPauseSeconds = -3.0f;

// Column of a window of spanMs for a time tMs into it, or -1 when it lies far outside.
int32_t WindowColumn(double tMs, double spanMs)
{
    const double column = std::trunc(tMs / spanMs * CMixerPanel::kWaveColumns + 0.5);
    if (!(column >= -1.0e6 && column <= 1.0e6))
        return -1;
    return static_cast<int32_t>(column);
}

} // namespace

template <typename Control> Control* CMixerPanel::Find(int32_t id) const
{
    return dynamic_cast<Control*>(m_form.FindControl(id));
}

CMixerPanel::CMixerPanel(CPlayerCore& core, CSkinForm& form) : m_core(core), m_form(form)
{
    for (const int32_t id : kListened) {
        if (CSkinControl* control = m_form.FindControl(id))
            control->AddListener(this);
    }
    for (int deck = 0; deck < kDecks; ++deck) {
        if (auto* shade = Find<CShadeArea>(kShadeA + deck))
            shade->SetColour(kShadeColour);
        if (auto* wave = Find<CWaveDisplayControl>(kWaveA + deck)) {
            wave->SetWaveColour(kWaveColour);
            wave->SetTrailStartColour(kTrailStartColour);
            wave->SetTrailEndColour(kTrailEndColour);
            wave->SetMarkerPicture(kMarkerPicture);
            wave->SetTrailStart(-1);
        }
    }
    Refresh(true);
}

CMixerPanel::~CMixerPanel()
{
    for (const int32_t id : kListened) {
        if (CSkinControl* control = m_form.FindControl(id))
            control->RemoveListener(this);
    }
}

int CMixerPanel::LampCounter(int deck, int lamp) const
{
    if (lamp < 0 || lamp >= kLamps)
        return 0;
    return m_lampCounters[static_cast<size_t>(deck & 1)][static_cast<size_t>(lamp)];
}

// ---- Refresh -------------------------------------------------------------------------------

void CMixerPanel::Refresh(bool force)
{
    RefreshCrossFader(force);
    const bool periodic = m_refreshes % kWaveRefreshPeriod == 0;
    for (int deck = 0; deck < kDecks; ++deck) {
        const bool lampsLit = RefreshLamps(deck);
        const double positionMs = m_core.Engine().Deck(deck).PositionMs(true);
        if (force || lampsLit || periodic || positionMs != m_lastPositionMs[static_cast<size_t>(deck)])
            RefreshWave(deck);
    }
    RefreshFadeText(force);
    RefreshPlaybackMode();
    ++m_refreshes;
}

void CMixerPanel::RefreshCrossFader(bool force)
{
    CControlFunction* fader = m_core.Controls().FindFunction(ControlId::XFader);
    if (fader == nullptr)
        return;
    // The flag first: a value stored after it is shown by the next refresh, never lost.
    const bool changed = fader->TakeChanged(0);
    if (!changed && !force)
        return;
    if (auto* selector = Find<CSelectorControl>(kCrossFader))
        selector->SetValue(fader->Value(0));
}

bool CMixerPanel::RefreshLamps(int deck)
{
    auto& counters = m_lampCounters[static_cast<size_t>(deck)];
    const uint32_t activity = m_core.MixMonitor().TakeActivity(deck);
    bool lit = false;
    for (int lamp = 0; lamp < kLamps; ++lamp) {
        int& counter = counters[static_cast<size_t>(lamp)];
        if ((activity & (1u << lamp)) != 0)
            counter = kLampLit;
        if (counter <= 0)
            continue;
        --counter;
        lit = true;
        if (auto* control = Find<CSwitchControl>(kLampIds[static_cast<size_t>(lamp)] + deck))
            control->SetState(counter < kLampFadeRefreshes ? counter / 4 : kLampBrightest);
    }
    return lit;
}

void CMixerPanel::ReadWindow(int deck, double startMs, uint32_t rate)
{
    const CDeckPlayer& player = m_core.Engine().Deck(deck);
    // A window that begins before the track shows nothing there: the columns whose overview
    // index would be negative stay empty, and the track starts in the column of index 0.
    const double startFrame = std::trunc(rate * startMs / 1000.0 + 0.5);
    uint32_t lead = 0;
    if (startFrame < 0.0)
        lead =
            static_cast<uint32_t>(std::min<double>(kWaveColumns, std::trunc(-startFrame / kOverviewFrames)));
    std::fill_n(m_wave.begin(), lead, CSampleStore::OverviewPair{});
    if (lead < kWaveColumns)
        player.ReadOverview(lead > 0 ? 0.0 : startMs, m_wave.data() + lead, kWaveColumns - lead, 1.0f);
}

void CMixerPanel::RefreshWave(int deck)
{
    const CDeckPlayer& player = m_core.Engine().Deck(deck);
    const double positionMs = player.PositionMs(true);
    m_lastPositionMs[static_cast<size_t>(deck)] = positionMs;
    const uint32_t rate = player.SampleRate() != 0 ? player.SampleRate() : 44100;
    const double spanMs = kWaveColumns * 1024000.0 / rate;
    ReadWindow(deck, positionMs - kLeadMs, rate);
    if (auto* wave = Find<CWaveDisplayControl>(kWaveA + deck)) {
        wave->SetCurrentMarker(WindowColumn(kLeadMs, spanMs), kCurrentMarkerOffset);
        for (int j = 0; j < CDeckPlayer::kMarkers; ++j) {
            const double markerMs = player.GetMarker(j);
            const int32_t column =
                markerMs > 0.0 ? WindowColumn(markerMs + kLeadMs - positionMs, spanMs) : -1;
            wave->SetMarker(j, column, kMarkerOffsets[static_cast<size_t>(j)]);
        }
        // OverviewPair is {high, low}: the byte pair per column the display takes.
        wave->SetWaveData(reinterpret_cast<const int8_t*>(m_wave.data()), sizeof(m_wave));
        wave->Invalidate();
    }
    if (auto* shade = Find<CShadeArea>(kShadeA + deck))
        shade->SetActive(!player.Loaded());
    for (const int32_t id : kLampIds) {
        if (CSkinControl* lamp = m_form.FindControl(id + deck))
            lamp->Invalidate();
    }
}

void CMixerPanel::RefreshFadeText(bool force)
{
    const float seconds = m_core.Automix().FadeTime();
    if (!force && m_fadeShown && seconds == m_lastFadeTime)
        return;
    m_lastFadeTime = seconds;
    m_fadeShown = true;
    if (auto* text = Find<CTextControl>(kFadeText)) {
        std::array<char, 32> buffer{};
        std::snprintf(buffer.data(), buffer.size(), "%4.1f", static_cast<double>(seconds));
        text->SetText(buffer.data());
    }
}

void CMixerPanel::RefreshPlaybackMode()
{
    const int mode = m_core.PlaybackModeValue();
    if (mode == m_lastMode)
        return;
    m_lastMode = mode;
    if (mode != CPlayerCore::kAutomix && mode != CPlayerCore::kDjMix)
        return;
    for (const int32_t id : kAutomixOnly)
        m_form.SetControlEnabled(id, mode == CPlayerCore::kAutomix);
}

// ---- Events --------------------------------------------------------------------------------

void CMixerPanel::OnControlEvent(const CSkinEvent& event, int32_t controlId)
{
    if (m_learning && m_learning(controlId))
        return;
    switch (controlId) {
    case kCrossFader:
        if (event.kind == SkinEventKind::SelectorChanged)
            OnCrossFader(event);
        return;
    case kFadeDown:
    case kFadeUp:
        if (event.kind != SkinEventKind::SwitchChanged)
            return;
        // Auto-repeats come without a mouse event and step as the press did.
        if (event.source != nullptr && event.source->kind == SkinEventKind::MouseButton)
            m_rightButton = event.source->rightButton;
        StepFadeTime((controlId == kFadeUp ? 1 : -1) * (m_rightButton ? 1 : 10));
        return;
    case kPresetBlend:
    case kPresetNoBlend:
    case kPresetPause:
        if (event.kind != SkinEventKind::SwitchChanged)
            return;
        m_core.Automix().SetFadeTime(controlId == kPresetBlend     ? kPresetBlendSeconds
                                     : controlId == kPresetNoBlend ? 0.0f
                                                                   : kPresetPauseSeconds);
        return;
    default:
        return; // the wave windows: nothing to do
    }
}

void CMixerPanel::OnCrossFader(const CSkinEvent& event)
{
    CControlTable& controls = m_core.Controls();
    controls.SetValue(ControlId::XFader, 0, event.value, Marks::ChangedAndApply);
    const CSkinEvent* source = event.source;
    if (source == nullptr || source->kind != SkinEventKind::MouseButton)
        return;
    if (source->down || source->doubleClick) {
        m_core.Automix().AddManualHold(1);
        return;
    }
    // Let go: the user holds the cross-fader only while dragging, so a mix that plays takes it
    // back. The release's own write must not count as a new move, which the replay would take
    // for another take-over: its pending mark goes, and the drag's last value stands.
    if (CControlFunction* fader = controls.FindFunction(ControlId::XFader))
        fader->TakeApplyPending(0);
    m_core.Mix().TakeOver(ControlId::XFader, 0, false);
    m_core.Automix().AddManualHold(-1);
}

void CMixerPanel::StepFadeTime(int tenths)
{
    // In whole tenths, so that steps of 0.1 land on the limits exactly instead of drifting past.
    const long now = std::lround(static_cast<double>(m_core.Automix().FadeTime()) * 10.0);
    const long minimum = std::lround(kFadeMinimum * 10.0);
    const long maximum = std::lround(kFadeMaximum * 10.0);
    const long next = std::clamp(now + tenths, minimum, maximum);
    m_core.Automix().SetFadeTime(static_cast<float>(next) / 10.0f);
}
