#pragma once

#include "ControlListener.h"
#include "PictureManager.h"
#include "PictureMap.h"
#include "ResourceTable.h"
#include "SkinEvent.h"

#include <cstdint>
#include <memory>
#include <vector>

class CSkinPicture;

// A resource table with its picture map, filled by the tests with pictures made in memory, and
// the picture manager that reads it.
class CSkinTestKit {
public:
    CSkinTestKit();
    // Stores the picture as a PICTURE resource at the depth and lists it in the picture map.
    void AddPicture(int32_t id, const CSkinPicture& picture, int depth = 32);
    // A w x h picture of one colour.
    void AddSolid(int32_t id, int32_t width, int32_t height, uint32_t colour);
    // Frames side by side, frame k filled with colours[k].
    void AddStrip(int32_t id, int32_t frameWidth, int32_t height, const std::vector<uint32_t>& colours);
    void AddForm(int32_t id, std::vector<uint8_t> bytes)
    {
        m_resources.Add(ResourceType::Form, id, std::move(bytes));
    }

    CResourceTable& Resources() { return m_resources; }
    CPictureManager& Pictures() { return *m_pictures; }

private:
    CResourceTable m_resources;
    CPictureMap m_map;
    std::unique_ptr<CPictureManager> m_pictures;
};

// Every event a control reports, in order.
class CEventLog : public CControlListener {
public:
    struct Entry {
        int32_t kind;
        int32_t value;
        int32_t controlId;
        float floatValue;
    };
    void OnControlEvent(const CSkinEvent& event, int32_t controlId) override
    {
        m_entries.push_back({event.kind, event.value, controlId, event.floatValue});
    }
    std::vector<Entry>& Entries() { return m_entries; }
    // Entries of one kind.
    std::vector<Entry> OfKind(int32_t kind) const;
    void Clear() { m_entries.clear(); }

private:
    std::vector<Entry> m_entries;
};
