#include "PictureMap.h"

#include "ByteReader.h"
#include "ByteWriter.h"

#include <algorithm>

int CPictureMap::Read(CByteReader& stream)
{
    if (stream.Remaining() == 0)
        return 0;
    stream.ReadI32(); // version, always 1
    const int32_t count = stream.ReadI32();
    m_entries.clear();
    for (int32_t i = 0; i < count && stream.Remaining() > 0; ++i) {
        const int32_t id = stream.ReadI32();
        std::string path = stream.ReadShortString();
        Add(id, std::move(path));
    }
    return 1;
}

std::vector<uint8_t> CPictureMap::Write() const
{
    CByteWriter out;
    out.WriteI32(1);
    out.WriteI32(static_cast<int32_t>(m_entries.size()));
    for (const Entry& entry : m_entries) {
        out.WriteI32(entry.id);
        out.WriteShortString(entry.sourcePath);
    }
    return out.Take();
}

void CPictureMap::Add(int32_t id, std::string sourcePath)
{
    // The table grows by an eighth, at least 4 and at most 1024 entries a step.
    if (m_entries.size() == m_entries.capacity())
        m_entries.reserve(m_entries.size() + std::clamp<size_t>(m_entries.size() / 8, 4, 1024));
    m_entries.push_back({id, std::move(sourcePath)});
}

bool CPictureMap::Contains(int32_t id) const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [id](const Entry& e) { return e.id == id; });
}
