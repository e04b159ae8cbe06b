#include "SkinTestKit.h"

#include "SkinPicture.h"
#include "SkinTestPictures.h"

#include <string>

CSkinTestKit::CSkinTestKit() : m_pictures(std::make_unique<CPictureManager>(m_resources))
{
}

void CSkinTestKit::AddPicture(int32_t id, const CSkinPicture& picture, int depth)
{
    m_resources.Add(ResourceType::Picture, id, TgaBytes(picture, depth));
    m_map.Add(id, "C:\\skin\\picture" + std::to_string(id) + ".tga");
    m_resources.Add(ResourceType::PictureMap, CPictureManager::kPictureMapId, m_map.Write());
    m_pictures->LoadMap();
}

void CSkinTestKit::AddSolid(int32_t id, int32_t width, int32_t height, uint32_t colour)
{
    CSkinPicture picture;
    MakeSolid(picture, width, height, colour);
    AddPicture(id, picture);
}

void CSkinTestKit::AddStrip(int32_t id, int32_t frameWidth, int32_t height,
                            const std::vector<uint32_t>& colours)
{
    CSkinPicture picture;
    picture.Resize(frameWidth * static_cast<int32_t>(colours.size()), height);
    for (size_t k = 0; k < colours.size(); ++k)
        picture.FillRect(static_cast<int32_t>(k) * frameWidth, 0, frameWidth, height, colours[k]);
    AddPicture(id, picture);
}

std::vector<CEventLog::Entry> CEventLog::OfKind(int32_t kind) const
{
    std::vector<Entry> found;
    for (const Entry& e : m_entries) {
        if (e.kind == kind)
            found.push_back(e);
    }
    return found;
}
