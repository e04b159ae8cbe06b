#include "WaveDisplayControl.h"

#include "ByteReader.h"
#include "ByteWriter.h"
#include "SkinPicture.h"

#include <algorithm>

std::unique_ptr<CSkinControl> CWaveDisplayControl::Create()
{
    return std::make_unique<CWaveDisplayControl>();
}

CWaveDisplayControl::CWaveDisplayControl()
{
    ComputeGradient();
}

CWaveDisplayControl::~CWaveDisplayControl()
{
    ReleaseMarkers();
}

void CWaveDisplayControl::ReadData(CByteReader& stream)
{
    const int32_t version = stream.ReadI32();
    if (version < 1 || version > 3)
        return;
    if (version < 3) {
        for (int i = 0; i < 3; ++i)
            stream.ReadI32();
    }
    m_waveColour = static_cast<uint32_t>(stream.ReadI32());
    if (version >= 2)
        m_markerPictureId = stream.ReadI32();
}

void CWaveDisplayControl::WriteData(CByteWriter& stream) const
{
    CSkinControl::WriteData(stream);
    stream.WriteI32(kClassVersion);
    stream.WriteI32(static_cast<int32_t>(m_waveColour));
    stream.WriteI32(m_markerPictureId);
}

void CWaveDisplayControl::ComputeGradient()
{
    for (uint32_t i = 0; i < 8; ++i) {
        uint32_t colour = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const uint32_t end = (m_trailEndColour >> shift) & 0xFF;
            const uint32_t start = (m_trailStartColour >> shift) & 0xFF;
            colour |= ((i * end + (7 - i) * start) / 7) << shift;
        }
        m_gradient[i] = colour;
    }
}

void CWaveDisplayControl::SetWaveColour(uint32_t colour)
{
    m_waveColour = colour;
    MarkChanged();
}

void CWaveDisplayControl::SetTrailStartColour(uint32_t colour)
{
    m_trailStartColour = colour;
    ComputeGradient();
    MarkChanged();
}

void CWaveDisplayControl::SetTrailEndColour(uint32_t colour)
{
    m_trailEndColour = colour;
    ComputeGradient();
    MarkChanged();
}

void CWaveDisplayControl::SetWaveData(const int8_t* bytes, size_t size)
{
    const size_t wanted = 2 * static_cast<size_t>(std::max(0, Width()));
    m_wave.assign(wanted, 0);
    std::copy_n(bytes, std::min(size, wanted), m_wave.begin());
    m_hasWave = true;
    MarkChanged();
}

void CWaveDisplayControl::SetMarker(int k, int32_t column, int32_t offset)
{
    if (k < 0 || k >= kMarkers)
        return;
    m_markers[static_cast<size_t>(k)] = {column < Width() ? column : -1, offset};
    MarkChanged();
}

void CWaveDisplayControl::SetCurrentMarker(int32_t column, int32_t offset)
{
    m_current = {column < Width() ? column : -1, offset};
    MarkChanged();
}

void CWaveDisplayControl::SetTrailStart(int32_t column)
{
    m_trailStart = column < Width() ? column : -1;
    MarkChanged();
}

void CWaveDisplayControl::ReleaseMarkers()
{
    if (m_markerPicture != nullptr) {
        ReleasePicture(m_markerPictureId);
        m_markerPicture = nullptr;
    }
}

void CWaveDisplayControl::SetMarkerPicture(int32_t pictureId)
{
    ReleaseMarkers();
    m_markerPictureId = pictureId;
    m_markerPicture = pictureId != 0 ? GetPicture(pictureId) : nullptr;
    m_markerFrameWidth = m_markerPicture != nullptr ? m_markerPicture->Width() / 9 : 0;
    MarkChanged();
}

void CWaveDisplayControl::AttachForm(CSkinForm* form)
{
    CSkinControl::AttachForm(form);
    SetMarkerPicture(m_markerPictureId);
}

void CWaveDisplayControl::DetachForm()
{
    ReleaseMarkers();
    m_form = nullptr;
}

void CWaveDisplayControl::DrawMarker(CSkinPicture& picture, const Marker& marker, int frame, int32_t centreY)
{
    const int64_t x = int64_t{marker.column} + marker.offset;
    if (marker.column < 0 || x < 0 || m_markerPicture == nullptr || x + m_markerFrameWidth >= Width())
        return;
    const SkinRect r = GetRect();
    const int32_t h = m_markerPicture->Height();
    picture.Blit(r.left + static_cast<int32_t>(x), centreY - h / 2, m_markerFrameWidth, h, *m_markerPicture,
                 frame * m_markerFrameWidth, 0, true);
}

void CWaveDisplayControl::Draw(CSkinPicture& picture)
{
    const SkinRect r = GetRect();
    const int32_t width = r.Width();
    if (m_trailStart >= 0) {
        for (int i = 0; i < 8 && m_trailStart + i < width; ++i)
            picture.FillRect(r.left + m_trailStart + i, r.top, 1, r.Height(),
                             m_gradient[static_cast<size_t>(i)]);
    }
    const int32_t centre = r.top + r.Height() / 2;
    const int64_t scale = int64_t{r.Height()} - 1;
    // Columns outside the picture cannot show; a control wider than the window stops there.
    const int32_t firstColumn = std::max(0, -(r.left + picture.ViewX()));
    const int32_t endColumn = std::min(width, picture.Width() - picture.ViewX() - r.left);
    for (int32_t j = firstColumn; j < endColumn; ++j) {
        if (!m_hasWave || static_cast<size_t>(2 * j + 1) >= m_wave.size()) {
            picture.SetPixel(r.left + j, centre, m_waveColour);
            continue;
        }
        const auto lower =
            static_cast<int32_t>(centre + ((scale * m_wave[static_cast<size_t>(2 * j + 1)]) >> 8));
        const auto upper = static_cast<int32_t>(centre + ((scale * m_wave[static_cast<size_t>(2 * j)]) >> 8));
        const int32_t from = std::max(std::min(lower, upper), r.top);
        const int32_t to = std::min(std::max(lower, upper), r.bottom - 1);
        picture.FillRect(r.left + j, from, 1, to - from + 1, m_waveColour);
    }
    for (int k = 0; k < kMarkers; ++k)
        DrawMarker(picture, m_markers[static_cast<size_t>(k)], k + 1, centre);
    DrawMarker(picture, m_current, 0, centre);
}

int CWaveDisplayControl::HandleEvent(const CSkinEvent& event)
{
    return m_mouse.HandleEvent(*this, event);
}
