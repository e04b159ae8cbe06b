#include "SwitchControl.h"

#include "ByteReader.h"
#include "ByteWriter.h"
#include "SkinEvent.h"
#include "SkinPicture.h"

#include <algorithm>

std::unique_ptr<CSkinControl> CSwitchControl::Create()
{
    return std::make_unique<CSwitchControl>();
}

CSwitchControl::~CSwitchControl()
{
    ReleaseStrip();
}

void CSwitchControl::ReadData(CByteReader& stream)
{
    if (stream.ReadI32() != kClassVersion)
        return;
    int32_t* fields[] = {&m_groupId,        &m_state,       &m_pictureId,       &m_frameCount,
                         &m_frameWidth,     &m_frameHeight, &m_blankFirstFrame, &m_toggle,
                         &m_hoverFrames,    &m_pressFrames, &m_disabledFrame,   &m_reportHover,
                         &m_leftButtonOnly, &m_notifyMode,  &m_repeatPeriod,    &m_repeatDelay};
    for (int32_t* field : fields)
        *field = stream.ReadI32();
}

void CSwitchControl::WriteData(CByteWriter& stream) const
{
    CSkinControl::WriteData(stream);
    stream.WriteI32(kClassVersion);
    for (const int32_t field : {m_groupId, m_state, m_pictureId, m_frameCount, m_frameWidth, m_frameHeight,
                                m_blankFirstFrame, m_toggle, m_hoverFrames, m_pressFrames, m_disabledFrame,
                                m_reportHover, m_leftButtonOnly, m_notifyMode, m_repeatPeriod, m_repeatDelay})
        stream.WriteI32(field);
}

void CSwitchControl::ReleaseStrip()
{
    if (m_strip != nullptr) {
        ReleasePicture(m_pictureId);
        m_strip = nullptr;
    }
}

void CSwitchControl::LoadStrip()
{
    m_strip = GetPicture(m_pictureId);
    const int64_t frames = m_blankFirstFrame != 0 ? int64_t{m_frameCount} - 1 : m_frameCount;
    if (m_strip != nullptr && frames > 0) {
        m_frameWidth = static_cast<int32_t>(m_strip->Width() / frames);
        m_frameHeight = m_strip->Height();
        SetRect(SkinRect::AtOrigin(GetRect(), m_frameWidth, m_frameHeight));
    }
    const int32_t groups = 1 + (m_pressFrames != 0 ? 1 : 0) + (m_hoverFrames != 0 ? 1 : 0);
    m_statesPerGroup = static_cast<int32_t>(
        std::max<int64_t>(0, int64_t{m_frameCount} - (m_disabledFrame != 0 ? 1 : 0)) / groups);
}

void CSwitchControl::AttachForm(CSkinForm* form)
{
    CSkinControl::AttachForm(form);
    LoadStrip();
}

void CSwitchControl::DetachForm()
{
    StopTimer();
    ReleaseStrip();
    m_form = nullptr;
}

void CSwitchControl::SetState(int32_t state)
{
    if (state == m_state)
        return;
    m_state = state;
    MarkChanged();
}

void CSwitchControl::SetPicture(int32_t pictureId)
{
    ReleaseStrip();
    m_pictureId = pictureId;
    LoadStrip();
    MarkChanged();
}

void CSwitchControl::Draw(CSkinPicture& picture)
{
    if (m_strip == nullptr || m_frameWidth <= 0)
        return;
    int64_t frame;
    if (!m_lit && m_disabledFrame != 0) {
        frame = int64_t{m_frameCount} - 1;
    } else {
        frame = m_state;
        if (m_pressed > 0)
            frame += m_statesPerGroup;
        else if (m_hover > 0 && m_hoverFrames != 0)
            frame += m_pressFrames != 0 ? 2 * int64_t{m_statesPerGroup} : m_statesPerGroup;
    }
    if (m_blankFirstFrame != 0) {
        if (frame == 0)
            return;
        --frame;
    }
    // A state beyond the strip (a hostile form) draws nothing rather than a neighbour's pixels.
    if (frame < 0 || (frame + 1) * m_frameWidth > m_strip->Width())
        return;
    const SkinRect r = GetRect();
    picture.Blit(r.left, r.top, m_frameWidth, m_frameHeight, *m_strip,
                 static_cast<int32_t>(frame) * m_frameWidth, 0, true);
}

int CSwitchControl::HandleEvent(const CSkinEvent& event)
{
    using namespace SkinEventKind;
    switch (event.kind) {
    case MouseMove:
        if (m_reportHover != 0)
            NotifyListeners(event);
        return 0;
    case MouseEnter:
    case MouseLeave: {
        const bool enter = event.kind == MouseEnter;
        if (m_reportHover != 0)
            NotifyListeners(CSkinEvent::Value(SwitchHover, enter ? 1 : 0, &event));
        if (m_hoverFrames != 0) {
            m_hover = enter ? m_hover + 1 : std::max(0, m_hover - 1);
            Invalidate();
        }
        return 0;
    }
    case MouseButton:
        if (event.down || event.doubleClick) {
            ++m_buttonDown;
            if (m_leftButtonOnly != 0 && event.rightButton)
                return 0;
            if (m_notifyMode >= 1 && m_notifyMode <= 4)
                m_capture = true;
            if (m_pressFrames != 0) {
                ++m_pressed;
                m_capture = true;
            } else if (m_toggle != 0) {
                m_state = m_state != 0 ? 0 : 1;
            }
            if (m_notifyMode == 2) {
                m_repeatCountdown = m_repeatDelay;
                StartTimer(m_repeatPeriod);
                if (m_pressFrames == 0)
                    m_capture = true;
            }
            if (m_notifyMode != 4)
                NotifyListeners(CSkinEvent::Value(SwitchChanged, m_state, &event));
            Invalidate();
            if (m_capture)
                CaptureMouse();
            return 1;
        }
        if (m_buttonDown <= 0)
            return 0;
        if (--m_buttonDown == 0 && m_capture) {
            m_capture = false;
            ReleaseMouse();
        }
        if (m_leftButtonOnly != 0 && event.rightButton)
            return 0;
        if (m_pressFrames != 0) {
            if (m_toggle != 0)
                m_state = m_state != 0 ? 0 : 1;
            m_pressed = std::max(0, m_pressed - 1);
        }
        if (m_notifyMode == 2)
            StopTimer();
        if (m_notifyMode == 1 || m_notifyMode == 3 || m_notifyMode == 4)
            NotifyListeners(CSkinEvent::Value(SwitchChanged, m_state, &event));
        Invalidate();
        return 1;
    case Timer:
        if (m_notifyMode != 2)
            return 0;
        if (m_repeatCountdown > 0)
            --m_repeatCountdown;
        else
            NotifyListeners(CSkinEvent::Value(SwitchChanged, m_state));
        return 1;
    case Enable:
        if (m_lit != (event.value != 0)) {
            m_lit = event.value != 0;
            Invalidate();
        }
        return 0;
    default:
        return 0;
    }
}
