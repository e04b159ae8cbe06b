#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The kinds of resource the skin reads; the folder names under resources/ are FRM, PICTURE, PM
// and STRINGS.
enum class ResourceType { Form, Picture, PictureMap, Strings };

// Byte blocks looked up by (type, id): the program's own, compiled in by the resource build step,
// and any added at run time (the tests build their forms and pictures this way).
class CResourceTable {
public:
    struct Blob {
        const uint8_t* data = nullptr;
        size_t size = 0;
    };
    struct StaticEntry {
        const char* typeName; // folder name: "FRM", "PICTURE", "PM", "STRINGS"
        int32_t id;
        const uint8_t* data;
        size_t size;
    };

    CResourceTable() = default;
    // Entries whose type name is not known are left out.
    CResourceTable(const StaticEntry* entries, size_t count);

    // Adds a copy of the bytes; a later entry of the same (type, id) hides an earlier one.
    void Add(ResourceType type, int32_t id, std::vector<uint8_t> bytes);
    // The resource, or a blob with data null when it does not exist.
    Blob Find(ResourceType type, int32_t id) const;
    size_t Count() const { return m_entries.size(); }

    // The resources compiled into the program.
    static const CResourceTable& Program();

private:
    struct Entry {
        ResourceType type;
        int32_t id;
        Blob blob;
        std::shared_ptr<const std::vector<uint8_t>> owned; // null for compiled-in bytes
    };
    std::vector<Entry> m_entries;
};
