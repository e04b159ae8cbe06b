#include "FuzzFormatFiles.h"

#include <algorithm>
#include <cstring>

CFuzzFormatFiles::CFuzzFormatFiles(const char* tag, std::vector<std::string> extensions)
    : m_tag(tag), m_extensions(std::move(extensions))
{
}

const std::string& CFuzzFormatFiles::ExtensionFor(const uint8_t* data, size_t size) const
{
    const auto starts = [&](size_t at, const char* magic) {
        return size >= at + std::strlen(magic) && std::memcmp(data + at, magic, std::strlen(magic)) == 0;
    };
    const bool sync = size >= 2 && data[0] == 0xFF;
    // The kinds the first bytes suggest, the likelier first.
    const std::pair<bool, const char*> candidates[] = {
        {starts(0, "ID3"), "mp3"},
        {starts(0, "fLaC"), "flac"},
        {starts(0, "OggS") && size > 36 && std::memcmp(data + 28, "Opus", 4) == 0, "opus"},
        {starts(0, "OggS"), "ogg"},
        {starts(0, "FORM"), "aiff"},
        {starts(4, "ftyp"), "m4a"},
        {sync && (data[1] & 0xF6) == 0xF0, "aac"},
        {sync && (data[1] & 0xE0) == 0xE0, "mp3"},
        {size >= 4 && data[0] == 0x30 && data[1] == 0x26 && data[2] == 0xB2 && data[3] == 0x75, "wma"},
    };
    for (const auto& [fits, extension] : candidates) {
        if (!fits)
            continue;
        const auto found = std::find(m_extensions.begin(), m_extensions.end(), extension);
        if (found != m_extensions.end())
            return *found;
    }
    return size > 0 ? m_extensions[data[0] % m_extensions.size()] : m_extensions.front();
}

const CFuzzInputFile* CFuzzFormatFiles::Write(const uint8_t* data, size_t size)
{
    const std::string& extension = ExtensionFor(data, size);
    std::unique_ptr<CFuzzInputFile>& file = m_files[extension];
    if (!file)
        file = std::make_unique<CFuzzInputFile>(m_tag.c_str(), extension.c_str());
    return file->Write(data, size) ? file.get() : nullptr;
}
