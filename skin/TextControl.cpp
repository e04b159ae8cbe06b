#include "TextControl.h"

#include "ByteReader.h"
#include "ByteWriter.h"
#include "SkinEvent.h"
#include "SkinPicture.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kMarqueeGap = " *** ";

} // namespace

std::unique_ptr<CSkinControl> CTextControl::Create()
{
    return std::make_unique<CTextControl>();
}

CTextControl::~CTextControl()
{
    ReleaseFont();
}

void CTextControl::ReadData(CByteReader& stream)
{
    const int32_t version = stream.ReadI32();
    if (version != 5 && version != 6)
        return;
    m_fontId = stream.ReadI32();
    stream.ReadI32(); // unused, written as 0
    m_centreX = stream.ReadI32();
    m_centreY = stream.ReadI32();
    m_text = stream.ReadShortString();
    m_scrollMode = stream.ReadI32();
    m_scrollPeriod = stream.ReadI32();
    m_scrollStep = stream.ReadI32();
    m_clickable = version == 6 ? stream.ReadI32() : 0;
    m_dragValueMode = stream.ReadI32();
    m_minimum = stream.ReadF32();
    m_maximum = stream.ReadF32();
    for (auto& pair : m_dragSteps) {
        pair[0] = stream.ReadF32();
        pair[1] = stream.ReadF32();
    }
}

void CTextControl::WriteData(CByteWriter& stream) const
{
    CSkinControl::WriteData(stream);
    stream.WriteI32(kClassVersion);
    stream.WriteI32(m_fontId);
    stream.WriteI32(0);
    stream.WriteI32(m_centreX);
    stream.WriteI32(m_centreY);
    stream.WriteShortString(m_text);
    stream.WriteI32(m_scrollMode);
    stream.WriteI32(m_scrollPeriod);
    stream.WriteI32(m_scrollStep);
    stream.WriteI32(m_clickable);
    stream.WriteI32(m_dragValueMode);
    stream.WriteF32(m_minimum);
    stream.WriteF32(m_maximum);
    for (const auto& pair : m_dragSteps) {
        stream.WriteF32(pair[0]);
        stream.WriteF32(pair[1]);
    }
}

void CTextControl::ReleaseFont()
{
    if (m_fontPicture != nullptr) {
        ReleasePicture(m_fontId);
        m_fontPicture = nullptr;
    }
    m_font.Attach(nullptr);
}

void CTextControl::AttachForm(CSkinForm* form)
{
    CSkinControl::AttachForm(form);
    m_fontPicture = GetPicture(m_fontId);
    m_font.Attach(m_fontPicture);
    ApplyScrollRule();
}

void CTextControl::DetachForm()
{
    StopTimer();
    m_scrolling = false;
    ReleaseFont();
    m_form = nullptr;
}

void CTextControl::ApplyScrollRule()
{
    if (m_scrolling) {
        StopTimer();
        m_scrolling = false;
    }
    if (m_scrollMode != 0 && m_font.IsAttached() && m_font.TextWidth(m_text) > Width()) {
        m_scrollPosition = 0;
        m_scrolling = true;
        StartTimer(m_scrollPeriod);
    }
}

void CTextControl::SetText(const std::string& text)
{
    if (text == m_text)
        return;
    m_text = text;
    ApplyScrollRule();
    MarkChanged();
}

int32_t CTextControl::CentringOffset() const
{
    // Centring is for text that fits; a wider text starts at the left edge.
    return m_centreX != 0 ? std::max(0, (Width() - m_font.TextWidth(m_text)) / 2) : 0;
}

void CTextControl::Draw(CSkinPicture& picture)
{
    if (m_text.empty() || !m_font.IsAttached())
        return;
    const SkinRect r = GetRect();
    int32_t y = r.top;
    if (m_centreY != 0)
        y += std::max(0, (r.Height() - m_font.GlyphHeight()) / 2);
    const int32_t maxHeight = r.bottom - y;
    const int32_t textWidth = m_font.TextWidth(m_text);
    if (m_scrollMode == 0 || textWidth <= r.Width()) {
        // A marquee that fits sits at the left edge, centred or not.
        const int32_t x = r.left + (m_scrollMode == 0 ? CentringOffset() : 0);
        m_font.DrawText(picture, x, y, r.right - x, m_text, maxHeight);
        return;
    }
    if (m_scrollMode == 1) {
        const std::string looped = m_text + kMarqueeGap;
        const int32_t loopWidth = std::max(1, m_font.TextWidth(looped));
        m_font.DrawTextScrolled(picture, r.left, y, -(m_scrollPosition % loopWidth), r.Width(), looped, true,
                                maxHeight);
        return;
    }
    const int32_t excess = textWidth - r.Width();
    const int32_t d = m_scrollPosition % (2 * excess);
    const int32_t offset = d < excess ? -d : d - 2 * excess;
    m_font.DrawTextScrolled(picture, r.left, y, offset, r.Width(), m_text, false, maxHeight);
}

int CTextControl::HandleEvent(const CSkinEvent& event)
{
    using namespace SkinEventKind;
    switch (event.kind) {
    case Timer:
        if (m_scrollMode == 1 || m_scrollMode == 2) {
            // Kept below a wrap of int32_t; the modulo of the drawing makes the value arbitrary.
            m_scrollPosition = (m_scrollPosition + m_scrollStep) & 0x3FFFFFFF;
            Invalidate();
        }
        return 1;
    case MouseButton:
        NotifyListeners(CSkinEvent::Value(TextClicked, 0, &event));
        if (m_clickable == 0 && m_dragValueMode == 0)
            return 1;
        if (event.down || event.doubleClick) {
            CaptureMouse();
            m_dragActive = true;
            if (m_dragValueMode != 0) {
                m_dragStartValue = m_value;
                m_dragStartX = event.x;
                m_dragStartY = event.y;
                m_dragShift = event.IsShift();
                const int32_t characters = static_cast<int32_t>(m_text.size());
                const int32_t textWidth = m_font.TextWidth(m_text);
                const int32_t perCharacter = characters > 0 ? textWidth / characters : 0;
                const int32_t k =
                    perCharacter > 0 ? (event.x - GetRect().left - CentringOffset()) / perCharacter : 0;
                m_dragIndex = std::clamp(k, 0, 7);
            }
        } else {
            if (CapturedControlId() == Id())
                ReleaseMouse();
            m_dragActive = false;
        }
        return 1;
    case MouseMove: {
        if (!m_dragActive)
            return 0;
        if (m_dragValueMode == 0) {
            NotifyListeners(event);
            return 1;
        }
        if (event.IsShift() != m_dragShift) {
            m_dragStartX = event.x;
            m_dragStartY = event.y;
            m_dragStartValue = m_value;
            m_dragShift = event.IsShift();
        }
        const auto& [step, factor] = m_dragSteps[static_cast<size_t>(m_dragIndex)];
        const double pixels =
            (event.y - m_dragStartY) * static_cast<double>(factor) * (m_dragShift ? 0.5 : 1.0);
        float value = m_dragStartValue - step * static_cast<float>(std::trunc(pixels + 0.5));
        if (value < m_minimum || value > m_maximum || std::isnan(value)) {
            value =
                std::isnan(value) ? m_minimum : std::clamp(value, m_minimum, std::max(m_minimum, m_maximum));
            m_dragStartX = event.x;
            m_dragStartY = event.y;
            m_dragStartValue = value;
        }
        m_value = value;
        Invalidate();
        CSkinEvent dragged = CSkinEvent::Value(TextValueDragged, 0, &event);
        dragged.floatValue = value;
        NotifyListeners(dragged);
        return 1;
    }
    default:
        return 0;
    }
}
