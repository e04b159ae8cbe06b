#include "ShadeArea.h"

#include "ByteReader.h"
#include "ByteWriter.h"
#include "SkinPicture.h"

std::unique_ptr<CSkinControl> CShadeArea::Create()
{
    return std::make_unique<CShadeArea>();
}

void CShadeArea::ReadData(CByteReader& stream)
{
    if (stream.ReadI32() != kClassVersion)
        return;
    m_colour = static_cast<uint32_t>(stream.ReadI32());
}

void CShadeArea::WriteData(CByteWriter& stream) const
{
    CSkinControl::WriteData(stream);
    stream.WriteI32(kClassVersion);
    stream.WriteI32(static_cast<int32_t>(m_colour));
}

void CShadeArea::SetColour(uint32_t colour)
{
    if (colour != m_colour) {
        m_colour = colour;
        MarkChanged();
    }
}

void CShadeArea::SetActive(bool active)
{
    if (active != m_active) {
        m_active = active;
        MarkChanged();
    }
}

void CShadeArea::Draw(CSkinPicture& picture)
{
    if (!m_active)
        return;
    const SkinRect r = GetRect();
    picture.BlendRect(r.left, r.top, r.Width(), r.Height(), m_colour);
}
