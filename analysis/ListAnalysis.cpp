#include "ListAnalysis.h"

#include "EntryAnalysis.h"
#include "Playlist.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>

namespace {

bool IsCdTrack(const std::string& location)
{
    return location.size() >= 4 && strcasecmp(location.c_str() + location.size() - 4, ".cda") == 0;
}

} // namespace

CListAnalysis::CListAnalysis(std::string cachePath, CAnalysisWorker::Priority priority)
    : m_cachePath(std::move(cachePath)), m_priority(priority)
{
}

CListAnalysis::~CListAnalysis() = default;

bool CListAnalysis::NeedsAnalysis(const CPlaylist& list, int index)
{
    const TrackEntry& entry = list.Entry(index);
    return entry.audibleEndMs < 0.0 && entry.loudnessLufs == 0.0f;
}

int CListAnalysis::Queue(const CPlaylist& list, int first, int count, bool again)
{
    std::vector<CAnalysisWorker::Job> jobs;
    const int end = std::min(list.Count(), first + count);
    for (int i = std::max(0, first); i < end; ++i) {
        const TrackEntry& entry = list.Entry(i);
        if (IsCdTrack(entry.location) || (!again && !NeedsAnalysis(list, i)))
            continue;
        jobs.push_back({entry.id, entry.location, again});
        if (again)
            m_again.insert(entry.id);
    }
    const int queued = static_cast<int>(jobs.size());
    if (queued == 0)
        return 0;
    if (m_worker == nullptr)
        m_worker = std::make_unique<CAnalysisWorker>(m_cachePath, m_priority);
    m_worker->Add(std::move(jobs));
    return queued;
}

int CListAnalysis::QueueSelected(const CPlaylist& list)
{
    int queued = 0;
    for (int i = list.FirstSelected(); i >= 0; i = list.NextSelected(i))
        queued += Queue(list, i, 1, true);
    return queued;
}

int CListAnalysis::Apply(std::span<CPlaylist* const> lists)
{
    if (m_worker == nullptr)
        return 0;
    int applied = 0;
    for (const CAnalysisWorker::Result& result : m_worker->TakeResults()) {
        const bool again = m_again.erase(result.entryId) > 0;
        for (CPlaylist* list : lists) {
            TrackEntry* entry = list->EntryById(result.entryId);
            // An entry given another file since it was queued takes nothing from the old one.
            if (entry == nullptr || entry->location != result.path)
                continue;
            CEntryAnalysis::Apply(result.analysis, *entry,
                                  again ? TempoChoice::Replace : TempoChoice::KeepListed);
            entry->changed = true; // its row shows the tempo found
            list->SetChanged(true);
            ++applied;
            break;
        }
    }
    return applied;
}

std::string CListAnalysis::ProgressText() const
{
    if (m_worker == nullptr)
        return {};
    const CAnalysisWorker::Progress progress = m_worker->GetProgress();
    if (progress.total <= 0)
        return {};
    char text[48];
    std::snprintf(text, sizeof text, "analysing %d/%d", std::min(progress.done + 1, progress.total),
                  progress.total);
    return text;
}
