#include "AnalysisCache.h"

#include "FileReplacer.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

constexpr std::string_view kFirstLine = "quandel-analysis 1";
constexpr size_t kMaxFileBytes = 256u << 20; // a cache of a million tracks is far smaller

// Splits a line at tabs; the path, last, may hold anything but a tab or a line break.
std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t tab = line.find('\t', start);
        fields.push_back(
            line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

template <typename T> bool ReadNumber(std::string_view text, T& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value))
            return false;
    }
    return error == std::errc() && end == text.data() + text.size();
}

} // namespace

std::optional<CAnalysisCache::Key> CAnalysisCache::KeyOf(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return Key{path, static_cast<int64_t>(status.st_size),
               static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

bool CAnalysisCache::Load(const std::string& cachePath)
{
    m_entries.clear();
    std::ifstream file(cachePath, std::ios::binary);
    if (!file)
        return false;
    std::string text;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        text.append(buffer, static_cast<size_t>(file.gcount()));
        if (text.size() > kMaxFileBytes)
            return false;
    }
    return Parse(text);
}

bool CAnalysisCache::Parse(std::string_view text)
{
    m_entries.clear();
    const size_t firstEnd = text.find('\n');
    if (firstEnd == std::string_view::npos || text.substr(0, firstEnd) != kFirstLine)
        return false;
    size_t start = firstEnd + 1;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size(); // a last line cut short: its fields decide
        const std::vector<std::string_view> fields = Fields(text.substr(start, end - start));
        start = end + 1;
        Entry entry{};
        TrackAnalysis& a = entry.analysis;
        int status = 0;
        if (fields.size() != 13 || fields[12].empty() || !ReadNumber(fields[0], entry.sizeBytes) ||
            !ReadNumber(fields[1], entry.modifiedNs) || !ReadNumber(fields[2], status) || status < 0 ||
            status > static_cast<int>(AnalysisStatus::Partial) || !ReadNumber(fields[3], a.sampleRate) ||
            !ReadNumber(fields[4], a.framesRead) || !ReadNumber(fields[5], a.tempo) ||
            !ReadNumber(fields[6], a.tempoQuality) || !ReadNumber(fields[7], a.firstBeatFrame) ||
            !ReadNumber(fields[8], a.loudnessLufs) || !ReadNumber(fields[9], a.truePeakDb) ||
            !ReadNumber(fields[10], a.firstAudibleFrame) || !ReadNumber(fields[11], a.lastAudibleFrame))
            continue;
        if (a.tempo < 0.0f || a.tempo > 1000.0f || a.tempoQuality < 0.0f || a.tempoQuality > 1.0f)
            continue;
        a.status = static_cast<AnalysisStatus>(status);
        m_entries[std::string(fields[12])] = std::move(entry);
    }
    return true;
}

bool CAnalysisCache::Save(const std::string& cachePath) const
{
    std::ostringstream out;
    out << kFirstLine << '\n';
    char line[512];
    for (const auto& [path, entry] : m_entries) {
        const TrackAnalysis& a = entry.analysis;
        std::snprintf(
            line, sizeof line, "%lld\t%lld\t%d\t%u\t%lld\t%.4f\t%.3f\t%lld\t%.3f\t%.3f\t%lld\t%lld\t",
            static_cast<long long>(entry.sizeBytes), static_cast<long long>(entry.modifiedNs),
            static_cast<int>(a.status), a.sampleRate, static_cast<long long>(a.framesRead), a.tempo,
            a.tempoQuality, static_cast<long long>(a.firstBeatFrame), a.loudnessLufs, a.truePeakDb,
            static_cast<long long>(a.firstAudibleFrame), static_cast<long long>(a.lastAudibleFrame));
        out << line << path << '\n';
    }
    return CFileReplacer::Replace(cachePath, out.str());
}

std::optional<TrackAnalysis> CAnalysisCache::Find(const Key& key) const
{
    const auto found = m_entries.find(key.path);
    if (found == m_entries.end() || found->second.sizeBytes != key.sizeBytes ||
        found->second.modifiedNs != key.modifiedNs)
        return std::nullopt;
    return found->second.analysis;
}

void CAnalysisCache::Store(const Key& key, const TrackAnalysis& analysis)
{
    if (analysis.status != AnalysisStatus::Done && analysis.status != AnalysisStatus::Partial)
        return;
    // A path with a tab or a line break would break its line; such a track is analysed each time.
    if (key.path.empty() || key.path.find_first_of("\t\n\r") != std::string::npos)
        return;
    Entry entry{key.sizeBytes, key.modifiedNs, analysis};
    entry.analysis.error.clear();
    m_entries[key.path] = std::move(entry);
}
