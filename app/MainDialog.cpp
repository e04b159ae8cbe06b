#include "MainDialog.h"

#include "PanelStack.h"
#include "PlayerApp.h"
#include "SettingsStore.h"
#include "SkinControl.h"
#include "SkinEvent.h"
#include "SkinForm.h"
#include "SkinWindow.h"

#include <QWidget>

namespace {

// The form resource of each panel, in stacking order: the deck panel, the strip shown under it
// while the mixer is closed, the mixer, the Time Line, and the Cases panel's tabs and list.
constexpr std::array<int32_t, 6> kPanelForms = {6, 10, 1, 7, 4, 3};

// Controls of the deck panel's title strip.
constexpr int32_t kCloseControl = 21;
constexpr int32_t kMinimiseControl = 23;
constexpr int32_t kSetupControl = 802;
constexpr int32_t kAboutControl = 9002;

} // namespace

CMainDialog::CMainDialog(CPlayerApp& app, CPictureManager& pictures) : m_app(app), m_pictures(pictures)
{
}

CMainDialog::~CMainDialog()
{
    CGlobalTimer::RemoveClient(this);
    if (m_window != nullptr)
        m_window->Attach(nullptr);
    if (m_stack != nullptr)
        m_stack->Stop();
    for (auto& form : m_forms)
        for (size_t i = 0; i < form->ControlCount(); ++i)
            form->ControlAt(i)->RemoveListener(this);
}

void CMainDialog::ReadPanelSettings(const CSettingsStore& store)
{
    store.ReadPanels(m_panels);
}

bool CMainDialog::Create(int x, int y)
{
    m_window = std::make_unique<CSkinWindow>();
    m_window->setWindowTitle(QStringLiteral("Quandel Player"));
    m_stack = std::make_unique<CPanelStack>(*m_window);
    for (const int32_t formId : kPanelForms) {
        auto form = std::make_unique<CSkinForm>(m_pictures);
        if (form->LoadResource(formId) == 0)
            return false;
        for (size_t i = 0; i < form->ControlCount(); ++i)
            form->ControlAt(i)->AddListener(this);
        m_forms.push_back(std::move(form));
    }
    for (size_t panel = 0; panel < m_forms.size(); ++panel)
        m_stack->AddPanel(m_forms[panel].get(), panel == kDeck);
    m_created = true;
    ShowPanel(kMixer, m_panels.mixerOpen != 0);
    ShowPanel(kTimeLine, m_panels.mixViewOpen != 0);
    ShowPanel(kCases, m_panels.playListOpen != 0);
    m_stack->ResizePanel(m_forms[kCases].get(), 0, m_panels.playListHeight);
    m_window->Attach(m_stack.get());
    m_stack->Start();
    CGlobalTimer::AddClient(this);
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
    switch (panel) {
    case kMixer:
        m_panels.mixerOpen = open ? 1 : 0;
        break;
    case kTimeLine:
        m_panels.mixViewOpen = open ? 1 : 0;
        break;
    case kCases:
        m_panels.playListOpen = open ? 1 : 0;
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
    // A minimised or maximised window reports its restored rectangle here; a normal one its
    // own. Both are the client area, as the window is placed again at start-up.
    if (m_window->isMinimized() || m_window->isMaximized() || m_window->isFullScreen())
        return m_window->normalGeometry().topLeft();
    return m_window->geometry().topLeft();
}

void CMainDialog::RefreshDisplay(bool /*force*/)
{
    m_app.PollCore();
    if (++m_tick >= kHandoverTicks) {
        m_tick = 0;
        m_app.PollHandover();
    }
}

void CMainDialog::Tick()
{
    RefreshDisplay(false);
}

void CMainDialog::OnControlEvent(const CSkinEvent& event, int32_t controlId)
{
    if (event.kind != SkinEventKind::SwitchChanged)
        return;
    switch (controlId) {
    case kCloseControl:
        m_window->close();
        break;
    case kMinimiseControl:
        m_window->showMinimized();
        break;
    case kSetupControl:
        m_app.Setup();
        break;
    case kAboutControl:
        m_app.About();
        break;
    default:
        break;
    }
}
