#include "SelectorControl.h"

#include "ByteReader.h"
#include "ByteWriter.h"
#include "SkinEvent.h"
#include "SkinPicture.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

int32_t CSelectorControl::s_dragStartValue = 0;
int32_t CSelectorControl::s_dragStartCoord = 0;

namespace {

constexpr int32_t kFullTurn = 4096;

} // namespace

std::unique_ptr<CSkinControl> CSelectorControl::Create()
{
    return std::make_unique<CSelectorControl>();
}

CSelectorControl::CSelectorControl()
{
    m_fields[KnobFrames] = 1;
    m_fields[KnobDiameter] = 36;
    m_fields[KnobCentreX] = 2;
    m_fields[KnobCentreY] = 2;
    m_fields[KnobAngular] = 1;
    m_fields[FaderLength] = 160;
}

CSelectorControl::~CSelectorControl()
{
    ReleaseHandle();
}

void CSelectorControl::ReadData(CByteReader& stream)
{
    const int32_t version = stream.ReadI32();
    // Versions 1 and 2 were never stored by any skin; like unknown versions they carry nothing
    // more that could be read safely.
    if (version < 5 || version > 7)
        return;
    m_fields[KnobMode] = stream.ReadI32();
    if (version <= 6)
        stream.ReadI32(); // a value after KnobMode, no longer used
    for (int f = KnobFrames; f <= KnobFreeTurn; ++f)
        m_fields[f] = stream.ReadI32();
    if (version == 5)
        stream.ReadI32(); // a value between the knob and the fader fields
    for (int f = FaderPicture; f <= FaderRelative; ++f)
        m_fields[f] = stream.ReadI32();
    // A fader keeps whatever knob value it stores: it has no effect there and is written back.
    if (IsKnob())
        m_fields[KnobValue] = ClampKnob(m_fields[KnobValue]);
}

void CSelectorControl::WriteData(CByteWriter& stream) const
{
    CSkinControl::WriteData(stream);
    stream.WriteI32(kClassVersion);
    for (const int32_t field : m_fields)
        stream.WriteI32(field);
}

int32_t CSelectorControl::ClampKnob(int32_t value) const
{
    const int64_t low = m_fields[KnobStart];
    const int64_t high = int64_t{kFullTurn} - m_fields[KnobEndGap];
    return static_cast<int32_t>(high < low ? low : std::clamp<int64_t>(value, low, high));
}

void CSelectorControl::ReleaseHandle()
{
    if (m_handle != nullptr) {
        ReleasePicture(PictureId());
        m_handle = nullptr;
    }
}

void CSelectorControl::AttachForm(CSkinForm* form)
{
    CSkinControl::AttachForm(form);
    m_handle = GetPicture(PictureId());
    if (m_handle == nullptr)
        return;
    const SkinRect r = GetRect();
    if (IsKnob()) {
        const int32_t frames = std::max(1, m_fields[KnobFrames]);
        m_handleWidth = m_handle->Width() / frames;
        m_handleHeight = m_handle->Height();
        SetRect(SkinRect::AtOrigin(r, m_handleWidth, m_handleHeight));
        return;
    }
    m_handleWidth = m_fields[FaderTwoFrames] != 0 ? m_handle->Width() / 2 : m_handle->Width();
    m_handleHeight = m_handle->Height();
    if (m_fields[FaderVertical] != 0)
        SetRect(SkinRect::AtOrigin(r, m_handleWidth, m_fields[FaderLength]));
    else
        SetRect(SkinRect::AtOrigin(r, m_fields[FaderLength], m_handleHeight));
}

void CSelectorControl::DetachForm()
{
    ReleaseHandle();
    m_form = nullptr;
}

void CSelectorControl::SetValue(int32_t external)
{
    int32_t value;
    if (IsKnob()) {
        const int32_t steps = m_fields[KnobSteps];
        const int64_t span = int64_t{kFullTurn} - m_fields[KnobEndGap] - m_fields[KnobStart];
        // The + 1 lets GetValue's truncating division give the same step back.
        const int64_t position = m_fields[KnobStart] + (steps > 0 ? span * external / steps : 0) + 1;
        value = steps > 0
                    ? ClampKnob(static_cast<int32_t>(std::clamp<int64_t>(position, INT32_MIN, INT32_MAX)))
                    : m_fields[KnobStart];
    } else {
        // Rounded up, so that GetValue's truncation gives the same value back; truncating here
        // would lose a step on every wheel notch (15 * 4096 / 255 reads back as 14).
        const int64_t range = m_fields[FaderRange];
        value = range > 0 ? static_cast<int32_t>(std::clamp<int64_t>(
                                (external * int64_t{kFullTurn} + range - 1) / range, 0, kFullTurn))
                          : 0;
    }
    if (value != Position()) {
        Position() = value;
        MarkChanged();
    }
}

int32_t CSelectorControl::GetValue() const
{
    if (IsKnob()) {
        const int64_t span = int64_t{kFullTurn} - m_fields[KnobEndGap] - m_fields[KnobStart];
        return span > 0 ? static_cast<int32_t>((m_fields[KnobValue] - m_fields[KnobStart]) *
                                               int64_t{m_fields[KnobSteps]} / span)
                        : 0;
    }
    return static_cast<int32_t>((int64_t{m_fields[FaderRange]} * m_fields[FaderValue]) >> 12);
}

void CSelectorControl::Draw(CSkinPicture& picture)
{
    if (m_handle == nullptr)
        return;
    const SkinRect r = GetRect();
    if (IsKnob()) {
        const int32_t frames = std::max(1, m_fields[KnobFrames]);
        const auto frame = static_cast<int32_t>(
            std::clamp<int64_t>((int64_t{m_fields[KnobValue]} * (frames - 1)) >> 12, 0, frames - 1));
        picture.Blit(r.left, r.top, m_handleWidth, m_handleHeight, *m_handle, frame * m_handleWidth, 0, true);
        if ((m_fields[KnobScale] & 1) != 0) {
            const int64_t start = m_fields[KnobStart];
            const int64_t end = int64_t{kFullTurn} - m_fields[KnobEndGap];
            const int64_t step = std::max<int64_t>(1, (end - start) / 100);
            const double radius = m_fields[KnobDiameter] / 2.0;
            for (int64_t a = start; a < end; a += step) {
                const double angle = a * 2.0 * std::numbers::pi / kFullTurn;
                const double x =
                    r.left + static_cast<double>(m_fields[KnobCentreX]) + radius * (1.0 - std::sin(angle));
                const double y = r.top + static_cast<double>(m_fields[KnobCentreY]) + m_fields[KnobDiameter] -
                                 radius * (1.0 - std::cos(angle));
                if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
                    picture.SetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y), 0x00007FFFu);
            }
        }
        return;
    }
    const int32_t value = m_fields[FaderValue];
    const int32_t sourceX = m_fields[FaderTwoFrames] != 0 && !IsEnabled() ? m_handleWidth : 0;
    if (m_fields[FaderVertical] != 0) {
        const auto y = static_cast<int32_t>(r.bottom - m_handleHeight -
                                            ((int64_t{r.Height() - m_handleHeight - 1} * value) >> 12));
        picture.Blit(r.left, y, m_handleWidth, m_handleHeight, *m_handle, sourceX, 0, true);
    } else {
        const auto x =
            static_cast<int32_t>(r.left + ((int64_t{r.Width() - m_handleWidth - 1} * value) >> 12));
        picture.Blit(x, r.top, m_handleWidth, m_handleHeight, *m_handle, sourceX, 0, true);
    }
}

int32_t CSelectorControl::FaderFromPointer(int32_t x, int32_t y) const
{
    const SkinRect r = GetRect();
    if (m_fields[FaderVertical] != 0) {
        const int32_t travel = r.Height() - m_handleHeight;
        const int32_t b = y - (r.top + m_grab);
        if (b < 0)
            return kFullTurn;
        if (b < travel)
            return travel > 1 ? kFullTurn - b * kFullTurn / (travel - 1) : kFullTurn;
        return 0;
    }
    const int32_t travel = r.Width() - m_handleWidth;
    const int32_t a = x - (r.left + m_grab);
    if (a < 0)
        return 0;
    if (a < travel)
        return travel > 1 ? std::min(a * kFullTurn / (travel - 1), kFullTurn) : 0;
    return kFullTurn;
}

int32_t CSelectorControl::KnobFromPointer(int32_t x, int32_t y, bool shift) const
{
    const SkinRect r = GetRect();
    if (m_fields[KnobAngular] == 0) {
        const double s = shift ? 0.3 : 1.0;
        const double v = m_fields[KnobValue] + (static_cast<double>(m_previousY) - y) * s * 27;
        return ClampKnob(static_cast<int32_t>(std::clamp(v, double{INT32_MIN}, double{INT32_MAX})));
    }
    const double radius = m_fields[KnobDiameter] / 2.0;
    if (radius <= 0.0)
        return m_fields[KnobValue];
    double px = x + m_fields[KnobCentreX] + m_fields[KnobGrabX] - r.left;
    double py = y + m_fields[KnobCentreY] + m_fields[KnobGrabY] - r.top;
    bool mirrored = false;
    if (px < 0) {
        px = r.Width() - px;
        mirrored = true;
    }
    const bool negativeY = py < 0;
    if (negativeY)
        py = r.Height() - py;
    const double bx = px / radius - 1.0;
    const double by = 1.0 - py / radius;
    double v = 0.0;
    if (bx != 0.0 || by != 0.0) {
        v = std::acos(-by / std::sqrt(bx * bx + by * by)) * kFullTurn / (2.0 * std::numbers::pi);
        if (!mirrored && px > radius)
            v = kFullTurn - v;
        if (negativeY) {
            v = 2048 - v;
            if (v < 0)
                v += kFullTurn;
        } else {
            v += 0.5;
        }
    }
    int32_t value = static_cast<int32_t>(v);
    if (value > kFullTurn - 1)
        value = 0;
    return ClampKnob(value);
}

bool CSelectorControl::Move(int32_t value)
{
    if (IsKnob()) {
        value = ClampKnob(value);
        const int32_t current = m_fields[KnobValue];
        if (m_fields[KnobFreeTurn] == 0) {
            // The bottom gap is a stop: no jump from the left half of the range to the right end.
            if (value >= 3072 && current >= m_fields[KnobStart] && current <= 1024)
                return false;
            if (value <= 1024 && current >= 3072)
                return false;
        }
    } else {
        value = std::clamp(value, 0, kFullTurn);
    }
    if (value == Position())
        return false;
    Position() = value;
    Invalidate();
    return true;
}

int CSelectorControl::HandleEvent(const CSkinEvent& event)
{
    using namespace SkinEventKind;
    const bool vertical = m_fields[FaderVertical] != 0;
    switch (event.kind) {
    case MouseButton: {
        if (!event.down && !event.doubleClick) {
            NotifyListeners(CSkinEvent::Value(SelectorChanged, GetValue(), &event));
            if (CapturedControlId() == Id())
                ReleaseMouse();
            return 1;
        }
        bool changed;
        if (IsKnob()) {
            m_previousY = event.y;
            changed = Move(KnobFromPointer(event.x, event.y, false));
        } else {
            const SkinRect r = GetRect();
            if (m_fields[FaderRelative] != 0) {
                s_dragStartValue = m_fields[FaderValue];
                s_dragStartCoord = vertical ? event.y : event.x;
                const int32_t handle =
                    vertical ? ((r.Height() - m_handleHeight - 1) * (kFullTurn - m_fields[FaderValue]) +
                                2048) / kFullTurn +
                                   r.top
                             : ((r.Width() - m_handleWidth - 1) * m_fields[FaderValue] + 2048) / kFullTurn +
                                   r.left;
                m_grab = (vertical ? event.y : event.x) - handle;
            } else {
                m_grab = m_fields[FaderGrab];
            }
            changed = Move(FaderFromPointer(event.x, event.y));
        }
        if (changed || !IsKnob())
            NotifyListeners(CSkinEvent::Value(SelectorChanged, GetValue(), &event));
        Invalidate();
        CaptureMouse();
        return 1;
    }
    case MouseMove: {
        if (CapturedControlId() != Id())
            return 0;
        int32_t value;
        if (IsKnob()) {
            value = KnobFromPointer(event.x, event.y, event.IsShift());
            m_previousY = event.y;
        } else if (m_fields[FaderRelative] != 0) {
            const SkinRect r = GetRect();
            const double s = event.IsShift() ? 0.3 : 1.0;
            const int32_t coord = vertical ? event.y : event.x;
            const int32_t travel = (vertical ? r.Height() - m_handleHeight : r.Width() - m_handleWidth) - 1;
            const int32_t delta =
                travel > 0 ? static_cast<int32_t>(s * (coord - s_dragStartCoord) * kFullTurn / travel) : 0;
            value = std::clamp(vertical ? s_dragStartValue - delta : s_dragStartValue + delta, 0, kFullTurn);
            s_dragStartValue = value;
            s_dragStartCoord = coord;
        } else {
            value = FaderFromPointer(event.x, event.y);
        }
        if (Move(value))
            NotifyListeners(CSkinEvent::Value(SelectorChanged, GetValue(), &event));
        return 1;
    }
    case MouseWheel: {
        const int32_t range = IsKnob() ? m_fields[KnobSteps] : m_fields[FaderRange];
        const int32_t notch = event.IsShift() ? 1 : range / 16;
        const int32_t external =
            std::clamp(GetValue() + (event.wheelDelta / 120) * notch, 0, std::max(range, 0));
        SetValue(external);
        NotifyListeners(CSkinEvent::Value(SelectorChanged, GetValue(), &event));
        return 1;
    }
    case Enable:
        SetEnabled(event.value != 0);
        Invalidate();
        return 0;
    default:
        return 0;
    }
}
