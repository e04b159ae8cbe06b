#include "WindowsControlHost.h"

#include "ByteReader.h"
#include "ByteWriter.h"
#include "FormOwner.h"
#include "NativeWindow.h"
#include "SkinForm.h"
#include "SkinPicture.h"

std::unique_ptr<CSkinControl> CWindowsControlHost::Create()
{
    return std::make_unique<CWindowsControlHost>();
}

void CWindowsControlHost::ReadData(CByteReader& stream)
{
    stream.ReadI32(); // version 1 carries nothing else
}

void CWindowsControlHost::WriteData(CByteWriter& stream) const
{
    CSkinControl::WriteData(stream);
    stream.WriteI32(kClassVersion);
}

void CWindowsControlHost::Place()
{
    if (m_window == nullptr)
        return;
    const SkinRect r = GetRect();
    const CFormOwner* owner = m_form != nullptr ? m_form->GetOwner() : nullptr;
    m_window->Place(owner != nullptr ? owner->PanelRectToWindow(m_form, r) : r);
}

void CWindowsControlHost::SetRect(const SkinRect& rect)
{
    CSkinControl::SetRect(rect);
    Place();
}

void CWindowsControlHost::SetEnabled(bool enabled)
{
    CSkinControl::SetEnabled(enabled);
}

void CWindowsControlHost::SetVisible(bool visible)
{
    CSkinControl::SetVisible(visible);
    if (m_window != nullptr)
        m_window->Show(visible);
}

void CWindowsControlHost::Refresh()
{
    Place();
    if (m_window != nullptr)
        m_window->Show(m_form != nullptr && m_form->IsVisible() && IsVisible());
}

void CWindowsControlHost::SetWindow(CNativeWindow* window)
{
    m_window = window;
    Refresh();
    MarkChanged();
}

void CWindowsControlHost::Draw(CSkinPicture& picture)
{
    if (m_window != nullptr)
        return;
    const SkinRect r = GetRect();
    picture.FrameRect(r.left, r.top, r.Width(), r.Height(), 0x00FF0000u);
}
