#include "LevelMonitorControl.h"

#include "ByteReader.h"
#include "ByteWriter.h"
#include "SkinPicture.h"

#include <algorithm>

std::unique_ptr<CSkinControl> CLevelMonitorControl::Create()
{
    return std::make_unique<CLevelMonitorControl>();
}

CLevelMonitorControl::~CLevelMonitorControl()
{
    ReleaseStrip();
}

void CLevelMonitorControl::ReadData(CByteReader& stream)
{
    const int32_t version = stream.ReadI32();
    if (version != 1 && version != 2)
        return;
    m_ignoredId = stream.ReadI32();
    m_pictureId = stream.ReadI32();
    m_frameWidth = stream.ReadI32();
    m_frameHeight = stream.ReadI32();
    m_levelFrames = stream.ReadI32();
    m_peakFrames = stream.ReadI32();
    m_maximum = stream.ReadI32();
    m_vertical = version == 2 ? stream.ReadI32() : 0;
}

void CLevelMonitorControl::WriteData(CByteWriter& stream) const
{
    CSkinControl::WriteData(stream);
    stream.WriteI32(kClassVersion);
    for (const int32_t field : {m_ignoredId, m_pictureId, m_frameWidth, m_frameHeight, m_levelFrames,
                                m_peakFrames, m_maximum, m_vertical})
        stream.WriteI32(field);
}

void CLevelMonitorControl::ReleaseStrip()
{
    if (m_strip != nullptr) {
        ReleasePicture(m_pictureId);
        m_strip = nullptr;
    }
}

void CLevelMonitorControl::AttachForm(CSkinForm* form)
{
    CSkinControl::AttachForm(form);
    m_strip = GetPicture(m_pictureId);
    const int64_t frames = int64_t{m_levelFrames} + m_peakFrames;
    if (m_strip == nullptr || frames <= 0)
        return;
    if (m_vertical != 0) {
        m_frameWidth = m_strip->Width();
        m_frameHeight = static_cast<int32_t>(m_strip->Height() / frames);
    } else {
        m_frameWidth = static_cast<int32_t>(m_strip->Width() / frames);
        m_frameHeight = m_strip->Height();
    }
    SetRect(SkinRect::AtOrigin(GetRect(), m_frameWidth, m_frameHeight));
}

void CLevelMonitorControl::DetachForm()
{
    ReleaseStrip();
    m_form = nullptr;
}

void CLevelMonitorControl::SetLevel(int32_t level)
{
    if (level != m_level) {
        m_level = level;
        MarkChanged();
    }
}

void CLevelMonitorControl::SetPeak(int32_t peak)
{
    if (peak != m_peak) {
        m_peak = peak;
        MarkChanged();
    }
}

void CLevelMonitorControl::Draw(CSkinPicture& picture)
{
    if (m_strip == nullptr || m_levelFrames <= 0 || m_maximum <= 0)
        return;
    const SkinRect r = GetRect();
    const auto drawFrame = [&](int64_t frame) {
        // Frames outside the strip (hostile counts) are clipped away by the copy.
        const auto sx =
            static_cast<int32_t>(std::clamp<int64_t>(m_vertical != 0 ? 0 : frame * m_frameWidth, 0, 1 << 30));
        const auto sy = static_cast<int32_t>(
            std::clamp<int64_t>(m_vertical != 0 ? frame * m_frameHeight : 0, 0, 1 << 30));
        picture.Blit(r.left, r.top, m_frameWidth, m_frameHeight, *m_strip, sx, sy, true);
    };
    const int64_t level = std::max<int64_t>(0, int64_t{m_levelFrames} * m_level / m_maximum);
    drawFrame(std::min<int64_t>(level, int64_t{m_levelFrames} - 1));
    if (m_peakFrames > 0) {
        const int64_t peak = std::max<int64_t>(0, int64_t{m_peakFrames} * m_peak / m_maximum);
        drawFrame(m_levelFrames + std::min<int64_t>(peak, int64_t{m_peakFrames} - 1));
    }
}
