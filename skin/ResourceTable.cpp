#include "ResourceTable.h"

#include <cstring>

namespace {

bool TypeFromName(const char* name, ResourceType& type)
{
    static const struct {
        const char* name;
        ResourceType type;
    } kNames[] = {{"FRM", ResourceType::Form},
                  {"PICTURE", ResourceType::Picture},
                  {"PM", ResourceType::PictureMap},
                  {"STRINGS", ResourceType::Strings}};
    for (const auto& entry : kNames) {
        if (std::strcmp(entry.name, name) == 0) {
            type = entry.type;
            return true;
        }
    }
    return false;
}

} // namespace

CResourceTable::CResourceTable(const StaticEntry* entries, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        ResourceType type;
        if (TypeFromName(entries[i].typeName, type))
            m_entries.push_back({type, entries[i].id, {entries[i].data, entries[i].size}, nullptr});
    }
}

void CResourceTable::Add(ResourceType type, int32_t id, std::vector<uint8_t> bytes)
{
    auto owned = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    // An empty resource still exists: data must not be null for it.
    static const uint8_t kEmpty = 0;
    const uint8_t* data = owned->empty() ? &kEmpty : owned->data();
    m_entries.push_back({type, id, {data, owned->size()}, std::move(owned)});
}

CResourceTable::Blob CResourceTable::Find(ResourceType type, int32_t id) const
{
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->type == type && it->id == id)
            return it->blob;
    }
    return {};
}
