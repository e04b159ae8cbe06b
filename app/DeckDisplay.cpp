#include "DeckDisplay.h"

#include "AudioEngine.h"
#include "LevelMonitorControl.h"
#include "PlayerCore.h"
#include "ShadeArea.h"
#include "SkinForm.h"
#include "TextControl.h"

#include <cstring>

namespace {

// Deck A's controls on the deck panel; Deck B's are one above.
constexpr int32_t kTimeControl = 10;
constexpr int32_t kTitleControl = 13;
constexpr int32_t kLevelControl = 15;
constexpr int32_t kSecondLineControl = 19;
constexpr int32_t kRepeatControl = 60;
constexpr int32_t kShadeControl = 600;

constexpr uint32_t kBlinkTicks = 8;
constexpr size_t kTextRoom = 256; // kept in the buffers, so that a new title rarely allocates

} // namespace

CDeckDisplay::CDeckDisplay(CPlayerCore& core, CSkinForm& form, int deck)
    : m_core(core), m_form(form), m_deck(deck & 1)
{
    for (std::string* text : {&m_titleShown, &m_secondShown, &m_title, &m_second, &m_trackTitle})
        text->reserve(kTextRoom);
}

void CDeckDisplay::Refresh(bool force, uint32_t tick, bool showRemaining)
{
    const bool loading = m_core.Engine().Loading(m_deck);
    RefreshTime(force, tick, showRemaining, loading);
    const int level = m_core.Engine().MeterLevel(DeckMeter(m_deck));
    if (force || level != m_levelShown) {
        m_levelShown = level;
        if (auto* meter = dynamic_cast<CLevelMonitorControl*>(m_form.FindControl(kLevelControl + m_deck)))
            meter->SetLevel(level);
    }
    RefreshTexts(force, loading);
    RefreshShade(force);
}

void CDeckDisplay::RefreshTime(bool force, uint32_t tick, bool showRemaining, bool loading)
{
    const CDeckPlayer& player = m_core.Engine().Deck(m_deck);
    char text[DisplayText::kTimeBytes];
    if (loading) {
        std::strcpy(text, DisplayText::kNoTime);
    } else if (showRemaining) {
        const double remaining = player.Loaded() ? player.RemainingSeconds() : 0.0;
        // Towards the change-over the remaining time blinks, while the deck plays.
        const double warnSeconds = std::max(static_cast<double>(m_core.Automix().FadeTime()), 0.01);
        const bool blinkOff = player.Playing() && remaining < warnSeconds && (tick / kBlinkTicks) % 2 == 1;
        if (blinkOff)
            std::strcpy(text, DisplayText::kNoTime);
        else
            DisplayText::DeckTime(remaining, true, text);
    } else {
        DisplayText::DeckTime(player.Loaded() ? player.PositionMs(false) / 1000.0 : 0.0, false, text);
    }
    if (!force && std::strcmp(text, m_timeShown) == 0)
        return;
    std::memcpy(m_timeShown, text, sizeof text);
    if (auto* control = dynamic_cast<CTextControl*>(m_form.FindControl(kTimeControl + m_deck))) {
        // A short text: the control's string keeps it without allocating.
        std::string shown(m_timeShown);
        control->SetText(shown);
    }
}

void CDeckDisplay::RefreshTexts(bool force, bool loading)
{
    CAudioEngine& engine = m_core.Engine();
    const char* deckName = m_deck == 0 ? "Deck A" : "Deck B";
    if (loading) {
        m_title.assign("loading...");
        m_second.assign(deckName);
    } else if (!engine.Deck(m_deck).Loaded()) {
        m_title.assign("- empty -");
        m_second.assign(deckName);
    } else {
        // The track's own title is read once per load: reading it takes the deck's load lock.
        const uint64_t load =
            (uint64_t{engine.LoadsCompleted()} << 32) | static_cast<uint32_t>(engine.LoadedEntry(m_deck));
        if (load != m_titleLoad) {
            m_titleLoad = load;
            m_trackTitle.assign(engine.Deck(m_deck).Title());
        }
        const TrackEntry* entry = m_core.List().EntryById(engine.LoadedEntry(m_deck));
        m_title.clear();
        if (m_core.PlaybackModeValue() == CPlayerCore::kAutomix && m_core.Automix().CurrentDeck() != m_deck &&
            !engine.Deck(m_deck).Playing())
            m_title.append("[next] ");
        const std::string& title = !m_trackTitle.empty() ? m_trackTitle
                                   : entry != nullptr    ? entry->title
                                                         : m_trackTitle;
        m_title.append(title.empty() ? "no titel" : title);
        if (entry != nullptr)
            m_second.assign(entry->artist);
        else
            m_second.assign("...");
    }
    if (force || m_title != m_titleShown) {
        m_titleShown.assign(m_title);
        ++m_titleSends;
        if (auto* control = dynamic_cast<CTextControl*>(m_form.FindControl(kTitleControl + m_deck)))
            control->SetText(m_titleShown);
    }
    if (force || m_second != m_secondShown) {
        m_secondShown.assign(m_second);
        if (auto* control = dynamic_cast<CTextControl*>(m_form.FindControl(kSecondLineControl + m_deck)))
            control->SetText(m_secondShown);
    }
}

void CDeckDisplay::RefreshShade(bool force)
{
    const bool shaded = !m_core.MixMonitor().Audible(m_deck);
    if (!force && m_shadeKnown && shaded == m_shaded)
        return;
    m_shaded = shaded;
    m_shadeKnown = true;
    if (auto* shade = dynamic_cast<CShadeArea*>(m_form.FindControl(kShadeControl + m_deck)))
        shade->SetActive(shaded);
    for (const int32_t id :
         {kShadeControl, kRepeatControl, kTitleControl, kSecondLineControl, kLevelControl, kTimeControl})
        if (CSkinControl* control = m_form.FindControl(id + m_deck))
            control->Invalidate();
}
