#include "TimeLinePanel.h"

#include "AudioEngine.h"
#include "MainDialog.h"
#include "PanelStack.h"
#include "PlayerApp.h"
#include "SkinEvent.h"
#include "SkinForm.h"
#include "SkinWindow.h"
#include "StringIds.h"
#include "StringTable.h"
#include "SwitchControl.h"
#include "TextControl.h"

#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QStyleHints>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Per channel a + (b - a) * f, for colours worked out here rather than picked by eye.
constexpr uint32_t Mix(uint32_t a, uint32_t b, float f)
{
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const auto ca = static_cast<float>((a >> shift) & 0xFFu);
        const auto cb = static_cast<float>((b >> shift) & 0xFFu);
        out |= static_cast<uint32_t>(ca + (cb - ca) * f + 0.5f) << shift;
    }
    return out;
}

// The decks' colours of the skin (their plates, lamps and LCDs), and its panel grey, which the
// light fonts of the boxes are smoothed against.
constexpr uint32_t kAmber = 0xFFFFA53Au;
constexpr uint32_t kCyan = 0xFF3CC8E6u;
constexpr uint32_t kPanel = 0xFF1D2127u;
constexpr uint32_t kWell = 0xFF0C0E11u;

constexpr MixTrackColours DeckColours(uint32_t accent)
{
    MixTrackColours c;
    c.box = Mix(kPanel, 0xFF2A3038u, 0.5f);
    // Dark enough for the light text to keep its contrast, tinted enough to find at a glance.
    c.playingBox = Mix(kPanel, accent, 0.3f);
    c.edge = Mix(kPanel, accent, 0.55f);
    c.playingEdge = accent;
    c.mark = 0xFFF4F7FAu;
    c.separator = kWell;
    // Neither deck's colour, so that it reads over the boxes of both.
    c.positionLine = 0xFFFF4A3Du;
    return c;
}

constexpr std::array<MixTrackColours, 2> kDeckColours = {DeckColours(kAmber), DeckColours(kCyan)};

// The Time Line's list commands of both menus, shown at their button.
constexpr int32_t kButtonMenuAdd = 205;
constexpr int32_t kButtonMenuDelete = 206;

// FNV-1a, over whatever the boxes are built from.
class CSignature {
public:
    void Add(int64_t value)
    {
        for (int i = 0; i < 8; ++i)
            Mix(static_cast<unsigned char>(value >> (8 * i)));
    }
    void Add(const std::string& text)
    {
        Add(static_cast<int64_t>(text.size()));
        for (const char c : text)
            Mix(static_cast<unsigned char>(c));
    }
    uint64_t Value() const { return m_value; }

private:
    void Mix(unsigned char byte) { m_value = (m_value ^ byte) * 0x100000001b3ull; }
    uint64_t m_value = 0xcbf29ce484222325ull;
};

// Copies at most characters UTF-8 characters of text after the used bytes of out, never cutting
// a character in two; out stays zero-terminated.
template <size_t N> void AppendCharacters(char (&out)[N], const std::string& text, int characters)
{
    size_t at = std::strlen(out);
    int seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool starts = (byte & 0xC0u) != 0x80u;
        if (starts) {
            // The whole character must fit, or none of it is copied.
            size_t length = 1;
            while (i + length < text.size() &&
                   (static_cast<unsigned char>(text[i + length]) & 0xC0u) == 0x80u)
                ++length;
            if (seen == characters || at + length >= N)
                break;
            ++seen;
        }
        out[at++] = text[i];
    }
    out[at] = '\0';
}

} // namespace

CTimeLinePanel::CTimeLinePanel(CPlayerApp& app, CMainDialog& window, CSkinForm& form)
    : m_app(app), m_window(window), m_form(form)
{
    m_boxes.reserve(CTimeLine::kMaxItems);
    for (size_t i = 0; i < m_form.ControlCount(); ++i)
        m_form.ControlAt(i)->AddListener(this);
    for (int deck = 0; deck < 2; ++deck) {
        if (CMixTrackView* view = View(deck))
            view->SetColours(kDeckColours[static_cast<size_t>(deck)]);
    }
    Refresh(true);
}

CTimeLinePanel::~CTimeLinePanel()
{
    for (size_t i = 0; i < m_form.ControlCount(); ++i)
        m_form.ControlAt(i)->RemoveListener(this);
}

CMixTrackView* CTimeLinePanel::View(int deck) const
{
    return dynamic_cast<CMixTrackView*>(m_form.FindControl(kViewA + (deck & 1)));
}

// ---- The display ------------------------------------------------------------------------------

void CTimeLinePanel::Refresh(bool force)
{
    RefreshButtons(force);
    const uint64_t signature = Signature();
    if (force || signature != m_signature) {
        m_signature = signature;
        RebuildBoxes();
    }
    RefreshPosition(force);
    RefreshMixTime(force);
}

void CTimeLinePanel::RefreshButtons(bool force)
{
    const int mode = m_app.Core().PlaybackModeValue();
    if ((force || mode != m_modeShown) && (mode == CPlayerCore::kAutomix || mode == CPlayerCore::kDjMix)) {
        m_modeShown = mode;
        // A mix plays the tracks it recorded: its list is not edited under it.
        for (const int32_t id : {kAdd, kDelete})
            m_form.SetControlEnabled(id, mode == CPlayerCore::kAutomix);
    }
    const int follow = m_follow ? 1 : 0;
    if (force || follow != m_followShown) {
        m_followShown = follow;
        if (auto* button = dynamic_cast<CSwitchControl*>(m_form.FindControl(kFollow)))
            button->SetState(follow);
    }
}

uint64_t CTimeLinePanel::Signature() const
{
    CPlayerCore& core = m_app.Core();
    const CTimeLine& timeLine = core.TimeLine();
    const CPlaylist& list = core.List();
    CSignature signature;
    signature.Add(core.PlaybackModeValue());
    for (int deck = 0; deck < 2; ++deck)
        signature.Add(core.Engine().Deck(deck).Playing() ? core.Engine().LoadedEntry(deck) : -1);
    signature.Add(timeLine.Count());
    for (int i = 0; i < timeLine.Count(); ++i) {
        const TimeLineItem* item = timeLine.Item(i);
        signature.Add(item->deck);
        signature.Add(item->track);
        signature.Add(item->start);
        signature.Add(item->length);
        signature.Add(item->displayLength);
    }
    signature.Add(list.Count());
    for (int i = 0; i < list.Count(); ++i) {
        const TrackEntry& entry = list.Entry(i);
        signature.Add(entry.id);
        signature.Add(entry.selected ? 1 : 0);
        signature.Add(entry.title);
        signature.Add(entry.artist);
    }
    return signature.Value();
}

void CTimeLinePanel::RebuildBoxes()
{
    CPlayerCore& core = m_app.Core();
    const CTimeLine& timeLine = core.TimeLine();
    CPlaylist& list = core.List();
    for (int deck = 0; deck < 2; ++deck)
        m_playing[static_cast<size_t>(deck)] =
            core.Engine().Deck(deck).Playing() ? core.Engine().LoadedEntry(deck) : -1;
    const bool numbered = core.PlaybackModeValue() == CPlayerCore::kAutomix;
    // Within the capacity reserved at construction: no allocation, and the views' pointer holds.
    m_boxes.resize(static_cast<size_t>(std::min(timeLine.Count(), CTimeLine::kMaxItems)));
    for (size_t i = 0; i < m_boxes.size(); ++i) {
        const TimeLineItem& item = *timeLine.Item(static_cast<int>(i));
        const TrackEntry* entry = list.EntryById(item.track);
        MixTrackBox& box = m_boxes[i];
        box.deckCode = static_cast<uint8_t>(item.deck & 1);
        box.y = item.start / kMsPerPixel;
        box.height = item.displayLength / kMsPerPixel;
        box.lengthMs = static_cast<uint32_t>(std::max(item.length, 0));
        box.selected = item.track == m_playing[static_cast<size_t>(item.deck & 1)] ? 1 : 0;
        box.marked = entry != nullptr && entry->selected ? 1 : 0;
        box.title[0] = '\0';
        box.artist[0] = '\0';
        if (numbered)
            std::snprintf(box.title, sizeof box.title, "%i. ", static_cast<int>(i) + 1);
        if (entry != nullptr) {
            AppendCharacters(box.title, entry->title, kTitleCharacters);
            AppendCharacters(box.artist, entry->artist, kArtistCharacters);
        }
    }
    for (int deck = 0; deck < 2; ++deck) {
        if (CMixTrackView* view = View(deck))
            view->SetTracks(m_boxes.data(), static_cast<int32_t>(m_boxes.size()), static_cast<uint8_t>(deck));
    }
    ++m_rebuilds;
}

void CTimeLinePanel::RefreshPosition(bool force)
{
    const auto line = static_cast<int32_t>(m_app.Core().TimeLine().Position() / kMsPerPixel);
    if (!force && line == m_lineShown)
        return;
    m_lineShown = line;
    for (int deck = 0; deck < 2; ++deck) {
        if (CMixTrackView* view = View(deck))
            view->SetPositionLine(line);
    }
    if (m_follow)
        ScrollBy(line - kFollowOffset - m_scroll);
}

void CTimeLinePanel::RefreshMixTime(bool force)
{
    char text[DisplayText::kTimeBytes];
    DisplayText::TimeLineMixTime(m_app.Core().TimeLine(), m_remaining, text);
    if (!force && std::strcmp(text, m_mixTimeShown) == 0)
        return;
    std::memcpy(m_mixTimeShown, text, sizeof text);
    if (auto* control = dynamic_cast<CTextControl*>(m_form.FindControl(kMixTime)))
        control->SetText(std::string(m_mixTimeShown));
}

void CTimeLinePanel::ScrollBy(int32_t pixels)
{
    m_scroll += pixels;
    for (int deck = 0; deck < 2; ++deck) {
        if (CMixTrackView* view = View(deck))
            view->SetScroll(m_scroll);
    }
}

void CTimeLinePanel::SetFollow(bool follow)
{
    m_follow = follow;
    if (follow)
        ScrollBy(m_lineShown - kFollowOffset - m_scroll);
    RefreshButtons(false);
}

// ---- Events -----------------------------------------------------------------------------------

void CTimeLinePanel::OnControlEvent(const CSkinEvent& event, int32_t controlId)
{
    using namespace SkinEventKind;
    if (controlId == kViewA || controlId == kViewA + 1) {
        if (event.kind == MixViewScroll) {
            ScrollBy(event.value);
            SetFollow(false);
        } else if (event.kind == MouseButton) {
            OnViewButton(event, controlId - kViewA);
        }
        return;
    }
    if (controlId == kMixTime) {
        // A text reports both halves of a click; the press counts.
        if (event.kind == TextClicked && event.source != nullptr && event.source->down) {
            m_remaining = !m_remaining;
            RefreshMixTime(false);
        }
        return;
    }
    const CSkinEvent* mouse = event.source;
    if (event.kind != SwitchChanged || mouse == nullptr || mouse->kind != MouseButton || !mouse->down)
        return;
    const bool automix = m_app.Core().PlaybackModeValue() != CPlayerCore::kDjMix;
    switch (controlId) {
    case kAdd:
        if (automix)
            RunMenuCommand(PopUpMenu(kAdd, {kAddFiles, kAddDirectory}));
        break;
    case kDelete:
        if (automix)
            RunMenuCommand(PopUpMenu(kDelete, {kDeleteSelected, kClearAll}));
        break;
    case kLoad:
        // The list commands act on the list the playlist window shows: the Time Line's, here.
        m_window.SetCurrentCase(-1);
        m_window.RunLoadCommand(CMainDialog::kLoadListOrMix);
        break;
    case kSave:
        m_window.SetCurrentCase(-1);
        m_window.SaveCurrentList();
        break;
    case kOrderShuffle:
    case kOrderPlaylist:
        TransferShownList(controlId == kOrderShuffle);
        break;
    case kScrollUp:
    case kScrollDown:
        ScrollBy(controlId == kScrollUp ? -kScrollStep : kScrollStep);
        SetFollow(false);
        break;
    case kFollow:
        SetFollow(!m_follow);
        break;
    default:
        break;
    }
    Refresh(false);
}

void CTimeLinePanel::OnViewButton(const CSkinEvent& event, int deck)
{
    const CMixTrackView* view = View(deck);
    if (view == nullptr || !(event.down || event.doubleClick))
        return;
    CPlayerCore& core = m_app.Core();
    const int item = view->TrackAt(event.x, event.y, true);
    // The window passes the second press of a double click on as a plain press: a press on the
    // box pressed last, within the desktop's double-click time, is the double click.
    const auto now = std::chrono::steady_clock::now();
    const bool again =
        item >= 0 && item == m_lastPressItem &&
        now - m_lastPressTime <=
            std::chrono::milliseconds(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    m_lastPressItem = again ? -1 : item;
    m_lastPressTime = now;
    if (event.doubleClick || again) {
        if (item >= 0)
            core.Automix().JumpTo(item);
        return;
    }
    CPlaylist& list = core.List();
    const bool control = (event.keys & SkinKeys::Control) != 0;
    const bool shift = (event.keys & SkinKeys::Shift) != 0;
    const TimeLineItem* clicked = core.TimeLine().Item(item);
    const int index = clicked != nullptr ? list.IndexOfId(clicked->track) : -1;
    if (index < 0) {
        if (!control && !shift)
            list.ClearSelection();
    } else if (control) {
        list.SetSelected(index, !list.Entry(index).selected);
    } else if (shift) {
        int first = item;
        for (int i = 0; i < core.TimeLine().Count(); ++i) {
            const TrackEntry* entry = list.EntryById(core.TimeLine().Item(i)->track);
            if (entry != nullptr && entry->selected) {
                first = i;
                break;
            }
        }
        MarkRange(first, item);
    } else {
        list.ClearSelection();
        list.SetSelected(index, !list.Entry(index).selected);
    }
    Refresh(true);
}

void CTimeLinePanel::MarkRange(int fromItem, int toItem)
{
    CPlayerCore& core = m_app.Core();
    CPlaylist& list = core.List();
    list.ClearSelection();
    for (int i = std::min(fromItem, toItem); i <= std::max(fromItem, toItem); ++i) {
        if (const TimeLineItem* item = core.TimeLine().Item(i))
            list.SetSelected(list.IndexOfId(item->track), true);
    }
}

int32_t CTimeLinePanel::PopUpMenu(int32_t buttonId, std::initializer_list<int32_t> commands)
{
    CSkinWindow* window = m_window.Window();
    const CSkinControl* button = m_form.FindControl(buttonId);
    if (window == nullptr || button == nullptr || window->GetStack() == nullptr)
        return 0;
    QMenu menu(window);
    menu.setObjectName(QString::number(buttonId == kAdd ? kButtonMenuAdd : kButtonMenuDelete));
    for (const int32_t command : commands) {
        QAction* action = menu.addAction(QString::fromUtf8(CStringTable::Program().Get(command)));
        action->setData(command);
        action->setObjectName(QString::number(command));
    }
    // The action comes from the menu's signal: exec returns none for an action triggered other
    // than by a click in the menu (by an accessibility tool, or a test).
    int32_t chosen = 0;
    QObject::connect(&menu, &QMenu::triggered,
                     [&chosen](const QAction* action) { chosen = action->data().toInt(); });
    const SkinRect r = window->GetStack()->PanelRectToWindow(&m_form, button->GetRect());
    m_window.RunModal([&] { menu.exec(window->mapToGlobal(QPoint(r.left, r.bottom))); });
    return chosen;
}

void CTimeLinePanel::RunMenuCommand(int32_t command)
{
    switch (command) {
    case kAddFiles:
    case kAddDirectory:
        m_window.SetCurrentCase(-1);
        m_window.RunLoadCommand(command == kAddFiles ? CMainDialog::kAddFiles : CMainDialog::kAddDirectory);
        break;
    case kDeleteSelected:
        DeleteSelected();
        break;
    case kClearAll:
        ClearAll();
        break;
    default:
        return;
    }
    Refresh(true);
}

// ---- List commands ----------------------------------------------------------------------------

void CTimeLinePanel::DeleteSelected()
{
    CPlayerCore& core = m_app.Core();
    CPlaylist& list = core.List();
    bool refused = false;
    m_app.SetBusy(true);
    // From the first; an entry the mix plays stops the delete there.
    for (int i = list.FirstSelected(); i >= 0; i = list.NextSelected(i - 1)) {
        if (!core.RemoveFromList(i, false)) {
            refused = true;
            break;
        }
    }
    list.ClearSelection();
    m_app.SetBusy(false);
    if (refused) {
        m_window.RunModal([&] {
            QMessageBox::information(
                m_window.Window(), QStringLiteral("Quandel Player"),
                QString::fromUtf8(CStringTable::Program().Get(StringId::TracksUsedInMix)));
        });
    }
}

void CTimeLinePanel::ClearAll()
{
    CPlayerCore& core = m_app.Core();
    m_app.SetBusy(true);
    core.Mix().Clear();
    core.List().Unlock();
    if (core.PlaybackModeValue() == CPlayerCore::kDjMix)
        core.SetPlaybackMode(CPlayerCore::kAutomix);
    core.ClearList();
    m_app.SetBusy(false);
}

void CTimeLinePanel::TransferShownList(bool shuffled)
{
    CPlayerCore& core = m_app.Core();
    CPlaylist& list = core.List();
    const int shown = m_window.CurrentCase();
    m_app.SetBusy(true);
    if (shown >= 0) {
        // A case's tracks replace the Time Line's, and the mix that went with them.
        const CPlaylist& source = core.Case(shown);
        core.Mix().Clear();
        list.Unlock();
        list.Clear();
        list.SetTitle(source.Title());
        for (int i = 0; i < source.Count(); ++i)
            list.AddCopy(source.Entry(i));
    }
    // Automix builds the Time Line from the list in its order.
    core.SetPlaybackMode(CPlayerCore::kAutomix);
    if (shuffled) {
        CTimeLine& timeLine = core.TimeLine();
        timeLine.Shuffle([] { return std::rand() % 32768; });
        // The list takes the Time Line's order, so that the playlist window shows what plays and
        // a later rebuild of the Time Line keeps it.
        for (int i = 0; i < timeLine.Count(); ++i)
            list.Move(list.IndexOfId(timeLine.Item(i)->track), i);
    }
    core.Publish(true);
    m_app.SetBusy(false);
    Refresh(true);
}
