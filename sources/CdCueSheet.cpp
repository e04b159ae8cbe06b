#include "CdCueSheet.h"

#include <cstdio>
#include <memory>
#include <new>
#include <strings.h>

namespace {

// Splits a line into words; a double-quoted word may hold spaces and ends at the next quote.
std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i == line.size())
            break;
        std::string word;
        if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            const size_t end = close == std::string::npos ? line.size() : close;
            word.assign(line, i + 1, end - i - 1);
            i = close == std::string::npos ? end : end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                word.push_back(line[i++]);
        }
        words.push_back(std::move(word));
    }
    return words;
}

bool Is(const std::string& word, const char* keyword)
{
    return strcasecmp(word.c_str(), keyword) == 0;
}

// A decimal number of 1..maxDigits digits and nothing else.
bool Number(const std::string& text, size_t maxDigits, int& value)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// "mm:ss:ff" with seconds below 60 and frames below 75; minutes up to three digits.
bool Position(const std::string& text, uint32_t& sector)
{
    const size_t first = text.find(':');
    const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos)
        return false;
    int minutes = 0;
    int seconds = 0;
    int frames = 0;
    if (!Number(text.substr(0, first), 3, minutes) ||
        !Number(text.substr(first + 1, second - first - 1), 2, seconds) ||
        !Number(text.substr(second + 1), 2, frames) || seconds >= 60 || frames >= 75)
        return false;
    sector = static_cast<uint32_t>(minutes) * 4500u + static_cast<uint32_t>(seconds) * 75u +
             static_cast<uint32_t>(frames);
    return true;
}

} // namespace

void CCdCueSheet::Clear()
{
    m_fileName.clear();
    m_tracks.clear();
    m_indexSeen = true;
}

int CCdCueSheet::Parse(const char* text, size_t bytes)
{
    Clear();
    if (text == nullptr || bytes > kMaxSheetBytes)
        return 0;
    try {
        size_t start = 0;
        // A UTF-8 byte-order mark is common in sheets written on Windows.
        if (bytes >= 3 && static_cast<uint8_t>(text[0]) == 0xEF && static_cast<uint8_t>(text[1]) == 0xBB &&
            static_cast<uint8_t>(text[2]) == 0xBF)
            start = 3;
        while (start < bytes) {
            size_t end = start;
            while (end < bytes && text[end] != '\n' && text[end] != '\r')
                ++end;
            if (end - start > kMaxLineBytes || !ParseLine(std::string(text + start, end - start))) {
                Clear();
                return 0;
            }
            start = end + 1;
        }
    } catch (const std::bad_alloc&) {
        Clear();
        return 0;
    }
    if (m_fileName.empty() || m_tracks.empty() || !m_indexSeen) {
        Clear();
        return 0;
    }
    return 1;
}

bool CCdCueSheet::ParseLine(const std::string& line)
{
    const std::vector<std::string> words = Words(line);
    if (words.empty())
        return true;
    if (Is(words[0], "FILE")) {
        // One image per disc: several FILE lines would need each file's size to place the tracks.
        if (!m_fileName.empty() || words.size() != 3 || words[1].empty() || !Is(words[2], "BINARY"))
            return false;
        m_fileName = words[1];
        return true;
    }
    if (Is(words[0], "TRACK")) {
        int number = 0;
        if (m_fileName.empty() || !m_indexSeen || words.size() != 3 || !Number(words[1], 2, number))
            return false;
        if (number != static_cast<int>(m_tracks.size()) + 1 || number > kMaxTracks)
            return false;
        Track track;
        track.number = number;
        if (Is(words[2], "AUDIO"))
            track.audio = true;
        else if (!Is(words[2], "MODE1/2352") && !Is(words[2], "MODE2/2352"))
            return false; // cooked sectors cannot be addressed in a raw image
        m_tracks.push_back(track);
        m_indexSeen = false;
        return true;
    }
    if (Is(words[0], "INDEX")) {
        int index = 0;
        uint32_t sector = 0;
        if (m_tracks.empty() || words.size() != 3 || !Number(words[1], 2, index) ||
            !Position(words[2], sector))
            return false;
        if (index != 1)
            return true; // the pre-gap (INDEX 00) and sub-indexes do not move a track's start
        if (m_indexSeen)
            return false; // a second INDEX 01
        if (m_tracks.size() >= 2 && sector <= m_tracks[m_tracks.size() - 2].firstSector)
            return false;
        m_tracks.back().firstSector = sector;
        m_indexSeen = true;
        return true;
    }
    return true;
}

int CCdCueSheet::Load(const char* path)
{
    Clear();
    if (path == nullptr)
        return 0;
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file)
        return 0;
    std::string text;
    try {
        char chunk[4096];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
            if (text.size() + got > kMaxSheetBytes)
                return 0;
            text.append(chunk, got);
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return Parse(text.data(), text.size());
}
