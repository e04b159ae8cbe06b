#include "PanelStack.h"

#include "SkinControl.h"
#include "SkinEvent.h"
#include "SkinForm.h"
#include "WindowPort.h"

#include <algorithm>

CPanelStack::CPanelStack(CWindowPort& window) : m_window(window)
{
}

CPanelStack::~CPanelStack()
{
    Stop();
    for (int i = 0; i < m_count; ++i) {
        if (m_panels[i].form->GetOwner() == this)
            m_panels[i].form->SetOwner(nullptr);
    }
}

void CPanelStack::Start()
{
    if (m_started)
        return;
    m_started = true;
    CGlobalTimer::AddClient(this);
}

void CPanelStack::Stop()
{
    if (!m_started)
        return;
    m_started = false;
    CGlobalTimer::RemoveClient(this);
}

void CPanelStack::OnPaint()
{
    m_painted = true;
}

int CPanelStack::OnDestroy()
{
    Stop();
    return 0;
}

int CPanelStack::Find(const CSkinForm* form) const
{
    for (int i = 0; i < m_count; ++i) {
        if (m_panels[i].form == form)
            return i;
    }
    return -1;
}

bool CPanelStack::IsPanelVisible(const CSkinForm* form) const
{
    const int i = Find(form);
    return i >= 0 && m_panels[i].visible;
}

int32_t CPanelStack::PanelOffset(const CSkinForm* form) const
{
    const int i = Find(form);
    return i >= 0 ? m_panels[i].offsetY : 0;
}

int CPanelStack::AddPanel(CSkinForm* form, bool visible)
{
    if (m_count >= kMaxPanels || form == nullptr)
        return -1;
    Panel& panel = m_panels[m_count];
    panel = Panel{};
    panel.form = form;
    panel.visible = visible;
    for (int i = 0; i < m_count; ++i) {
        if (m_panels[i].visible)
            panel.offsetY += m_panels[i].height;
    }
    panel.width = form->Width();
    panel.height = form->Height();
    ++m_count;
    form->SetOwner(this);
    form->SetVisible(visible);
    Layout(form);
    return m_count;
}

void CPanelStack::MarkBelowDirty(int index)
{
    for (int i = index; i < m_count; ++i)
        m_panels[i].form->InvalidateAll();
    m_window.InvalidateAll();
}

void CPanelStack::ShowPanel(CSkinForm* form, bool visible)
{
    const int i = Find(form);
    if (i < 0)
        return;
    m_panels[i].visible = visible;
    form->SetVisible(visible);
    Layout(form);
    MarkBelowDirty(i);
}

void CPanelStack::ResizePanel(CSkinForm* form, int32_t width, int32_t height)
{
    const int i = Find(form);
    if (i < 0)
        return;
    ++m_layoutInProgress;
    form->SetSize(width > 0 ? width : form->Width(), height > 0 ? height : form->Height());
    --m_layoutInProgress;
    Layout(form);
    MarkBelowDirty(i);
}

void CPanelStack::Layout(CSkinForm* form)
{
    ++m_layoutInProgress;
    int32_t width = 0;
    int32_t height = 0;
    for (int i = 0; i < m_count; ++i) {
        Panel& panel = m_panels[i];
        panel.width = panel.form->Width();
        panel.height = panel.form->Height();
        if (!panel.visible)
            continue;
        width = std::max(width, panel.width);
        height += panel.height;
    }
    const bool hasBackground = form == nullptr || form->Width() > 0;
    if (!hasBackground || width <= 0 || height <= 0) {
        width = 400;
        height = 300;
    }
    m_back.Resize(width, height);
    m_back.Fill(0);
    int32_t offset = 0;
    for (int i = 0; i < m_count; ++i) {
        m_panels[i].offsetY = offset;
        if (m_panels[i].visible)
            offset += m_panels[i].height;
    }
    // After the offsets: a control that places a native window over itself asks for them.
    for (int i = 0; i < m_count; ++i)
        m_panels[i].form->RefreshControls();
    for (int i = 0; i < m_count; ++i) {
        Panel& panel = m_panels[i];
        if (!panel.visible)
            continue;
        m_back.SetViewOrigin(0, panel.offsetY);
        panel.form->Paint(m_back, false);
    }
    m_back.SetViewOrigin(0, 0);
    --m_layoutInProgress;
    if (m_autoSize)
        m_window.SetClientSize(m_back.Width(), m_back.Height());
    m_window.InvalidateAll();
}

void CPanelStack::GetSize(int32_t& width, int32_t& height) const
{
    width = m_back.Width();
    height = m_back.Height();
}

void CPanelStack::CapturePanel(CSkinForm* form)
{
    m_capturedPanel = form;
    m_window.SetCapture();
}

void CPanelStack::ReleasePanel()
{
    m_capturedPanel = nullptr;
    m_window.ReleaseCapture();
}

int CPanelStack::SelectPanel(int32_t& y) const
{
    if (m_capturedPanel != nullptr) {
        const int i = Find(m_capturedPanel);
        if (i >= 0)
            y -= m_panels[i].offsetY;
        return i;
    }
    for (int i = 0; i < m_count; ++i) {
        const Panel& panel = m_panels[i];
        if (panel.visible && y >= panel.offsetY && y < panel.offsetY + panel.height) {
            y -= panel.offsetY;
            return i;
        }
    }
    return -1;
}

int CPanelStack::OnMouseMove(int32_t x, int32_t y, uint32_t keys)
{
    const int i = SelectPanel(y);
    CSkinForm* selected = i >= 0 ? m_panels[i].form : nullptr;
    if (selected != m_hoverPanel) {
        if (m_hoverPanel != nullptr)
            m_hoverPanel->HandleEvent(this, CSkinEvent::Mouse(SkinEventKind::MouseLeave, x, y, keys));
        m_hoverPanel = selected;
    }
    if (selected == nullptr)
        return 0;
    return selected->HandleEvent(this, CSkinEvent::Mouse(SkinEventKind::MouseMove, x, y, keys));
}

int CPanelStack::OnMouseButton(int32_t x, int32_t y, bool right, bool down, bool doubleClick, uint32_t keys)
{
    const int i = SelectPanel(y);
    if (i < 0)
        return 0;
    return m_panels[i].form->HandleEvent(this, CSkinEvent::Button(x, y, keys, right, down, doubleClick));
}

int CPanelStack::OnMouseWheel(int32_t x, int32_t y, uint32_t keys, int32_t delta)
{
    const int i = SelectPanel(y);
    if (i < 0)
        return 0;
    return m_panels[i].form->HandleEvent(this, CSkinEvent::Wheel(x, y, keys, delta));
}

void CPanelStack::PaintWindow()
{
    for (int i = 0; i < m_count; ++i) {
        if (!m_panels[i].visible)
            continue;
        m_back.SetViewOrigin(0, m_panels[i].offsetY);
        m_panels[i].form->Paint(m_back, false);
    }
    m_back.SetViewOrigin(0, 0);
    m_window.InvalidateAll();
}

void CPanelStack::Update(bool dirtyOnly)
{
    if (m_layoutInProgress > 0 || !m_painted)
        return;
    SkinRect pending;
    const bool hasPending = m_window.GetUpdateRect(pending);
    bool anyDirty = false;
    for (int i = 0; i < m_count; ++i) {
        const Panel& panel = m_panels[i];
        if (!panel.visible)
            continue;
        m_back.SetViewOrigin(0, panel.offsetY);
        const SkinRect dirty = panel.form->GetDirtyRect();
        anyDirty = anyDirty || !dirty.IsEmpty();
        const SkinRect inWindow = PanelRectToWindow(panel.form, dirty);
        panel.form->Paint(m_back, dirtyOnly);
        const SkinRect rest = hasPending ? inWindow.Subtract(pending) : inWindow;
        if (!rest.IsEmpty())
            m_window.InvalidateRect(rest);
    }
    m_back.SetViewOrigin(0, 0);
    if (hasPending)
        m_window.InvalidateRect(pending);
    else if (!anyDirty)
        return;
    m_painted = false;
}

SkinRect CPanelStack::PanelRectToWindow(const CSkinForm* form, const SkinRect& rect) const
{
    return rect.Offset(0, PanelOffset(form));
}

void CPanelStack::WindowToPanel(const CSkinForm* form, int32_t& /*x*/, int32_t& y) const
{
    y -= PanelOffset(form);
}

void CPanelStack::PanelToWindow(const CSkinForm* form, int32_t& /*x*/, int32_t& y) const
{
    y += PanelOffset(form);
}

void CPanelStack::Tick()
{
    for (int i = 0; i < m_count; ++i) {
        if (m_panels[i].visible)
            m_panels[i].form->RunTimers();
    }
    Update(true);
}
