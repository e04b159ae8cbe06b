#include "SkinControl.h"

#include "ByteWriter.h"
#include "ControlListener.h"
#include "PictureManager.h"
#include "SkinEvent.h"
#include "SkinForm.h"

#include <algorithm>

void CSkinControl::AddListener(CControlListener* listener)
{
    // Grows by an eighth, at least 4 and at most 1024 entries a step.
    if (m_listeners.size() == m_listeners.capacity())
        m_listeners.reserve(m_listeners.size() + std::clamp<size_t>(m_listeners.size() / 8, 4, 1024));
    m_listeners.push_back(listener);
}

void CSkinControl::RemoveListener(CControlListener* listener)
{
    const auto it = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (it != m_listeners.end())
        m_listeners.erase(it);
}

void CSkinControl::NotifyListeners(const CSkinEvent& event)
{
    // A listener may unsubscribe while it is told; the copy keeps the walk valid.
    const std::vector<CControlListener*> listeners = m_listeners;
    for (CControlListener* listener : listeners)
        listener->OnControlEvent(event, m_id);
}

void CSkinControl::WriteData(CByteWriter& stream) const
{
    stream.WriteI32(m_id);
    stream.WriteI32(m_rect.left);
    stream.WriteI32(m_rect.top);
    stream.WriteI32(m_rect.right);
    stream.WriteI32(m_rect.bottom);
    stream.WriteI32(kRecordVersion);
    stream.WriteShortString(m_className);
    stream.WriteI32(m_maskPicture);
    stream.WriteI32(m_eraseBackground ? 1 : 0);
    stream.WriteI32(m_anchorFlags);
}

void CSkinControl::StartTimer(int32_t period)
{
    if (m_form != nullptr)
        m_form->AddTimer(this, 0, period);
}

void CSkinControl::StopTimer()
{
    if (m_form != nullptr)
        m_form->RemoveTimer(this, 0);
}

void CSkinControl::CaptureMouse()
{
    if (m_form != nullptr)
        m_form->Capture(m_id);
}

int32_t CSkinControl::CapturedControlId() const
{
    return m_form != nullptr ? m_form->CapturedControlId() : 0;
}

void CSkinControl::ReleaseMouse()
{
    if (m_form != nullptr)
        m_form->Release();
}

CSkinPicture* CSkinControl::GetPicture(int32_t id)
{
    return m_form != nullptr ? m_form->Pictures().GetPicture(id) : nullptr;
}

void CSkinControl::ReleasePicture(int32_t id)
{
    if (m_form != nullptr)
        m_form->Pictures().ReleasePicture(id);
}
