#pragma once

#include "PictureMap.h"

#include <cstdint>
#include <memory>
#include <vector>

class CResourceTable;
class CSkinPicture;

// Loads skin pictures on first use from the PICTURE resource of the same id, provided the id is
// in the picture map, and shares them: every GetPicture counts a reference, every
// ReleasePicture drops one, and the last release frees the picture.
class CPictureManager {
public:
    static constexpr int32_t kPictureMapId = 1;

    // The table outlives the manager.
    explicit CPictureManager(const CResourceTable& resources);
    ~CPictureManager();

    // Reads the PM resource; 0 (map unchanged) when it is missing.
    int LoadMap(int32_t mapId = kPictureMapId);
    CPictureMap& Map() { return m_map; }

    // The shared picture, or null when the id is not mapped, its resource is missing or it does
    // not parse (nothing is counted then).
    CSkinPicture* GetPicture(int32_t id);
    void ReleasePicture(int32_t id);
    int32_t ReferenceCount(int32_t id) const;
    const CResourceTable& Resources() const { return m_resources; }

private:
    struct Loaded {
        int32_t id;
        int32_t references;
        std::unique_ptr<CSkinPicture> picture;
    };

    const CResourceTable& m_resources;
    CPictureMap m_map;
    std::vector<Loaded> m_loaded;
};
