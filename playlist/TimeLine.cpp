#include "TimeLine.h"

#include <algorithm>
#include <utility>

void CTimeLine::Clear()
{
    m_count.store(0, std::memory_order_relaxed);
    m_current.store(0, std::memory_order_relaxed);
    m_position.store(0, std::memory_order_relaxed);
    MarkChanged();
}

void CTimeLine::SetDisplayMode(int mode)
{
    m_displayMode.store(std::clamp(mode, 0, 2), std::memory_order_relaxed);
    const int count = Count();
    for (int i = 0; i < count; ++i)
        m_items[static_cast<size_t>(i)].displayLength = DisplayLength(m_items[static_cast<size_t>(i)].length);
    // Real-length blocks keep the starts the mix gave them; the Automix forms lie end to end.
    if (DisplayMode() != kRealLengths)
        RecomputeStarts();
    MarkChanged();
}

int32_t CTimeLine::DisplayLength(int32_t lengthMs) const
{
    switch (DisplayMode()) {
    case kRealLengths:
        return lengthMs > 0 ? lengthMs : kMinDisplayMs;
    case kAtLeastMin:
        return std::max(lengthMs, kMinDisplayMs);
    default:
        return kMinDisplayMs;
    }
}

bool CTimeLine::Append(int32_t track, int32_t lengthMs, bool relayout)
{
    const int count = Count();
    if (count >= kMaxItems)
        return false;
    TimeLineItem& item = m_items[static_cast<size_t>(count)];
    item.deck = count & 1;
    item.track = track;
    // A negative length is the lists' "not known"; the item keeps one meaning for it.
    item.length = std::max(lengthMs, 0);
    item.displayLength = DisplayLength(item.length);
    if (count > 0) {
        const TimeLineItem& previous = m_items[static_cast<size_t>(count - 1)];
        item.start = previous.start + previous.displayLength;
    } else {
        item.start = 0;
    }
    m_count.store(count + 1, std::memory_order_relaxed);
    if (relayout) {
        Realternate(0, m_items[0].deck);
        RecomputeStarts();
    }
    MarkChanged();
    return true;
}

bool CTimeLine::InsertAt(int index, int32_t deck, int32_t track, int32_t startMs, int32_t lengthMs)
{
    const int count = Count();
    if (count >= kMaxItems || index < 0 || index > count)
        return false;
    std::move_backward(m_items.begin() + index, m_items.begin() + count, m_items.begin() + count + 1);
    TimeLineItem& item = m_items[static_cast<size_t>(index)];
    item.deck = deck & 1;
    item.track = track;
    item.start = startMs;
    item.length = std::max(lengthMs, 0);
    item.displayLength = DisplayLength(item.length);
    m_count.store(count + 1, std::memory_order_relaxed);
    MarkChanged();
    return true;
}

bool CTimeLine::RemoveAt(int index, bool relayout)
{
    const int count = Count();
    if (index < 0 || index >= count)
        return false;
    const int32_t removedLength = m_items[static_cast<size_t>(index)].displayLength;
    std::move(m_items.begin() + index + 1, m_items.begin() + count, m_items.begin() + index);
    const int newCount = count - 1;
    m_count.store(newCount, std::memory_order_relaxed);
    if (relayout) {
        for (int i = index; i < newCount; ++i)
            m_items[static_cast<size_t>(i)].start -= removedLength;
        int current = CurrentIndex();
        if (current >= index && current > 0)
            --current;
        m_current.store(current, std::memory_order_relaxed);
        // The deck of the item now playing never changes; the others alternate around it. When
        // the removed item lay on one side of the current one, only that side changes; when the
        // current item itself went, both sides have to be put in line again.
        if (newCount > 0) {
            const int anchor = std::min(current, newCount - 1);
            Realternate(anchor, m_items[static_cast<size_t>(anchor)].deck);
        }
    }
    MarkChanged();
    return true;
}

int CTimeLine::RemoveTrack(int32_t track, bool relayout)
{
    int removed = 0;
    for (int i = Count() - 1; i >= 0; --i) {
        if (m_items[static_cast<size_t>(i)].track == track) {
            RemoveAt(i, relayout);
            ++removed;
        }
    }
    return removed;
}

bool CTimeLine::Move(int32_t track, int newIndex)
{
    int from = 0;
    const int count = Count();
    if (!FindTrack(track, from) || newIndex < 0 || newIndex >= count)
        return false;
    const int current = CurrentIndex();
    const bool hasCurrent = current >= 0 && current < count;
    const int32_t currentDeck = hasCurrent ? m_items[static_cast<size_t>(current)].deck : m_items[0].deck;

    const TimeLineItem moved = m_items[static_cast<size_t>(from)];
    if (from < newIndex)
        std::move(m_items.begin() + from + 1, m_items.begin() + newIndex + 1, m_items.begin() + from);
    else
        std::move_backward(m_items.begin() + newIndex, m_items.begin() + from, m_items.begin() + from + 1);
    m_items[static_cast<size_t>(newIndex)] = moved;

    // The item being played stays current and keeps its deck: the deck already holds it. A
    // parity flip by the side of the move alone would hand the playing track to the other deck
    // whenever the move does not cross the current item.
    int followed = current;
    if (hasCurrent) {
        if (current == from)
            followed = newIndex;
        else if (from < current && newIndex >= current)
            followed = current - 1;
        else if (from > current && newIndex <= current)
            followed = current + 1;
        m_current.store(followed, std::memory_order_relaxed);
        Realternate(followed, currentDeck);
    } else {
        Realternate(0, currentDeck);
    }
    RecomputeStarts();
    MarkChanged();
    return true;
}

void CTimeLine::Shuffle(const RandomSource& random)
{
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        const double r = random() / 32767.0;
        const int j = std::clamp(static_cast<int>(r * (count - 1)), 0, count - 1);
        std::swap(m_items[static_cast<size_t>(i)], m_items[static_cast<size_t>(j)]);
    }
    if (count > 0)
        Realternate(0, 0);
    RecomputeStarts();
    MarkChanged();
}

bool CTimeLine::SetTrackLength(int32_t track, int32_t lengthMs)
{
    bool found = false;
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        TimeLineItem& item = m_items[static_cast<size_t>(i)];
        if (item.track != track)
            continue;
        item.length = std::max(lengthMs, 0);
        item.displayLength = DisplayLength(item.length);
        found = true;
    }
    if (found) {
        if (DisplayMode() != kRealLengths)
            RecomputeStarts();
        MarkChanged();
    }
    return found;
}

const TimeLineItem* CTimeLine::Item(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return &m_items[static_cast<size_t>(index)];
}

bool CTimeLine::FindTrack(int32_t track, int& index) const
{
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        if (m_items[static_cast<size_t>(i)].track == track) {
            index = i;
            return true;
        }
    }
    return false;
}

TimeLineCursor CTimeLine::CurrentAndNext() const
{
    TimeLineCursor cursor;
    const int count = Count();
    const int current = CurrentIndex();
    if (current < 0 || current >= count)
        return cursor;
    const TimeLineItem& item = m_items[static_cast<size_t>(current)];
    cursor.index = current;
    cursor.deck = item.deck;
    cursor.track = item.track;
    if (current + 1 < count) {
        cursor.nextDeck = m_items[static_cast<size_t>(current + 1)].deck;
        cursor.nextTrack = m_items[static_cast<size_t>(current + 1)].track;
    } else {
        cursor.nextDeck = item.deck ^ 1;
        cursor.nextTrack = -1;
    }
    return cursor;
}

void CTimeLine::SetPosition(uint32_t positionMs)
{
    if (m_position.exchange(positionMs, std::memory_order_relaxed) != positionMs)
        MarkChanged();
}

void CTimeLine::SetCurrentIndex(int index)
{
    m_current.store(std::max(index, 0), std::memory_order_relaxed);
    MarkChanged();
}

int64_t CTimeLine::ElapsedRealTime() const
{
    const int count = Count();
    if (count == 0)
        return 0;
    if (DisplayMode() == kRealLengths)
        return Position();
    const int current = std::clamp(CurrentIndex(), 0, count);
    int64_t elapsed = 0;
    for (int i = 0; i < current; ++i)
        elapsed += m_items[static_cast<size_t>(i)].length;
    if (current < count) {
        const TimeLineItem& item = m_items[static_cast<size_t>(current)];
        const double fraction =
            (static_cast<double>(Position()) - item.start) / static_cast<double>(item.displayLength);
        if (fraction > 0.0)
            elapsed += static_cast<int64_t>(fraction * item.length);
    }
    return elapsed;
}

int64_t CTimeLine::TotalRealTime() const
{
    const int count = Count();
    int64_t total = 0;
    for (int i = 0; i < count; ++i) {
        const TimeLineItem& item = m_items[static_cast<size_t>(i)];
        if (DisplayMode() == kRealLengths)
            total = std::max(total, int64_t{item.start} + item.length);
        else
            total += item.length;
    }
    return total;
}

void CTimeLine::Realternate(int from, int32_t deck)
{
    const int count = Count();
    for (int i = 0; i < count; ++i)
        m_items[static_cast<size_t>(i)].deck = (deck ^ (i - from)) & 1;
}

void CTimeLine::RecomputeStarts()
{
    const int count = Count();
    int32_t start = 0;
    for (int i = 0; i < count; ++i) {
        m_items[static_cast<size_t>(i)].start = start;
        start += m_items[static_cast<size_t>(i)].displayLength;
    }
}
