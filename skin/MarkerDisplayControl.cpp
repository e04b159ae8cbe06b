#include "MarkerDisplayControl.h"

#include "ByteReader.h"
#include "ByteWriter.h"
#include "SkinPicture.h"

std::unique_ptr<CSkinControl> CMarkerDisplayControl::Create()
{
    return std::make_unique<CMarkerDisplayControl>();
}

CMarkerDisplayControl::~CMarkerDisplayControl()
{
    ReleaseMarkers();
}

void CMarkerDisplayControl::ReadData(CByteReader& stream)
{
    const int32_t version = stream.ReadI32();
    if (version != 1 && version != 2)
        return;
    if (version == 1) {
        for (int i = 0; i < 3; ++i)
            stream.ReadI32();
    }
    m_markerColour = static_cast<uint32_t>(stream.ReadI32());
    m_markerPictureId = stream.ReadI32();
}

void CMarkerDisplayControl::WriteData(CByteWriter& stream) const
{
    CSkinControl::WriteData(stream);
    stream.WriteI32(kClassVersion);
    stream.WriteI32(static_cast<int32_t>(m_markerColour));
    stream.WriteI32(m_markerPictureId);
}

void CMarkerDisplayControl::ReleaseMarkers()
{
    if (m_markerPicture != nullptr) {
        ReleasePicture(m_markerPictureId);
        m_markerPicture = nullptr;
    }
}

void CMarkerDisplayControl::AttachForm(CSkinForm* form)
{
    CSkinControl::AttachForm(form);
    m_markerPicture = m_markerPictureId != 0 ? GetPicture(m_markerPictureId) : nullptr;
    m_frameWidth = m_markerPicture != nullptr ? m_markerPicture->Width() / kMarkers : 0;
}

void CMarkerDisplayControl::DetachForm()
{
    ReleaseMarkers();
    m_form = nullptr;
}

void CMarkerDisplayControl::SetMarker(int k, int32_t column, int32_t offset)
{
    if (k < 0 || k >= kMarkers)
        return;
    m_markers[static_cast<size_t>(k)] = {column < Width() ? column : -1, offset};
    MarkChanged();
}

void CMarkerDisplayControl::Draw(CSkinPicture& picture)
{
    if (m_markerPicture == nullptr || m_frameWidth <= 0)
        return;
    const SkinRect r = GetRect();
    const int32_t h = m_markerPicture->Height();
    for (int k = 0; k < kMarkers; ++k) {
        const Marker& m = m_markers[static_cast<size_t>(k)];
        const int64_t x = int64_t{m.column} + m.offset;
        if (m.column < 0 || x < 0 || x + m_frameWidth >= r.Width())
            continue;
        picture.Blit(r.left + static_cast<int32_t>(x), r.top + r.Height() / 2 - h / 2, m_frameWidth, h,
                     *m_markerPicture, k * m_frameWidth, 0, true);
    }
}

int CMarkerDisplayControl::HandleEvent(const CSkinEvent& event)
{
    return m_mouse.HandleEvent(*this, event);
}
