#include "PictureManager.h"

#include "ByteReader.h"
#include "ResourceTable.h"
#include "SkinPicture.h"

#include <algorithm>

CPictureManager::CPictureManager(const CResourceTable& resources) : m_resources(resources)
{
}

CPictureManager::~CPictureManager() = default;

int CPictureManager::LoadMap(int32_t mapId)
{
    const CResourceTable::Blob blob = m_resources.Find(ResourceType::PictureMap, mapId);
    if (blob.data == nullptr)
        return 0;
    CByteReader stream(blob.data, blob.size);
    return m_map.Read(stream);
}

CSkinPicture* CPictureManager::GetPicture(int32_t id)
{
    for (Loaded& loaded : m_loaded) {
        if (loaded.id == id) {
            ++loaded.references;
            return loaded.picture.get();
        }
    }
    if (!m_map.Contains(id))
        return nullptr;
    const CResourceTable::Blob blob = m_resources.Find(ResourceType::Picture, id);
    if (blob.data == nullptr)
        return nullptr;
    auto picture = std::make_unique<CSkinPicture>();
    CByteReader stream(blob.data, blob.size);
    if (picture->LoadTga(stream) == 0)
        return nullptr;
    m_loaded.push_back({id, 1, std::move(picture)});
    return m_loaded.back().picture.get();
}

void CPictureManager::ReleasePicture(int32_t id)
{
    const auto it =
        std::find_if(m_loaded.begin(), m_loaded.end(), [id](const Loaded& l) { return l.id == id; });
    if (it == m_loaded.end())
        return;
    if (--it->references <= 0)
        m_loaded.erase(it);
}

int32_t CPictureManager::ReferenceCount(int32_t id) const
{
    for (const Loaded& loaded : m_loaded) {
        if (loaded.id == id)
            return loaded.references;
    }
    return 0;
}
