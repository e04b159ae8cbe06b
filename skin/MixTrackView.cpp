#include "MixTrackView.h"

#include "ByteReader.h"
#include "ByteWriter.h"
#include "SkinEvent.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr int32_t kEdgeWidth = 2; // the deck's bar; the texts start right of it, at x = 3

std::string_view Field(const char* text, size_t size)
{
    return {text, strnlen(text, size)};
}

} // namespace

std::unique_ptr<CSkinControl> CMixTrackView::Create()
{
    return std::make_unique<CMixTrackView>();
}

CMixTrackView::~CMixTrackView()
{
    ReleaseFonts();
}

void CMixTrackView::ReadData(CByteReader& stream)
{
    const int32_t version = stream.ReadI32();
    if (version == 5) {
        for (int32_t& id : m_fontIds)
            id = stream.ReadI32();
    } else if (version == 4) {
        m_fontIds[0] = m_fontIds[2] = stream.ReadI32();
        m_fontIds[1] = m_fontIds[3] = stream.ReadI32();
    }
}

void CMixTrackView::WriteData(CByteWriter& stream) const
{
    CSkinControl::WriteData(stream);
    stream.WriteI32(kClassVersion);
    for (const int32_t id : m_fontIds)
        stream.WriteI32(id);
}

void CMixTrackView::ReleaseFonts()
{
    for (size_t i = 0; i < m_fonts.size(); ++i) {
        if (m_fontPictures[i] != nullptr)
            ReleasePicture(m_fontIds[i]);
        m_fontPictures[i] = nullptr;
        m_fonts[i].Attach(nullptr);
    }
}

void CMixTrackView::AttachForm(CSkinForm* form)
{
    CSkinControl::AttachForm(form);
    for (size_t i = 0; i < m_fonts.size(); ++i) {
        m_fontPictures[i] = GetPicture(m_fontIds[i]);
        m_fonts[i].Attach(m_fontPictures[i]);
    }
}

void CMixTrackView::DetachForm()
{
    ReleaseFonts();
    m_form = nullptr;
}

void CMixTrackView::SetTracks(const MixTrackBox* tracks, int32_t count, uint8_t deckCode)
{
    m_tracks = tracks;
    m_count = tracks != nullptr ? std::max(0, count) : 0;
    m_deckCode = deckCode;
    MarkChanged();
}

void CMixTrackView::SetScroll(int32_t pixels)
{
    if (pixels != m_scroll) {
        m_scroll = pixels;
        MarkChanged();
    }
}

void CMixTrackView::SetPositionLine(int32_t y)
{
    if (y != m_positionLine) {
        m_positionLine = y;
        MarkChanged();
    }
}

void CMixTrackView::SetColours(const MixTrackColours& colours)
{
    m_colours = colours;
    MarkChanged();
}

int32_t CMixTrackView::TrackAt(int32_t /*x*/, int32_t y, bool inside) const
{
    const int32_t formY = y + m_scroll;
    int32_t above = -1;
    for (int32_t i = 0; i < m_count; ++i) {
        const MixTrackBox& box = m_tracks[i];
        if (box.deckCode != m_deckCode)
            continue;
        if (formY >= box.y && formY < box.y + box.height)
            return i;
        if (!inside && box.y + box.height <= formY)
            above = i;
    }
    return inside ? -1 : above;
}

void CMixTrackView::Draw(CSkinPicture& picture)
{
    if (!m_fonts[0].IsAttached() || !m_fonts[1].IsAttached() || m_tracks == nullptr)
        return;
    const SkinRect r = GetRect();
    const int32_t w = r.Width();
    for (int32_t i = 0; i < m_count; ++i) {
        const MixTrackBox& box = m_tracks[i];
        if (box.deckCode != m_deckCode)
            continue;
        const int32_t top = box.y - m_scroll;
        const int32_t h = std::max(box.height, m_fonts[0].GlyphHeight() + m_fonts[1].GlyphHeight() + 5);
        if (top + h <= r.top || top >= r.bottom || w <= 0)
            continue;
        if (m_box.Width() != w || m_box.Height() != h) {
            if (m_box.Resize(w, h) == 0)
                return;
        }
        const bool selected = box.selected != 0;
        const CBitmapFont& titleFont = selected && m_fonts[2].IsAttached() ? m_fonts[2] : m_fonts[0];
        const CBitmapFont& artistFont = selected && m_fonts[3].IsAttached() ? m_fonts[3] : m_fonts[1];
        m_box.Fill(selected ? m_colours.playingBox : m_colours.box);
        m_box.FillRect(0, h - 1, w, 1, m_colours.separator);
        m_box.FillRect(0, 0, kEdgeWidth, h - 1, selected ? m_colours.playingEdge : m_colours.edge);
        if (selected)
            m_box.FrameRect(0, 0, w, h - 1, m_colours.playingEdge);
        titleFont.DrawText(m_box, 3, 2, w - 6, Field(box.title, sizeof box.title));
        const int32_t line = m_fonts[0].GlyphHeight() + 3;
        artistFont.DrawText(m_box, 3, line, w - 36, Field(box.artist, sizeof box.artist));
        if (box.lengthMs != 0) {
            char length[16];
            const uint32_t seconds = box.lengthMs / 1000;
            std::snprintf(length, sizeof length, "%02u:%02u", seconds / 60, seconds % 60);
            artistFont.DrawText(m_box, w - 30, line, 27, length);
        }
        if (box.marked != 0) {
            // Solid outside, so that a marked box stands out from the playing box's outline too.
            m_box.FrameRect(0, 0, w, h, m_colours.mark);
            m_box.BlendFrame(1, 1, w - 2, h - 2, m_colours.mark);
        }
        const int32_t from = std::max(top, r.top);
        const int32_t to = std::min(top + h, r.bottom);
        picture.Blit(r.left, from, w, to - from, m_box, 0, from - top, false);
    }
    const int32_t lineY = m_positionLine - m_scroll - 1;
    if (lineY >= r.top + 2 && lineY < r.bottom) {
        picture.FillRect(r.left, lineY, w, 1, m_colours.positionLine);
        // A dark row under it keeps the line apart from a box of a similar colour.
        if (lineY + 1 < r.bottom)
            picture.FillRect(r.left, lineY + 1, w, 1, m_colours.separator);
    }
}

int CMixTrackView::HandleEvent(const CSkinEvent& event)
{
    using namespace SkinEventKind;
    switch (event.kind) {
    case MouseButton:
        if (event.down || event.doubleClick) {
            if (m_captures++ == 0)
                CaptureMouse();
            m_lastY = event.y;
        } else if (m_captures > 0 && --m_captures == 0) {
            ReleaseMouse();
        }
        NotifyListeners(event);
        return 1;
    case MouseMove:
        if (m_captures > 0) {
            NotifyListeners(CSkinEvent::Value(MixViewScroll, m_lastY - event.y, &event));
            m_lastY = event.y;
            return 1;
        }
        NotifyListeners(event);
        return 0;
    case MouseWheel:
        NotifyListeners(CSkinEvent::Value(MixViewScroll, event.wheelDelta, &event));
        return 1;
    case MouseEnter:
    case MouseLeave:
        NotifyListeners(event);
        return 0;
    default:
        return 0;
    }
}
