#include "SkinForm.h"

#include "ByteReader.h"
#include "ByteWriter.h"
#include "ControlClassTable.h"
#include "FormOwner.h"
#include "PictureManager.h"
#include "ResourceTable.h"
#include "SkinControl.h"
#include "SkinEvent.h"
#include "SkinPicture.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<bool> g_inputEnabled{false};

// Old records may carry the authoring machine's directory in the class name.
std::string StripDirectory(const std::string& name)
{
    const size_t slash = name.find_last_of("\\/");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

} // namespace

CSkinForm::CSkinForm(CPictureManager& pictures) : m_pictures(pictures)
{
}

CSkinForm::~CSkinForm()
{
    RemoveAllControls();
    if (m_background != nullptr)
        m_pictures.ReleasePicture(m_backgroundId);
    for (const int32_t id : m_maskIds)
        m_pictures.ReleasePicture(id);
}

void CSkinForm::SetInputEnabled(bool enabled)
{
    g_inputEnabled.store(enabled);
}

bool CSkinForm::IsInputEnabled()
{
    return g_inputEnabled.load();
}

void CSkinForm::AddControl(std::unique_ptr<CSkinControl> control)
{
    CSkinControl* added = control.get();
    added->Invalidate();
    added->SetEnabled(true);
    added->SetVisible(true);
    m_controls.push_back(std::move(control));
    added->AttachForm(this);
}

void CSkinForm::ForgetControl(const CSkinControl* control)
{
    for (Timer& timer : m_timers) {
        if (timer.control == control)
            timer.control = nullptr;
    }
    if (!m_runningTimers)
        std::erase_if(m_timers, [](const Timer& t) { return t.control == nullptr; });
    if (m_captured && control->Id() == m_capturedId)
        Release();
    m_hover = false;
}

std::unique_ptr<CSkinControl> CSkinForm::RemoveControl(int32_t id)
{
    const auto it =
        std::find_if(m_controls.begin(), m_controls.end(), [id](const auto& c) { return c->Id() == id; });
    if (it == m_controls.end())
        return nullptr;
    std::unique_ptr<CSkinControl> control = std::move(*it);
    m_controls.erase(it);
    ForgetControl(control.get());
    control->DetachForm();
    return control;
}

void CSkinForm::RemoveAllControls()
{
    while (!m_controls.empty()) {
        std::unique_ptr<CSkinControl> control = std::move(m_controls.front());
        m_controls.erase(m_controls.begin());
        ForgetControl(control.get());
        control->DetachForm();
    }
}

CSkinControl* CSkinForm::FindControl(int32_t id) const
{
    for (const auto& control : m_controls) {
        if (control->Id() == id)
            return control.get();
    }
    return nullptr;
}

void CSkinForm::SetControlEnabled(int32_t id, bool enabled)
{
    CSkinControl* control = FindControl(id);
    if (control == nullptr)
        return;
    control->Dispatch(CSkinEvent::Value(SkinEventKind::Enable, enabled ? 1 : 0));
    control->SetEnabled(enabled);
}

void CSkinForm::InvalidateAll()
{
    for (const auto& control : m_controls)
        control->Invalidate();
}

SkinRect CSkinForm::GetDirtyRect() const
{
    SkinRect dirty;
    for (const auto& control : m_controls) {
        if (control->IsDirty() && control->IsVisible())
            dirty = dirty.Union(control->GetRect());
    }
    return dirty;
}

void CSkinForm::Paint(CSkinPicture& picture, bool dirtyOnly)
{
    m_painting = true;
    if (m_background == nullptr) {
        // Without a background there is nothing to restore under single controls.
        if (!dirtyOnly)
            picture.Fill(0);
    } else if (!dirtyOnly) {
        picture.Blit(0, 0, m_width, m_height, *m_background, 0, 0, false);
    } else {
        for (const auto& control : m_controls) {
            if (control->IsDirty() && control->IsVisible() && control->GetEraseBackground() &&
                control->GetMaskPicture() == -1) {
                // Only the part of the control that lies on the form has a background to restore.
                const SkinRect r = control->GetRect().Intersect({0, 0, m_width, m_height});
                if (!r.IsEmpty())
                    picture.Blit(r.left, r.top, r.Width(), r.Height(), *m_background, r.left, r.top, false);
            }
        }
    }
    for (const auto& control : m_controls) {
        if ((!dirtyOnly || control->IsDirty()) && control->IsVisible())
            control->Draw(picture);
    }
    for (const auto& control : m_controls)
        control->Validate();
    m_painting = false;
}

void CSkinForm::RefreshControls()
{
    for (const auto& control : m_controls)
        control->Refresh();
}

const CSkinPicture* CSkinForm::MaskPicture(int32_t id)
{
    if (std::find(m_maskIds.begin(), m_maskIds.end(), id) == m_maskIds.end()) {
        if (m_pictures.GetPicture(id) == nullptr)
            return nullptr;
        m_maskIds.push_back(id);
    }
    // Held once by this form; asking again does not count another reference.
    CSkinPicture* picture = m_pictures.GetPicture(id);
    m_pictures.ReleasePicture(id);
    return picture;
}

bool CSkinForm::HitTest(size_t index, int32_t x, int32_t y)
{
    if (index >= m_controls.size())
        return false;
    const CSkinControl& control = *m_controls[index];
    const SkinRect rect = control.GetRect();
    if (!rect.Contains(x, y))
        return false;
    if (control.GetMaskPicture() == -1)
        return true;
    const CSkinPicture* mask = MaskPicture(control.GetMaskPicture());
    // A point outside a mask smaller than the control is not hot; PixelAt answers 0 there.
    return mask != nullptr && mask->PixelAt(x - rect.left, y - rect.top) != 0;
}

void CSkinForm::SendLeaveToHover(const CSkinEvent& from)
{
    if (m_hover && m_hoverIndex < m_controls.size())
        m_controls[m_hoverIndex]->Dispatch(
            CSkinEvent::Mouse(SkinEventKind::MouseLeave, from.x, from.y, from.keys));
    m_hover = false;
}

int CSkinForm::HandleEvent(void* /*sender*/, const CSkinEvent& event)
{
    if (!IsInputEnabled())
        return 0;
    if (event.kind == SkinEventKind::MouseMove && !m_captured) {
        bool hit = false;
        for (size_t i = 0; i < m_controls.size(); ++i) {
            if (!HitTest(i, event.x, event.y) || !m_controls[i]->IsEnabled())
                continue;
            hit = true;
            if (!m_hover || m_hoverIndex != i) {
                SendLeaveToHover(event);
                m_controls[i]->Dispatch(
                    CSkinEvent::Mouse(SkinEventKind::MouseEnter, event.x, event.y, event.keys));
                m_hover = true;
                m_hoverIndex = i;
            }
        }
        if (!hit)
            SendLeaveToHover(event);
    }
    if (event.kind == SkinEventKind::MouseLeave) {
        SendLeaveToHover(event);
        return 0;
    }
    if (event.kind != SkinEventKind::MouseMove && event.kind != SkinEventKind::MouseButton &&
        event.kind != SkinEventKind::MouseWheel)
        return 0;
    if (m_captured) {
        CSkinControl* captured = FindControl(m_capturedId);
        return captured != nullptr ? captured->Dispatch(event) : 0;
    }
    for (size_t i = 0; i < m_controls.size(); ++i) {
        if (HitTest(i, event.x, event.y) && m_controls[i]->IsEnabled() && m_controls[i]->Dispatch(event) != 0)
            return 1;
    }
    return 0;
}

void CSkinForm::SetBackground(int32_t pictureId)
{
    if (m_background != nullptr)
        m_pictures.ReleasePicture(m_backgroundId);
    m_backgroundId = pictureId;
    m_background = m_pictures.GetPicture(pictureId);
    m_width = m_background != nullptr ? m_background->Width() : 0;
    m_height = m_background != nullptr ? m_background->Height() : 0;
    m_minWidth = m_width;
    m_minHeight = m_height;
    if (m_owner != nullptr)
        m_owner->Layout(this);
}

void CSkinForm::SetMinimumSize(bool resizable, int32_t width, int32_t height)
{
    m_resizable = resizable;
    m_minWidth = width;
    m_minHeight = height;
}

void CSkinForm::SetSize(int32_t width, int32_t height)
{
    if (m_background == nullptr)
        return;
    // The form shows the bottom-right part of its background, at most all of it.
    width = std::max(std::min(width, m_background->Width()), m_minWidth);
    height = std::max(std::min(height, m_background->Height()), m_minHeight);
    width = std::min(width, m_background->Width());
    height = std::min(height, m_background->Height());
    m_background->SetViewOrigin(m_background->Width() - width, m_background->Height() - height);
    const int32_t dw = width - m_width;
    const int32_t dh = height - m_height;
    m_width = width;
    m_height = height;
    for (const auto& control : m_controls) {
        const int32_t flags = control->GetAnchorFlags();
        if (flags == 0)
            continue;
        SkinRect r = control->GetRect();
        const SkinRect before = r;
        if ((flags & 0x0F) == 1) {
            r.right += dw;
        } else if ((flags & 0x0F) == 2) {
            r.left += dw;
            r.right += dw;
        }
        if ((flags & 0xF0) == 0x10) {
            r.bottom += dh;
        } else if ((flags & 0xF0) == 0x20) {
            r.top += dh;
            r.bottom += dh;
        }
        if (!(r == before))
            control->SetRect(r);
    }
}

void CSkinForm::AddTimer(CSkinControl* control, int32_t timerId, int32_t period)
{
    period = std::max(period, 0);
    for (Timer& timer : m_timers) {
        if (timer.control == control && timer.timerId == timerId) {
            timer.period = timer.countdown = period;
            return;
        }
    }
    m_timers.push_back({control, timerId, period, period});
}

void CSkinForm::RemoveTimer(CSkinControl* control, int32_t timerId)
{
    for (Timer& timer : m_timers) {
        if (timer.control == control && timer.timerId == timerId)
            timer.control = nullptr;
    }
    if (!m_runningTimers)
        std::erase_if(m_timers, [](const Timer& t) { return t.control == nullptr; });
}

void CSkinForm::RunTimers()
{
    // A control may start or stop timers from its timer event: entries are only marked while
    // the walk runs and compacted after it; entries added meanwhile wait for the next tick.
    m_runningTimers = true;
    const size_t count = m_timers.size();
    for (size_t i = 0; i < count; ++i) {
        if (m_timers[i].control == nullptr)
            continue;
        if (m_timers[i].countdown > 0) {
            --m_timers[i].countdown;
            continue;
        }
        m_timers[i].countdown = m_timers[i].period;
        m_timers[i].control->Dispatch(CSkinEvent::Timer(m_timers[i].timerId));
    }
    m_runningTimers = false;
    std::erase_if(m_timers, [](const Timer& t) { return t.control == nullptr; });
}

void CSkinForm::Capture(int32_t controlId)
{
    m_capturedId = controlId;
    m_captured = true;
    if (m_owner != nullptr)
        m_owner->CapturePanel(this);
}

void CSkinForm::Release()
{
    if (!m_captured)
        return;
    m_captured = false;
    m_capturedId = 0;
    if (m_owner != nullptr)
        m_owner->ReleasePanel();
}

int CSkinForm::LoadResource(int32_t formId)
{
    const CResourceTable::Blob blob = m_pictures.Resources().Find(ResourceType::Form, formId);
    if (blob.data == nullptr)
        return 0;
    CByteReader stream(blob.data, blob.size);
    Read(stream);
    return 1;
}

int CSkinForm::Read(CByteReader& stream)
{
    if (stream.Remaining() == 0)
        return 0;
    stream.ReadI32(); // version, always 1
    const int32_t background = stream.ReadI32();
    const int32_t count = stream.ReadI32();
    RemoveAllControls();
    for (int32_t i = 0; i < count && !stream.IsShort(); ++i) {
        const int32_t id = stream.ReadI32();
        const int32_t left = stream.ReadI32();
        const int32_t top = stream.ReadI32();
        const int32_t right = stream.ReadI32();
        const int32_t bottom = stream.ReadI32();
        const SkinRect rect = SkinRect::Clamped(left, top, right, bottom);
        const int32_t recordVersion = stream.ReadI32();
        std::string className = stream.ReadShortString();
        if (recordVersion < 4)
            className = StripDirectory(className);
        std::unique_ptr<CSkinControl> control = CControlClassTable::Create(className);
        // Records carry no length: after an unknown class nothing further can be found.
        if (!control)
            break;
        control->SetClassName(className);
        if (recordVersion > 1)
            control->SetMaskPicture(stream.ReadI32());
        if (recordVersion > 2)
            control->SetEraseBackground(stream.ReadI32() != 0);
        if (recordVersion <= 3)
            stream.ReadI32(); // obsolete
        const int32_t anchorFlags = recordVersion >= 5 ? stream.ReadI32() : 0;
        control->ReadData(stream);
        // A record cut by the end of the data is not a control.
        if (stream.IsShort())
            break;
        control->SetId(id);
        control->SetRect(rect);
        control->SetAnchorFlags(anchorFlags);
        AddControl(std::move(control));
    }
    SetBackground(background);
    return 1;
}

void CSkinForm::Write(CByteWriter& stream) const
{
    stream.WriteI32(1);
    stream.WriteI32(m_backgroundId);
    stream.WriteI32(static_cast<int32_t>(m_controls.size()));
    for (const auto& control : m_controls)
        control->WriteData(stream);
}
