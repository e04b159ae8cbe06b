#include "MainDialog.h"

#include "AudioEngine.h"
#include "CaseTabs.h"
#include "DialogText.h"
#include "DisplayText.h"
#include "LevelMonitorControl.h"
#include "ListAnalysis.h"
#include "ListCommands.h"
#include "ListImport.h"
#include "M3uPlaylist.h"
#include "MixInfoDialog.h"
#include "MixerPanel.h"
#include "PanelStack.h"
#include "PlayerApp.h"
#include "PlaylistPanel.h"
#include "PopupMenu.h"
#include "SelectorControl.h"
#include "SettingsStore.h"
#include "SkinControl.h"
#include "SkinEvent.h"
#include "SkinForm.h"
#include "SkinLearn.h"
#include "SkinWindow.h"
#include "StringIds.h"
#include "StringTable.h"
#include "SwitchControl.h"
#include "TextControl.h"
#include "TimeLinePanel.h"
#include "XmlPlaylist.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

// The form resource of each panel, in stacking order: the deck panel, the strip shown under it
// while the mixer is closed, the mixer, the Time Line, and the Cases panel's tabs and list.
constexpr std::array<int32_t, 6> kPanelForms = {6, 10, 1, 7, 4, 3};

// Controls of the deck panel.
namespace Deck {
constexpr int32_t kCasesButton = 2;
constexpr int32_t kMixerButton = 4;
constexpr int32_t kRepeat = 5;
constexpr int32_t kModeLamp = 6;
constexpr int32_t kTimeA = 10;
constexpr int32_t kTimeB = 11;
constexpr int32_t kTitleLine = 17;
constexpr int32_t kRunLight = 18;
constexpr int32_t kClose = 21;
constexpr int32_t kMasterLevel = 22;
constexpr int32_t kMinimise = 23;
constexpr int32_t kMixTime = 24;
constexpr int32_t kAllPanels = 29;
constexpr int32_t kRepeatSingleA = 60;
constexpr int32_t kRepeatSingleB = 61;
constexpr int32_t kMasterVolume = 204;
constexpr int32_t kPlay = 800;
constexpr int32_t kSetup = 802;
constexpr int32_t kLoadMenu = 803;
constexpr int32_t kTimeLineButton = 804;
constexpr int32_t kSeekForward = 1002;
constexpr int32_t kSeekBackward = 1004;
constexpr int32_t kPrevious = 1005;
constexpr int32_t kNext = 1006;
constexpr int32_t kLimiterLamp = 3020;
constexpr int32_t kAbout = 9002;
constexpr int32_t kMakerLinkA = 9003;
constexpr int32_t kMakerLinkB = 9004;
constexpr int32_t kTitleStripHeight = 19;
} // namespace Deck
constexpr int32_t kSplitterControl = 13; // of the Cases panel

constexpr int32_t kMasterVolumeReset = 127; // a double click on the master fader

// Tool tips as the window shows them: after the pointer rested this long, sooner while one is
// shown, and for a minute.
constexpr int kToolTipDelayMs = 300;
constexpr int kToolTipReshowMs = 100;
constexpr int kToolTipShowMs = 60000;

QString Text(int32_t id)
{
    return QString::fromUtf8(CStringTable::Program().Get(id));
}

// A file-dialog filter of the string table ("description\npattern\n...") as Qt writes it.
std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

} // namespace

CMainDialog::CMainDialog(CPlayerApp& app, CPictureManager& pictures) : m_app(app), m_pictures(pictures)
{
    for (std::string* text : {&m_titleLine, &m_titleShown, &m_mixTitle})
        text->reserve(256);
    m_toolTipTimer = new QTimer(this);
    m_toolTipTimer->setSingleShot(true);
    connect(m_toolTipTimer, &QTimer::timeout, this, [this] {
        if (m_window == nullptr || !m_window->underMouse() || Modal())
            return;
        QHelpEvent help(QEvent::ToolTip, m_toolTipPoint, m_window->mapToGlobal(m_toolTipPoint));
        QCoreApplication::sendEvent(m_window.get(), &help);
    });
    m_keyReleaseTimer = new QTimer(this);
    m_keyReleaseTimer->setSingleShot(true);
    connect(m_keyReleaseTimer, &QTimer::timeout, this, [this] { FlushKeyRelease(); });
}

CMainDialog::~CMainDialog()
{
    CGlobalTimer::RemoveClient(this);
    m_import.reset();
    m_playlistPanel.reset();
    m_mixerLearn.reset();
    m_deckLearn.reset();
    m_mixerPanel.reset();
    m_timeLinePanel.reset();
    m_caseTabs.reset();
    if (m_window != nullptr) {
        m_window->removeEventFilter(this);
        m_window->Attach(nullptr);
    }
    if (m_stack != nullptr)
        m_stack->Stop();
    for (const int panel : {kDeck, kCases})
        if (panel < static_cast<int>(m_forms.size()))
            for (size_t i = 0; i < m_forms[static_cast<size_t>(panel)]->ControlCount(); ++i)
                m_forms[static_cast<size_t>(panel)]->ControlAt(i)->RemoveListener(this);
}

void CMainDialog::ReadPanelSettings(const CSettingsStore& store)
{
    store.ReadPanels(m_panels);
}

bool CMainDialog::Create(int x, int y)
{
    m_window = std::make_unique<CSkinWindow>();
    m_window->setWindowTitle(QStringLiteral("Quandel Player"));
    // The skin draws its own title strip with the window's buttons.
    m_window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    m_window->setAcceptDrops(true);
    m_window->setFocusPolicy(Qt::StrongFocus);
    m_window->installEventFilter(this);
    m_stack = std::make_unique<CPanelStack>(*m_window);
    for (const int32_t formId : kPanelForms) {
        auto form = std::make_unique<CSkinForm>(m_pictures);
        if (form->LoadResource(formId) == 0)
            return false;
        m_forms.push_back(std::move(form));
    }
    // The deck panel's controls and the Cases panel's resize bar are this window's; the mixer
    // listens to its own, and the playlist window to the rest of the Cases panel's.
    for (size_t i = 0; i < m_forms[kDeck]->ControlCount(); ++i)
        m_forms[kDeck]->ControlAt(i)->AddListener(this);
    if (CSkinControl* splitter = m_forms[kCases]->FindControl(kSplitterControl))
        splitter->AddListener(this);
    for (size_t panel = 0; panel < m_forms.size(); ++panel)
        m_stack->AddPanel(m_forms[panel].get(), panel == kDeck);
    for (int deck = 0; deck < 2; ++deck)
        m_decks[static_cast<size_t>(deck)] =
            std::make_unique<CDeckDisplay>(m_app.Core(), *m_forms[kDeck], deck);
    m_mixerPanel = std::make_unique<CMixerPanel>(m_app.Core(), *m_forms[kMixer]);
    const auto learning = [this] { return m_app.Learning(); };
    const auto learn = [this](int32_t id, int deck) { m_app.LearnControl(id, deck); };
    m_deckLearn = std::make_unique<CSkinLearn>(*m_forms[kDeck], m_app.Core().Controls(),
                                               CSkinLearn::DeckPanelTargets(), learning, learn);
    m_mixerLearn = std::make_unique<CSkinLearn>(*m_forms[kMixer], m_app.Core().Controls(),
                                                CSkinLearn::MixerPanelTargets(), learning, learn);
    m_mixerPanel->SetLearnFilter([this](int32_t id) { return m_mixerLearn->Intercepts(id); });
    m_timeLinePanel = std::make_unique<CTimeLinePanel>(m_app, *this, *m_forms[kTimeLine]);
    m_caseTabs = std::make_unique<CCaseTabs>(m_app.Core(), *m_forms[kTabs],
                                             [this](int caseIndex) { SetCurrentCase(caseIndex); });
    m_playlistPanel = std::make_unique<CPlaylistPanel>(m_app, *this, *m_forms[kCases], *m_window);
    m_listCommand = [this](KeyCommand command) {
        if (command == KeyCommand::Find)
            m_playlistPanel->Find();
        else if (command == KeyCommand::FindNext)
            m_playlistPanel->FindNext();
        else if (command == KeyCommand::EditSelected)
            m_playlistPanel->Edit();
    };
    m_created = true;
    ShowCurrentList();
    ShowPanel(kMixer, m_panels.mixerOpen != 0);
    ShowPanel(kTimeLine, m_panels.mixViewOpen != 0);
    ShowPanel(kCases, m_panels.playListOpen != 0);
    m_stack->ResizePanel(m_forms[kCases].get(), 0, std::max(m_panels.playListHeight, kMinimumCasesHeight));
    m_window->Attach(m_stack.get());
    m_stack->Start();
    CGlobalTimer::AddClient(this);
    RefreshDisplay(true);
    m_stack->PaintWindow();
    // The client area's corner, as RestoredPosition gives it back: a frame the window manager
    // adds never makes the window creep from run to run.
    if (x != -1 && y != -1)
        m_window->setGeometry(QRect(QPoint(x, y), m_window->size()));
    m_window->show();
    m_window->activateWindow();
    m_window->setFocus();
    return true;
}

CSkinForm* CMainDialog::Form(int panel) const
{
    return panel >= 0 && static_cast<size_t>(panel) < m_forms.size()
               ? m_forms[static_cast<size_t>(panel)].get()
               : nullptr;
}

void CMainDialog::ShowPanel(int panel, bool open)
{
    int32_t button = 0;
    switch (panel) {
    case kMixer:
        m_panels.mixerOpen = open ? 1 : 0;
        button = Deck::kMixerButton;
        break;
    case kTimeLine:
        m_panels.mixViewOpen = open ? 1 : 0;
        button = Deck::kTimeLineButton;
        break;
    case kCases:
        m_panels.playListOpen = open ? 1 : 0;
        button = Deck::kCasesButton;
        // The Time Line's list is the one the commands act on while no case is shown.
        if (!open) {
            m_currentCase = -1;
            ShowCurrentList();
        }
        break;
    default:
        return;
    }
    if (!m_created)
        return;
    m_stack->ShowPanel(m_forms[static_cast<size_t>(panel)].get(), open);
    if (panel == kMixer)
        m_stack->ShowPanel(m_forms[kBorder].get(), !open);
    if (panel == kCases)
        m_stack->ShowPanel(m_forms[kTabs].get(), open);
    if (auto* lamp = dynamic_cast<CSwitchControl*>(m_forms[kDeck]->FindControl(button)))
        lamp->SetState(open ? 1 : 0);
    m_layoutPending = true;
    RepositionToolTips();
}

bool CMainDialog::IsPanelOpen(int panel) const
{
    const CSkinForm* form = Form(panel);
    return form != nullptr && m_stack != nullptr && m_stack->IsPanelVisible(form);
}

QPoint CMainDialog::RestoredPosition() const
{
    if (m_window == nullptr)
        return {};
    if (m_window->isFullScreen())
        return m_normalPosition;
    // A minimised or maximised window reports its restored rectangle here; a normal one its
    // own. Both are the client area, as the window is placed again at start-up.
    if (m_window->isMinimized() || m_window->isMaximized())
        return m_window->normalGeometry().topLeft();
    return m_window->geometry().topLeft();
}

CPlaylist& CMainDialog::CurrentList()
{
    return m_currentCase >= 0 ? m_app.Core().Case(m_currentCase) : m_app.Core().List();
}

void CMainDialog::SetCurrentCase(int caseIndex)
{
    m_currentCase = caseIndex >= 0 && caseIndex < CPlayerCore::kCases ? caseIndex : -1;
    ShowCurrentList();
}

void CMainDialog::ShowCurrentList()
{
    if (m_playlistPanel != nullptr)
        m_playlistPanel->ShowList(&CurrentList(), m_currentCase < 0);
}

// ---- The display --------------------------------------------------------------------------

void CMainDialog::RefreshDisplay(bool force)
{
    if (!m_created)
        return;
    CPlayerCore& core = m_app.Core();
    m_app.PollCore();
    m_app.PollControllers();
    // The stack laid itself out when a panel changed; the displays are drawn afresh.
    if (m_layoutPending) {
        m_layoutPending = false;
        RepositionToolTips();
        force = true;
    }
    RefreshTransport(force);
    if (IsPanelOpen(kMixer))
        m_mixerPanel->Refresh(force);
    if (IsPanelOpen(kTimeLine))
        m_timeLinePanel->Refresh(force);
    if (IsPanelOpen(kTabs))
        m_caseTabs->Refresh(m_currentCase, force);
    if (IsPanelOpen(kCases))
        m_playlistPanel->Refresh(force);
    RefreshMixTime(force);
    for (auto& deck : m_decks)
        deck->Refresh(force, m_refreshes, m_deckRemaining);
    const int master = core.Engine().MeterLevel(Meter::Master);
    if (force || master != m_masterShown) {
        m_masterShown = master;
        if (auto* meter =
                dynamic_cast<CLevelMonitorControl*>(m_forms[kDeck]->FindControl(Deck::kMasterLevel)))
            meter->SetLevel(master);
    }
    const int limiter = core.Engine().LevelReading(Meter::Overload) <= 0.0f          ? 0
                        : core.Controls().GetValue(ControlId::MasterLimiter, 0) != 0 ? 2
                                                                                     : 1;
    if (force || limiter != m_limiterShown) {
        m_limiterShown = limiter;
        if (auto* lamp = dynamic_cast<CSwitchControl*>(m_forms[kDeck]->FindControl(Deck::kLimiterLamp)))
            lamp->SetState(limiter);
    }
    RefreshTitleLine(force);
    RefreshLamps(force);
    ++m_refreshes;
    if (++m_tick >= kHandoverTicks) {
        m_tick = 0;
        NotePlayTimes();
        m_app.PollHandover();
        m_app.PollCdDrive();
    }
    if (m_import != nullptr && m_import->Done())
        FinishImport();
    ShowMessages();
    m_app.PollOutput();
}

void CMainDialog::RefreshTransport(bool force)
{
    CControlTable& controls = m_app.Core().Controls();
    if (CControlFunction* run = controls.FindFunction(ControlId::RunStop);
        run != nullptr && (run->TakeChanged(0) || force)) {
        if (auto* play = dynamic_cast<CSwitchControl*>(m_forms[kDeck]->FindControl(Deck::kPlay)))
            play->SetState(run->Value(0));
    }
    if (CControlFunction* volume = controls.FindFunction(ControlId::MasterVolume);
        volume != nullptr && (volume->TakeChanged(0) || force)) {
        if (auto* fader = dynamic_cast<CSelectorControl*>(m_forms[kDeck]->FindControl(Deck::kMasterVolume)))
            fader->SetValue(volume->Value(0));
    }
}

void CMainDialog::RefreshMixTime(bool force)
{
    char text[DisplayText::kTimeBytes];
    DisplayText::TimeLineMixTime(m_app.Core().TimeLine(), m_mixRemaining, text);
    if (!force && std::strcmp(text, m_mixTimeShown) == 0)
        return;
    std::memcpy(m_mixTimeShown, text, sizeof text);
    if (auto* control = dynamic_cast<CTextControl*>(m_forms[kDeck]->FindControl(Deck::kMixTime)))
        control->SetText(std::string(m_mixTimeShown));
}

void CMainDialog::RefreshTitleLine(bool force)
{
    CPlayerCore& core = m_app.Core();
    if (m_dropHint != nullptr) {
        m_titleLine.assign(m_dropHint);
    } else if (m_app.Busy() || ImportRunning()) {
        m_titleLine.assign("please wait...");
    } else if (std::string progress =
                   m_app.Analysis() != nullptr ? m_app.Analysis()->ProgressText() : std::string();
               !progress.empty()) {
        m_titleLine = std::move(progress);
    } else if (core.Mix().TickCount() > 0) {
        core.Mix().CopyTitle(m_mixTitle);
        m_titleLine.assign(m_mixTitle);
    } else if (!core.List().Title().empty()) {
        m_titleLine.assign(core.List().Title());
    } else {
        m_titleLine.assign("...");
    }
    if (!force && m_titleLine == m_titleShown)
        return;
    m_titleShown.assign(m_titleLine);
    if (auto* control = dynamic_cast<CTextControl*>(m_forms[kDeck]->FindControl(Deck::kTitleLine)))
        control->SetText(m_titleShown);
}

void CMainDialog::RefreshLamps(bool force)
{
    CPlayerCore& core = m_app.Core();
    CSkinForm& form = *m_forms[kDeck];
    const int mode = core.PlaybackModeValue() == CPlayerCore::kDjMix ? 1 : 0;
    if (force || mode != m_modeShown) {
        m_modeShown = mode;
        if (auto* lamp = dynamic_cast<CSwitchControl*>(form.FindControl(Deck::kModeLamp)))
            lamp->SetState(mode);
    }
    const int repeat = core.Automix().RepeatSingle() ? 1 : core.Automix().RepeatAll() ? 2 : 0;
    if (force || repeat != m_repeatShown) {
        m_repeatShown = repeat;
        if (auto* button = dynamic_cast<CSwitchControl*>(form.FindControl(Deck::kRepeat)))
            button->SetState(repeat);
        if (auto* single = dynamic_cast<CSwitchControl*>(form.FindControl(Deck::kRepeatSingleA)))
            single->SetState(repeat == 1 ? 1 : 0);
        if (auto* single = dynamic_cast<CSwitchControl*>(form.FindControl(Deck::kRepeatSingleB)))
            single->SetState(repeat & 1);
    }
    const bool running = core.Controls().GetValue(ControlId::RunStop, 0) != 0;
    m_runCounter = running ? (m_runCounter + 1) % 32 : 0;
    if (auto* light = dynamic_cast<CSwitchControl*>(form.FindControl(Deck::kRunLight)); light != nullptr) {
        const int frame = m_runCounter / 4;
        if (force || light->GetState() != frame)
            light->SetState(frame);
    }
}

void CMainDialog::NotePlayTimes()
{
    CPlayerCore& core = m_app.Core();
    for (int deck = 0; deck < 2; ++deck) {
        const CDeckPlayer& player = core.Engine().Deck(deck);
        if (player.Loaded() && !core.Engine().Loading(deck))
            core.List().NotePlayTime(core.Engine().LoadedEntry(deck), player.LengthSeconds());
    }
}

void CMainDialog::ShowMessages()
{
    if (Modal())
        return;
    std::string message = m_app.Core().TakeMessage();
    if (message.empty())
        return;
    ++m_modal;
    QMessageBox::warning(m_window.get(), QStringLiteral("Quandel Player"), QString::fromStdString(message));
    --m_modal;
}

void CMainDialog::Tick()
{
    RefreshDisplay(false);
}

// ---- Tool tips ----------------------------------------------------------------------------

void CMainDialog::RepositionToolTips()
{
    if (!m_created)
        return;
    m_toolTips.SetActive(m_app.Settings().toolTips != 0);
    if (!m_toolTips.Active()) {
        QToolTip::hideText();
        return;
    }
    std::array<CSkinForm*, 6> forms{};
    for (size_t i = 0; i < forms.size() && i < m_forms.size(); ++i)
        forms[i] = m_forms[i].get();
    m_toolTips.Reposition(*m_stack, forms.data(), forms.size());
}

bool CMainDialog::ShowToolTip(QPoint windowPoint, QPoint globalPoint)
{
    const int row = m_toolTips.ToolAt(windowPoint.x(), windowPoint.y());
    if (row < 0) {
        QToolTip::hideText();
        return false;
    }
    const SkinRect& r = m_toolTips.ToolRect(static_cast<size_t>(row));
    QToolTip::showText(globalPoint, Text(CMainToolTips::Table()[static_cast<size_t>(row)].stringId),
                       m_window.get(), QRect(r.left, r.top, r.Width(), r.Height()), kToolTipShowMs);
    return true;
}

// ---- Skin control events ------------------------------------------------------------------

void CMainDialog::OnControlEvent(const CSkinEvent& event, int32_t controlId)
{
    if (controlId == kSplitterControl && event.kind != SkinEventKind::SwitchHover) {
        // Only the Cases panel's bar carries this id among the controls listened to, the deck
        // panel having none.
        OnSplitterEvent(event);
        return;
    }
    OnDeckPanelEvent(event, controlId);
}

void CMainDialog::OnSplitterEvent(const CSkinEvent& event)
{
    const CSkinEvent* mouse = event.kind == SkinEventKind::SwitchChanged ? event.source : &event;
    if (mouse == nullptr)
        return;
    const int32_t y = mouse->y + m_stack->PanelOffset(m_forms[kCases].get());
    if (mouse->kind == SkinEventKind::MouseButton && mouse->down) {
        m_splitterDragging = true;
        m_splitterStartY = y;
        m_splitterStartHeight = m_forms[kCases]->Height();
    } else if (mouse->kind == SkinEventKind::MouseButton) {
        m_splitterDragging = false;
    } else if (mouse->kind == SkinEventKind::MouseMove && m_splitterDragging) {
        const int32_t height = std::max(kMinimumCasesHeight, m_splitterStartHeight + y - m_splitterStartY);
        if (height != m_forms[kCases]->Height()) {
            m_stack->ResizePanel(m_forms[kCases].get(), 0, height);
            m_panels.playListHeight = height;
            m_layoutPending = true;
        }
    }
}

void CMainDialog::OnDeckPanelEvent(const CSkinEvent& event, int32_t controlId)
{
    if (m_deckLearn->Intercepts(controlId))
        return; // pointed at for learn mode (m_deckLearn names it)
    using namespace SkinEventKind;
    CPlayerCore& core = m_app.Core();
    const CSkinEvent* mouse = event.source;
    const bool press =
        event.kind == SwitchChanged && mouse != nullptr && mouse->kind == MouseButton && mouse->down;
    const bool release =
        event.kind == SwitchChanged && mouse != nullptr && mouse->kind == MouseButton && !mouse->down;
    const bool right = mouse != nullptr && mouse->rightButton;
    // A text reports both halves of a click; the press counts.
    const bool click = event.kind == TextClicked && mouse != nullptr && mouse->down;
    switch (controlId) {
    case Deck::kCasesButton:
        if (press)
            ShowPanel(kCases, !IsPanelOpen(kCases));
        break;
    case Deck::kMixerButton:
        if (press)
            ShowPanel(kMixer, !IsPanelOpen(kMixer));
        break;
    case Deck::kTimeLineButton:
        if (press)
            ShowPanel(kTimeLine, !IsPanelOpen(kTimeLine));
        break;
    case Deck::kAllPanels:
        if (press)
            TogglePanelsTogether();
        break;
    case Deck::kRepeat:
        if (press)
            ToggleRepeat();
        break;
    case Deck::kRepeatSingleA:
    case Deck::kRepeatSingleB:
        if (press && core.PlaybackModeValue() != CPlayerCore::kDjMix)
            core.Automix().SetRepeatSingle(!core.Automix().RepeatSingle());
        break;
    case Deck::kModeLamp:
        if (event.kind == SwitchChanged && core.PlaybackModeValue() == CPlayerCore::kDjMix)
            core.SetPlaybackMode(CPlayerCore::kAutomix);
        break;
    case Deck::kTimeA:
    case Deck::kTimeB:
        if (click)
            m_deckRemaining = !m_deckRemaining;
        break;
    case Deck::kMixTime:
        if (click)
            m_mixRemaining = !m_mixRemaining;
        break;
    case Deck::kTitleLine:
        if (click)
            EditListInfo();
        break;
    case Deck::kMasterVolume:
        if (event.kind == SelectorChanged) {
            int32_t value = std::clamp(event.value, 0, 255);
            if (mouse != nullptr && mouse->kind == MouseButton && mouse->doubleClick) {
                value = kMasterVolumeReset;
                if (auto* fader = dynamic_cast<CSelectorControl*>(m_forms[kDeck]->FindControl(controlId)))
                    fader->SetValue(value);
            }
            core.Controls().SetValue(ControlId::MasterVolume, 0, value, Marks::Apply);
        }
        break;
    case Deck::kPlay:
        // The release of a press that opened the load menu belongs to that menu: a list the menu
        // started keeps playing.
        if (release && m_playPressOpenedMenu) {
            m_playPressOpenedMenu = false;
            break;
        }
        if (press)
            m_playPressOpenedMenu = false;
        if (core.RunStop()) {
            if (release)
                core.SetRunStop(false);
        } else if (core.List().Count() > 0) {
            if (release)
                core.SetRunStop(true);
        } else if (press) {
            const CSkinControl* button = m_forms[kDeck]->FindControl(controlId);
            const SkinRect r = m_stack->PanelRectToWindow(m_forms[kDeck].get(), button->GetRect());
            m_playPressOpenedMenu = true;
            ShowLoadMenu(QPoint(r.left, r.bottom));
        }
        break;
    case Deck::kSetup:
        if (press) {
            ++m_modal;
            m_app.Setup();
            --m_modal;
            RepositionToolTips();
            RefreshDisplay(true);
        }
        break;
    case Deck::kLoadMenu:
        if (press)
            ShowLoadMenu(m_window->mapFromGlobal(QCursor::pos()));
        break;
    case Deck::kSeekForward:
        if (press)
            core.Automix().SeekForward(!right);
        break;
    case Deck::kSeekBackward:
        if (press)
            core.Automix().SeekBackward(!right);
        break;
    case Deck::kPrevious:
        if (press) {
            if (right)
                core.Automix().Home();
            else
                core.Automix().Previous();
        }
        break;
    case Deck::kNext:
        if (press) {
            if (right)
                core.Automix().End();
            else
                core.Automix().Next();
        }
        break;
    case Deck::kClose:
        if (event.kind == SwitchChanged)
            m_window->close();
        break;
    case Deck::kMinimise:
        if (event.kind == SwitchChanged)
            Minimise();
        break;
    case Deck::kAbout:
        if (press) {
            ++m_modal;
            m_app.About();
            --m_modal;
        }
        break;
    case Deck::kRunLight:
    case Deck::kMakerLinkA:
    case Deck::kMakerLinkB:
        if (press)
            QDesktopServices::openUrl(QUrl(Text(StringId::MakerWebAddress)));
        break;
    default:
        break;
    }
}

void CMainDialog::ToggleRepeat()
{
    CAutomix& automix = m_app.Core().Automix();
    if (automix.RepeatSingle())
        automix.SetRepeatSingle(false);
    else
        automix.SetRepeatAll(!automix.RepeatAll());
}

void CMainDialog::TogglePanelsTogether()
{
    const bool allOpen = IsPanelOpen(kMixer) && IsPanelOpen(kTimeLine) && IsPanelOpen(kCases);
    ShowPanel(kMixer, !allOpen);
    ShowPanel(kTimeLine, !allOpen);
    ShowPanel(kCases, !allOpen);
}

void CMainDialog::Minimise()
{
    if (m_window->isFullScreen())
        ToggleFullScreen();
    m_window->showMinimized();
}

void CMainDialog::ToggleFullScreen()
{
    if (m_window->isFullScreen()) {
        m_window->showNormal();
        m_window->move(m_normalPosition);
    } else {
        m_normalPosition = m_window->geometry().topLeft();
        m_window->showFullScreen();
    }
}

// ---- Menus and dialogs --------------------------------------------------------------------

void CMainDialog::ShowLoadMenu(QPoint windowPoint)
{
    if (Modal())
        return;
    QMenu menu(m_window.get());
    for (const int32_t command : {kPlayCd, kLoadListOrMix, kAddFiles, kAddDirectory, kPlayCase}) {
        QAction* action = menu.addAction(Text(command));
        action->setData(command);
        action->setObjectName(QString::number(command));
    }
    ++m_modal;
    QAction* chosen = ExecPopupMenu(menu, m_window->mapToGlobal(windowPoint));
    --m_modal;
    if (chosen != nullptr)
        RunLoadCommand(chosen->data().toInt());
}

void CMainDialog::RunLoadCommand(int32_t command)
{
    CPlayerCore& core = m_app.Core();
    switch (command) {
    case kPlayCd:
        ++m_modal;
        if (m_app.CheckCd(false, true))
            core.SetRunStop(true);
        --m_modal;
        break;
    case kLoadListOrMix:
        LoadListOrMix(true);
        break;
    case kAddFiles:
        AddFiles();
        break;
    case kAddDirectory:
        AddDirectory();
        break;
    case kPlayCase:
        PlayCase();
        break;
    default:
        break;
    }
}

std::string CMainDialog::ChooseFile(int32_t filterString, bool save, const std::string& name)
{
    QFileDialog dialog(m_window.get());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(FileDialogFilter(filterString));
    dialog.setDirectory(QString::fromStdString(m_app.Settings().defaultLoadDir));
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.selectFile(QString::fromStdString(name));
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    ++m_modal;
    const bool accepted = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    --m_modal;
    if (!accepted)
        return {};
    const std::string path = dialog.selectedFiles().front().toStdString();
    if (!save)
        m_app.Settings().defaultLoadDir = std::filesystem::path(path).parent_path().string();
    return path;
}

void CMainDialog::LoadListOrMix(bool play)
{
    const std::string path = ChooseFile(StringId::LoadFilter, false);
    if (path.empty())
        return;
    CPlayerCore& core = m_app.Core();
    const std::string extension = Lower(std::filesystem::path(path).extension().string());
    if (m_currentCase >= 0 && extension != ".qzx") {
        // A case holds a list without its mix.
        CPlaylist& list = CurrentList();
        if (extension == ".m3u")
            CM3uPlaylist::LoadM3u(list, path, false);
        else
            CXmlPlaylist::Load(list, path, false);
        return;
    }
    if (m_app.OpenDocument(path) && play)
        core.SetRunStop(true);
}

void CMainDialog::AddFiles()
{
    QFileDialog dialog(m_window.get());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(FileDialogFilter(StringId::AddFilesFilter));
    dialog.setDirectory(QString::fromStdString(m_app.Settings().defaultLoadDir));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setDefaultSuffix(QStringLiteral("mp3"));
    ++m_modal;
    const bool accepted = dialog.exec() == QDialog::Accepted;
    --m_modal;
    if (!accepted)
        return;
    std::vector<std::string> paths;
    for (const QString& file : dialog.selectedFiles())
        paths.push_back(file.toStdString());
    m_app.Settings().defaultLoadDir = dialog.directory().absolutePath().toStdString();
    m_app.SetBusy(true);
    CListCommands::AddFiles(CurrentList(), paths);
    m_app.SetBusy(false);
    if (m_currentCase < 0)
        m_app.Core().Publish();
}

void CMainDialog::AddDirectory()
{
    ++m_modal;
    const QString folder =
        QFileDialog::getExistingDirectory(m_window.get(), Text(StringId::AddFolderTitle),
                                          QString::fromStdString(m_app.Settings().defaultLoadDir),
                                          QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    --m_modal;
    if (!folder.isEmpty())
        StartImport({folder.toStdString()}, false, {});
}

void CMainDialog::PlayCase()
{
    CPlayerCore& core = m_app.Core();
    m_app.SetBusy(true);
    core.Mix().Clear();
    core.List().Unlock();
    if (m_currentCase >= 0) {
        const CPlaylist& source = core.Case(m_currentCase);
        core.List().Clear();
        core.List().SetTitle(source.Title());
        for (int i = 0; i < source.Count(); ++i)
            core.List().AddCopy(source.Entry(i));
        m_currentCase = -1;
    }
    core.SetPlaybackMode(CPlayerCore::kAutomix);
    core.Publish(true);
    m_app.SetBusy(false);
    core.SetRunStop(true);
}

void CMainDialog::SaveCurrentList()
{
    CPlaylist& list = CurrentList();
    const std::string path = ChooseFile(StringId::SaveFilter, true, list.Title());
    if (path.empty())
        return;
    bool saved = false;
    if (m_currentCase < 0) {
        saved = m_app.Core().SaveDocument(path);
    } else {
        switch (CListCommands::FormatForSave(path)) {
        case CListCommands::SaveFormat::MixFile:
            saved = m_app.Core().SaveDocument(path); // a mix goes with the Time Line's list
            break;
        case CListCommands::SaveFormat::XmlList:
            saved = CXmlPlaylist::Save(list, path);
            break;
        case CListCommands::SaveFormat::M3u:
            saved = CM3uPlaylist::WriteM3u(list, path);
            break;
        }
    }
    if (!saved) {
        ++m_modal;
        QMessageBox::critical(m_window.get(), QStringLiteral("Quandel Player"),
                              Text(StringId::PlaylistSaveError));
        --m_modal;
    }
}

void CMainDialog::RunModal(const std::function<void()>& show)
{
    ++m_modal;
    show();
    --m_modal;
}

void CMainDialog::EditListInfo()
{
    CPlayerCore& core = m_app.Core();
    std::string listTitle = core.List().Title();
    std::string mixTitle;
    core.Mix().CopyTitle(mixTitle);
    if (mixTitle == "untitled")
        mixTitle.clear();
    std::string comment = DisplayText::CommentForEditing(core.Mix().Comment());
    ++m_modal;
    const int accepted = EditMixInfo(m_window.get(), listTitle, mixTitle, comment);
    --m_modal;
    if (accepted != 1)
        return;
    core.List().SetTitle(listTitle);
    core.Mix().SetTitle(mixTitle);
    core.Mix().SetComment(DisplayText::CommentForStoring(comment));
    RefreshTitleLine(true);
}

// ---- Keys ---------------------------------------------------------------------------------

namespace {

Key KeyFromQt(int key, Qt::KeyboardModifiers modifiers)
{
    const bool keypad = (modifiers & Qt::KeypadModifier) != 0;
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return Key::Tab;
    case Qt::Key_Escape:
        return Key::Escape;
    case Qt::Key_Plus:
        return keypad ? Key::NumPlus : Key::Other;
    case Qt::Key_Minus:
        return keypad ? Key::NumMinus : Key::Other;
    case Qt::Key_F2:
        return Key::F2;
    case Qt::Key_F3:
        return Key::F3;
    case Qt::Key_F4:
        return Key::F4;
    case Qt::Key_F5:
        return Key::F5;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return Key::Enter;
    case Qt::Key_Left:
        return Key::Left;
    case Qt::Key_Right:
        return Key::Right;
    case Qt::Key_Up:
        return Key::Up;
    case Qt::Key_Down:
        return Key::Down;
    case Qt::Key_PageUp:
        return Key::PageUp;
    case Qt::Key_PageDown:
        return Key::PageDown;
    case Qt::Key_Home:
        return Key::Home;
    case Qt::Key_End:
        return Key::End;
    case Qt::Key_Delete:
        return Key::Delete;
    case Qt::Key_Space:
        return Key::Space;
    case Qt::Key_A:
        return Key::A;
    case Qt::Key_C:
        return Key::C;
    case Qt::Key_D:
        return Key::D;
    case Qt::Key_E:
        return Key::E;
    case Qt::Key_F:
        return Key::F;
    case Qt::Key_L:
        return Key::L;
    case Qt::Key_N:
        return Key::N;
    case Qt::Key_S:
        return Key::S;
    default:
        return Key::Other;
    }
}

} // namespace

bool CMainDialog::OnKey(int qtKey, Qt::KeyboardModifiers modifiers, bool down, bool repeat)
{
    const auto held = std::find(m_heldKeys.begin(), m_heldKeys.end(), qtKey);
    const bool releaseActs = qtKey == Qt::Key_Left || qtKey == Qt::Key_Right || qtKey == Qt::Key_Tab;
    if (down) {
        if (m_pendingReleaseKey == qtKey) {
            // The let-go that waited was the keyboard's repeat.
            m_pendingReleaseKey = 0;
            m_keyReleaseTimer->stop();
            repeat = true;
        } else {
            FlushKeyRelease();
        }
        if (std::find(m_heldKeys.begin(), m_heldKeys.end(), qtKey) != m_heldKeys.end())
            repeat = true;
        else
            m_heldKeys.push_back(qtKey);
        return TranslateKey(qtKey, modifiers, true, repeat);
    }
    // A let-go of the keyboard's repeat changes nothing; one of a key pressed before the window
    // had the keyboard has nothing to undo.
    if (repeat || held == m_heldKeys.end())
        return releaseActs;
    if (!releaseActs) {
        m_heldKeys.erase(held);
        return TranslateKey(qtKey, modifiers, false, false);
    }
    FlushKeyRelease();
    m_pendingReleaseKey = qtKey;
    m_pendingReleaseModifiers = modifiers;
    m_keyReleaseTimer->start(kKeyReleaseWaitMs);
    return true;
}

void CMainDialog::FlushKeyRelease()
{
    if (m_pendingReleaseKey == 0)
        return;
    const int key = m_pendingReleaseKey;
    m_pendingReleaseKey = 0;
    m_keyReleaseTimer->stop();
    m_heldKeys.erase(std::remove(m_heldKeys.begin(), m_heldKeys.end(), key), m_heldKeys.end());
    TranslateKey(key, m_pendingReleaseModifiers, false, false);
}

void CMainDialog::ReleaseHeldKeys()
{
    FlushKeyRelease();
    const std::vector<int> held = m_heldKeys;
    m_heldKeys.clear();
    for (const int key : held)
        TranslateKey(key, Qt::NoModifier, false, false);
}

bool CMainDialog::TranslateKey(int qtKey, Qt::KeyboardModifiers modifiers, bool down, bool repeat)
{
    if (qtKey == kFullScreenKey) {
        if (down && !repeat)
            ToggleFullScreen();
        return true;
    }
    KeyModifiers keyModifiers;
    keyModifiers.shift = (modifiers & Qt::ShiftModifier) != 0;
    keyModifiers.ctrl = (modifiers & Qt::ControlModifier) != 0;
    const KeyResult result = CKeyboardMap::Translate(m_app.Core().Controls(), KeyFromQt(qtKey, modifiers),
                                                     keyModifiers, down, repeat);
    if (result.manualHoldDelta != 0)
        m_app.Core().Automix().AddManualHold(result.manualHoldDelta);
    if (result.command != KeyCommand::None)
        RunKeyCommand(result);
    return result.handled;
}

void CMainDialog::RunControllerCommand(MidiCommand command)
{
    if (command == MidiCommand::Next || command == MidiCommand::Previous) {
        KeyResult result;
        result.handled = true;
        result.command = command == MidiCommand::Next ? KeyCommand::Next : KeyCommand::Previous;
        RunKeyCommand(result);
        return;
    }
    const CPlaylist& shown = CurrentList();
    const int selected = shown.FirstSelected();
    if (selected >= 0)
        m_app.Core().LoadFileToDeck(command == MidiCommand::LoadDeckB ? 1 : 0,
                                    shown.Entry(selected).location);
}

void CMainDialog::RunKeyCommand(const KeyResult& result)
{
    CAutomix& automix = m_app.Core().Automix();
    switch (result.command) {
    case KeyCommand::ToggleMixerPanel:
        ShowPanel(kMixer, !IsPanelOpen(kMixer));
        break;
    case KeyCommand::ToggleTimeLinePanel:
        ShowPanel(kTimeLine, !IsPanelOpen(kTimeLine));
        break;
    case KeyCommand::ToggleCasesPanel:
        ShowPanel(kCases, !IsPanelOpen(kCases));
        break;
    case KeyCommand::LoadMenu:
        ShowLoadMenu(m_window->mapFromGlobal(QCursor::pos()));
        break;
    case KeyCommand::AddToList:
        AddFiles();
        break;
    case KeyCommand::SeekBackward:
        automix.SeekBackward(result.coarse);
        break;
    case KeyCommand::SeekForward:
        automix.SeekForward(result.coarse);
        break;
    case KeyCommand::Previous:
        automix.Previous();
        break;
    case KeyCommand::Next:
        automix.Next();
        break;
    case KeyCommand::Home:
        automix.Home();
        break;
    case KeyCommand::End:
        automix.End();
        break;
    case KeyCommand::SelectAll:
        SelectAll();
        break;
    case KeyCommand::ClearList:
        ClearCurrentList();
        break;
    case KeyCommand::DeleteSelected:
        DeleteSelected();
        break;
    case KeyCommand::LoadListOrMix:
        LoadListOrMix(false);
        break;
    case KeyCommand::SaveList:
        SaveCurrentList();
        break;
    case KeyCommand::Find:
    case KeyCommand::FindNext:
    case KeyCommand::EditSelected:
        // The playlist window's own commands.
        if (m_listCommand)
            m_listCommand(result.command);
        break;
    case KeyCommand::None:
        break;
    }
}

void CMainDialog::SelectAll()
{
    CPlaylist& list = CurrentList();
    for (int i = 0; i < list.Count(); ++i) {
        list.Entry(i).selected = true;
        list.Entry(i).changed = true;
    }
    RefreshDisplay(true);
}

void CMainDialog::ClearCurrentList()
{
    CPlayerCore& core = m_app.Core();
    if (m_currentCase >= 0) {
        CurrentList().Clear();
        return;
    }
    m_app.SetBusy(true);
    core.Mix().Clear();
    core.List().Unlock();
    if (core.PlaybackModeValue() == CPlayerCore::kDjMix)
        core.SetPlaybackMode(CPlayerCore::kAutomix);
    core.ClearList();
    m_app.SetBusy(false);
}

void CMainDialog::DeleteSelected()
{
    // From the first selected entry on; the first entry a mix still uses ends the delete, so
    // the mix keeps every track it plays.
    CPlaylist& list = CurrentList();
    bool refused = false;
    m_app.SetBusy(true);
    for (int i = 0; i < list.Count();) {
        if (!list.Entry(i).selected) {
            ++i;
            continue;
        }
        const int removed =
            m_currentCase < 0 ? (m_app.Core().RemoveFromList(i, false) ? 1 : 0) : list.Remove(i, false);
        if (removed == 0) {
            refused = true;
            break;
        }
    }
    list.ClearSelection();
    m_app.SetBusy(false);
    if (refused && !Modal()) {
        ++m_modal;
        QMessageBox::information(m_window.get(), QStringLiteral("Quandel Player"),
                                 Text(StringId::TracksUsedInMix));
        --m_modal;
    }
}

// ---- Drops ----------------------------------------------------------------------------------

bool CMainDialog::ImportRunning() const
{
    return m_import != nullptr;
}

void CMainDialog::OpenDropped(const std::vector<std::string>& paths, std::vector<std::string> refused)
{
    const std::vector<CListCommands::DropAction> plan = CListCommands::PlanDrop(paths);
    std::vector<std::string> tracks; // folders and tracks, read on the worker
    bool replace = false;
    for (size_t i = 0; i < paths.size(); ++i) {
        switch (plan[i]) {
        case CListCommands::DropAction::AddFolder:
        case CListCommands::DropAction::AppendTrack:
            tracks.push_back(paths[i]);
            break;
        case CListCommands::DropAction::ReplaceWithTrack:
            replace = true;
            tracks.push_back(paths[i]);
            break;
        case CListCommands::DropAction::LoadM3u:
        case CListCommands::DropAction::LoadXmlList:
        case CListCommands::DropAction::LoadMixFile:
            if (m_currentCase >= 0 && plan[i] != CListCommands::DropAction::LoadMixFile) {
                if (plan[i] == CListCommands::DropAction::LoadM3u)
                    CM3uPlaylist::LoadM3u(CurrentList(), paths[i], false);
                else
                    CXmlPlaylist::Load(CurrentList(), paths[i], false);
            } else if (m_app.OpenDocument(paths[i])) {
                m_app.Core().SetRunStop(true);
            }
            break;
        }
    }
    if (!tracks.empty() || !refused.empty())
        StartImport(std::move(tracks), replace, std::move(refused));
}

void CMainDialog::StartImport(std::vector<std::string> items, bool replaceTimeLine,
                              std::vector<std::string> refused)
{
    if (m_import != nullptr)
        m_import->Cancel();
    m_import = std::make_unique<CListImport>();
    m_importReplaces = replaceTimeLine;
    m_importSelects = false;
    m_importRefused = std::move(refused);
    m_import->Start(std::move(items), m_app.Settings().playlistRecDirAdd != 0);
    RefreshTitleLine(false);
}

void CMainDialog::FinishImport()
{
    std::unique_ptr<CListImport> import = std::move(m_import);
    CListImport::Result result = import->TakeResult();
    for (const std::string& item : m_importRefused)
        result.report.Drop(item, "not a file on this computer");
    m_importRefused.clear();
    CPlayerCore& core = m_app.Core();
    const bool toTimeLine = m_importReplaces || m_currentCase < 0;
    CPlaylist& list = toTimeLine ? core.List() : CurrentList();
    m_app.SetBusy(true);
    if (m_importReplaces && !result.entries.empty()) {
        core.Mix().Clear();
        core.List().Unlock();
        core.List().Clear();
        core.SetPlaybackMode(CPlayerCore::kAutomix);
    }
    const int firstAdded = list.Count();
    const int added = CListImport::AppendTo(list, result.entries, result.report);
    if (added > 0 && m_app.Analysis() != nullptr)
        m_app.Analysis()->Queue(list, firstAdded, added, false);
    if (m_importSelects && added > 0 && m_playlistPanel != nullptr && m_playlistPanel->ShownList() == &list)
        m_playlistPanel->SelectAdded(firstAdded);
    m_importSelects = false;
    if (toTimeLine)
        core.Publish(m_importReplaces);
    m_app.SetBusy(false);
    if (m_importReplaces && core.List().Count() > 0)
        core.SetRunStop(true);
    if (!result.report.Empty() && !Modal()) {
        ++m_modal;
        QMessageBox::warning(m_window.get(), QStringLiteral("Quandel Player"),
                             QString::fromStdString(result.report.Message()));
        --m_modal;
    }
    RefreshTitleLine(false);
}

bool CMainDialog::DropEntries(const QMimeData& data, int panel)
{
    if (panel != kDeck && panel != kMixer && panel != kBorder)
        return false;
    const QList<QByteArray> lines = data.data(QString::fromLatin1(kEntriesMimeType)).split('\n');
    if (lines.size() < 2)
        return false;
    bool ok = false;
    const int source = lines.front().toInt(&ok);
    if (!ok || source < -1 || source >= CPlayerCore::kCases)
        return false;
    CPlayerCore& core = m_app.Core();
    CPlaylist& timeLineList = core.List();
    CPlaylist& from = source < 0 ? timeLineList : core.Case(source);
    int insertAt = std::clamp(core.TimeLine().CurrentIndex() + 1, 0, timeLineList.Count());
    int32_t firstId = -1; // the entry that plays next
    m_app.SetBusy(true);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const int32_t id = lines[i].toInt(&ok);
        if (!ok)
            continue;
        const int index = from.IndexOfId(id);
        if (index < 0)
            continue;
        if (source < 0) {
            // An entry of the Time Line's own list moves to play next.
            const int to = index < insertAt ? insertAt - 1 : insertAt;
            if (index != to)
                core.MoveInList(index, to);
            insertAt = to + 1;
            if (firstId < 0)
                firstId = id;
        } else {
            const int added = timeLineList.AddCopy(from.Entry(index));
            if (added < 0)
                break;
            if (firstId < 0)
                firstId = timeLineList.Entry(added).id;
            if (added != insertAt)
                core.MoveInList(added, insertAt);
            ++insertAt;
        }
    }
    core.Publish();
    m_app.SetBusy(false);
    if (firstId < 0)
        return false;
    core.Automix().JumpTo(timeLineList.IndexOfId(firstId));
    return true;
}

// ---- Window events ------------------------------------------------------------------------

bool CMainDialog::DropListEntries(const CPlaylist& list, const std::vector<int>& indices, QPoint globalPoint)
{
    int source = -1;
    for (int k = 0; k < CPlayerCore::kCases; ++k)
        if (&list == &m_app.Core().Case(k))
            source = k;
    QByteArray lines = QByteArray::number(source);
    for (const int index : indices)
        if (index >= 0 && index < list.Count())
            lines += '\n' + QByteArray::number(list.Entry(index).id);
    QMimeData data;
    data.setData(QString::fromLatin1(kEntriesMimeType), lines);
    return DropEntries(data, PanelAt(m_window->mapFromGlobal(globalPoint)));
}

void CMainDialog::OpenDroppedOnList(const std::vector<std::string>& paths)
{
    // In the order dropped: tracks and folders are gathered on the worker; lists join the shown
    // list at once; a mix replaces the Time Line as opening it does.
    std::vector<std::string> items;
    CPlaylist& list = CurrentList();
    const bool timeLine = m_currentCase < 0;
    for (const std::string& path : paths) {
        const std::string extension = Lower(std::filesystem::path(path).extension().string());
        std::error_code error;
        if (std::filesystem::is_directory(path, error) ||
            (extension != ".m3u" && extension != ".qzl" && extension != ".qzx")) {
            items.push_back(path);
            continue;
        }
        if (extension == ".qzx") {
            m_app.OpenDocument(path);
            continue;
        }
        const int first = list.Count();
        m_app.SetBusy(timeLine);
        if (extension == ".m3u")
            CM3uPlaylist::LoadM3u(list, path, true);
        else
            CXmlPlaylist::Load(list, path, true);
        m_app.SetBusy(false);
        if (timeLine)
            m_app.Core().Publish();
        if (list.Count() > first && m_playlistPanel != nullptr)
            m_playlistPanel->SelectAdded(first);
    }
    if (!items.empty()) {
        StartImport(std::move(items), false, {});
        m_importSelects = true;
    }
}

bool CMainDialog::PreTranslateKey(const QKeyEvent& event)
{
    if (Modal() || (event.type() != QEvent::KeyPress && event.type() != QEvent::KeyRelease))
        return false;
    return OnKey(event.key(), event.modifiers(), event.type() == QEvent::KeyPress, event.isAutoRepeat());
}

QAction* CMainDialog::RunMenu(QMenu& menu, QPoint globalPoint)
{
    if (Modal())
        return nullptr;
    ++m_modal;
    QAction* chosen = ExecPopupMenu(menu, globalPoint);
    --m_modal;
    return chosen;
}

QPoint CMainDialog::FormPointToGlobal(const CSkinForm& form, QPoint formPoint) const
{
    const SkinRect r = m_stack->PanelRectToWindow(
        &form, SkinRect{formPoint.x(), formPoint.y(), formPoint.x() + 1, formPoint.y() + 1});
    return m_window->mapToGlobal(QPoint(r.left, r.top));
}

int CMainDialog::PanelAt(QPoint windowPoint) const
{
    for (size_t panel = 0; panel < m_forms.size(); ++panel) {
        const CSkinForm* form = m_forms[panel].get();
        if (!m_stack->IsPanelVisible(form))
            continue;
        const int32_t top = m_stack->PanelOffset(form);
        if (windowPoint.y() >= top && windowPoint.y() < top + form->Height())
            return static_cast<int>(panel);
    }
    return -1;
}

bool CMainDialog::HitsTitleLine(QPoint windowPoint) const
{
    const CSkinControl* line = m_forms[kDeck]->FindControl(Deck::kTitleLine);
    if (line == nullptr || !line->IsVisible() || PanelAt(windowPoint) != kDeck)
        return false;
    const SkinRect r = line->GetRect();
    const int32_t y = windowPoint.y() - m_stack->PanelOffset(m_forms[kDeck].get());
    return windowPoint.x() >= r.left && windowPoint.x() < r.right && y >= r.top && y < r.bottom;
}

void CMainDialog::StartTitleDrag(QPoint globalPress)
{
    // The window manager moves the window when there is one; without, the window follows the
    // pointer itself.
    if (m_window->windowHandle() != nullptr && m_window->windowHandle()->startSystemMove())
        return;
    m_titleDragging = true;
    m_titleDragOffset = globalPress - m_window->pos();
}

bool CMainDialog::HitsControl(int panel, QPoint windowPoint) const
{
    const CSkinForm* form = Form(panel);
    if (form == nullptr)
        return false;
    const int32_t x = windowPoint.x();
    const int32_t y = windowPoint.y() - m_stack->PanelOffset(form);
    for (size_t i = 0; i < form->ControlCount(); ++i) {
        const CSkinControl* control = form->ControlAt(i);
        const SkinRect r = control->GetRect();
        if (control->IsVisible() && x >= r.left && x < r.right && y >= r.top && y < r.bottom &&
            control->ClassName() != "shade.dll")
            return true;
    }
    return false;
}

bool CMainDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window.get())
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        return OnKey(key->key(), key->modifiers(), event->type() == QEvent::KeyPress, key->isAutoRepeat());
    }
    case QEvent::ShortcutOverride:
        event->accept();
        return true;
    case QEvent::ToolTip: {
        // Qt's own request comes on its schedule; the window asks on the table's.
        auto* help = static_cast<QHelpEvent*>(event);
        if (!event->spontaneous())
            ShowToolTip(help->pos(), help->globalPos());
        return true;
    }
    case QEvent::ContextMenu: {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        if (PanelAt(menuEvent->pos()) != kDeck || menuEvent->pos().y() >= Deck::kTitleStripHeight ||
            HitsControl(kDeck, menuEvent->pos()) || Modal())
            return false;
        QMenu menu(m_window.get());
        QAction* about = menu.addAction(Text(StringId::About));
        about->setObjectName(QStringLiteral("16"));
        ++m_modal;
        const QAction* chosen = ExecPopupMenu(menu, menuEvent->globalPos());
        if (chosen == about)
            m_app.About();
        --m_modal;
        return true;
    }
    case QEvent::MouseButtonPress: {
        // The title strip moves the window where no control lies, and from its title line,
        // which is clicked as well: the window answers that click itself.
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        if (mouse->button() != Qt::LeftButton || m_window->isFullScreen() || PanelAt(at) != kDeck ||
            at.y() >= Deck::kTitleStripHeight)
            return false;
        if (HitsTitleLine(at)) {
            m_titleLinePressed = true;
            m_titleLinePressPoint = mouse->globalPosition().toPoint();
            return true;
        }
        if (HitsControl(kDeck, at))
            return false;
        StartTitleDrag(mouse->globalPosition().toPoint());
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint global = mouse->globalPosition().toPoint();
        if (m_titleLinePressed) {
            if ((global - m_titleLinePressPoint).manhattanLength() >= QApplication::startDragDistance()) {
                m_titleLinePressed = false;
                StartTitleDrag(m_titleLinePressPoint);
                if (m_titleDragging)
                    m_window->move(global - m_titleDragOffset);
            }
            return true;
        }
        if (m_titleDragging) {
            m_window->move(global - m_titleDragOffset);
            return true;
        }
        if (m_toolTips.Active() && mouse->buttons() == Qt::NoButton) {
            m_toolTipPoint = mouse->position().toPoint();
            m_toolTipTimer->start(QToolTip::isVisible() ? kToolTipReshowMs : kToolTipDelayMs);
        }
        return false;
    }
    case QEvent::MouseButtonRelease:
        if (m_titleLinePressed) {
            m_titleLinePressed = false;
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && HitsTitleLine(mouse->position().toPoint()) && !Modal() &&
                CSkinForm::IsInputEnabled())
                EditListInfo();
            return true;
        }
        if (m_titleDragging) {
            m_titleDragging = false;
            return true;
        }
        return false;
    case QEvent::WindowDeactivate:
        ReleaseHeldKeys();
        return false;
    case QEvent::WindowStateChange:
        // Maximising shows or hides the three panels together; the window keeps its size.
        if (m_window->isMaximized()) {
            m_window->showNormal();
            TogglePanelsTogether();
        }
        return false;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        const QMimeData* data = drag->mimeData();
        const int panel = PanelAt(drag->position().toPoint());
        const bool entries = data->hasFormat(QString::fromLatin1(kEntriesMimeType)) &&
                             (panel == kDeck || panel == kMixer || panel == kBorder);
        const char* hint = entries ? "drop to play next" : data->hasUrls() ? "drop to open" : nullptr;
        if (hint != nullptr)
            drag->acceptProposedAction();
        else
            drag->ignore();
        if (hint != m_dropHint) {
            m_dropHint = hint;
            RefreshTitleLine(false);
        }
        return true;
    }
    case QEvent::DragLeave:
        m_dropHint = nullptr;
        RefreshTitleLine(false);
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QMimeData* data = drop->mimeData();
        m_dropHint = nullptr;
        if (data->hasFormat(QString::fromLatin1(kEntriesMimeType))) {
            if (DropEntries(*data, PanelAt(drop->position().toPoint())))
                drop->acceptProposedAction();
            return true;
        }
        std::vector<std::string> paths;
        std::vector<std::string> refused;
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile())
                paths.push_back(url.toLocalFile().toStdString());
            else
                refused.push_back(url.toString().toStdString());
        }
        drop->acceptProposedAction();
        OpenDropped(paths, std::move(refused));
        return true;
    }
    default:
        return false;
    }
}
